#include "profiles/tvlIniUnt.h"

#include "platform/DataFolders.h"
#include "platform/IniFile.h"

#include <stdexcept>

TIniOptions IniOptions;

namespace {

std::string FormatSection(int index) { return "Format" + std::to_string(index); }

void CheckIndex(const TIniOptions &options, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= options.Formats.size())
    throw std::out_of_range("profile index " + std::to_string(index) + " out of range");
}

} // namespace

void TIniOptions::LoadFromFile(const std::string &path) {
  const platform::IniFile ini(path);
  if (!ini.Exists())
    return;
  FormatCount = ini.ReadInteger("Format", "Count", 1);
  // A negative count is no valid count: it loads no profiles.
  if (FormatCount < 0)
    FormatCount = 0;
  Formats.assign(static_cast<std::size_t>(FormatCount), TFormatRec{});
  for (int i = 0; i < FormatCount; ++i) {
    const std::string s = FormatSection(i);
    TFormatRec &f = Formats[static_cast<std::size_t>(i)];
    f.Name = ini.ReadString(s, "Name", "MP4 - iPod Nano MPEG-4(*.mp3)");
    f.Ext = ini.ReadString(s, "Ext", ".3gp");
    f.Category = ini.ReadInteger(s, "Category", 1);
    f.Resolution = ini.ReadString(s, "Resolution", "240*160,320*240,480*272,480*320,640*480");
    f.ResolutionValue = ini.ReadInteger(s, "ResolutionValue", 2);
    f.Framerate = ini.ReadString(s, "Framerate", "64 kbps");
    f.FramerateValue = ini.ReadInteger(s, "FramerateValue", 2);
    f.FrameAspectRatio = ini.ReadString(s, "FrameAspectRatio", "4:3");
    f.VideoEncoder = ini.ReadString(s, "VideoEncoder", "Xvid");
    f.VideoEncoderValue = ini.ReadInteger(s, "VideoEncoderValue", 0);
    f.VideoBitRate = ini.ReadString(s, "VideoBitRate", "256kbps");
    f.VideoBitRateValue = ini.ReadInteger(s, "VideoBitRateValue", 0);
    f.SampleRate = ini.ReadString(s, "SampleRate", "22050 Hz,32000 Hz,44100 Hz,48000 Hz");
    f.SampleRateValue = ini.ReadInteger(s, "SampleRateValue", 2);
    f.AudioBitrate = ini.ReadString(s, "AudioBitrate", "64 kbps,96 kbps,128 kbps,160 kbps,192 kbps,256 kbps");
    f.AudioBitrateValue = ini.ReadInteger(s, "AudioBitrateValue", 2);
    f.AudioEncoder = ini.ReadString(s, "AudioEncoder", "MP3");
    f.AudioEncoderValue = ini.ReadInteger(s, "AudioEncoderValue", 0);
    f.Channel = ini.ReadString(s, "Channel", "1 Channel Mono, 2 Channels Stereo");
    f.ChannelValue = ini.ReadInteger(s, "ChannelValue", 1);
    f.Volume = ini.ReadInteger(s, "Volume", 100);
    f.Target = ini.ReadString(s, "Target", "");
  }
  OutputFormat = ini.ReadInteger("Output", "Format", 0);
  OutputFolder = ini.ReadString("Output", "Folder", "");
  SnapShotFormat = ini.ReadInteger("SnapShot", "Format", 0);
  SnapShotFolder = ini.ReadString("SnapShot", "Folder", platform::DataFolders().SnapshotFolder);
  SnapShotName = ini.ReadInteger("SnapShot", "Name", 0);
}

bool TIniOptions::SaveToFile(const std::string &path) const {
  platform::IniFile ini(path);
  bool ok = ini.WriteInteger("Output", "Format", OutputFormat);
  if (!OutputFolder.empty())
    ok = ini.WriteString("Output", "Folder", OutputFolder) && ok;
  ok = ini.WriteInteger("SnapShot", "Format", SnapShotFormat) && ok;
  if (!SnapShotFolder.empty())
    ok = ini.WriteString("SnapShot", "Folder", SnapShotFolder) && ok;
  ok = ini.WriteInteger("SnapShot", "Name", SnapShotName) && ok;
  return ok;
}

bool TIniOptions::SaveFormatValues(const std::string &path, int index) const {
  CheckIndex(*this, index);
  const TFormatRec &f = Formats[static_cast<std::size_t>(index)];
  const std::string s = FormatSection(index);
  platform::IniFile ini(path);
  bool ok = ini.WriteInteger(s, "ResolutionValue", f.ResolutionValue);
  ok = ini.WriteInteger(s, "FramerateValue", f.FramerateValue) && ok;
  ok = ini.WriteInteger(s, "VideoEncoderValue", f.VideoEncoderValue) && ok;
  ok = ini.WriteInteger(s, "VideoBitRateValue", f.VideoBitRateValue) && ok;
  ok = ini.WriteInteger(s, "SampleRateValue", f.SampleRateValue) && ok;
  ok = ini.WriteInteger(s, "AudioBitrateValue", f.AudioBitrateValue) && ok;
  ok = ini.WriteInteger(s, "AudioEncoderValue", f.AudioEncoderValue) && ok;
  ok = ini.WriteInteger(s, "ChannelValue", f.ChannelValue) && ok;
  ok = ini.WriteInteger(s, "Volume", f.Volume) && ok;
  return ok;
}

TFormatRec TIniOptions::GetFormat(int index) const {
  CheckIndex(*this, index);
  return Formats[static_cast<std::size_t>(index)];
}

void TIniOptions::SetFormat(int index, const TFormatRec &format) {
  CheckIndex(*this, index);
  Formats[static_cast<std::size_t>(index)] = format;
}

bool TIniOptions::SplitList(const std::string &text, std::vector<std::string> &list) {
  list.clear();
  if (text.empty())
    return false;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto comma = text.find(',', start);
    if (comma == std::string::npos) {
      list.push_back(text.substr(start));
      break;
    }
    list.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return true;
}
