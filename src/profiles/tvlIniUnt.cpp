#include "profiles/tvlIniUnt.h"

#include "platform/DataFolders.h"
#include "platform/IniFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <stdexcept>

TIniOptions IniOptions;

namespace {

std::string FormatSection(int index) { return "Format" + std::to_string(index); }

void CheckIndex(const TIniOptions &options, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= options.Formats.size())
    throw std::out_of_range("profile index " + std::to_string(index) + " out of range");
}

// One past the highest "Format<n>" section present: more profiles than that exist only as a Count.
int32_t FormatSectionsPresent(const platform::IniFile &ini) {
  int32_t present = 0;
  for (const std::string &name : ini.SectionNames()) {
    if (name.size() <= 6 || !std::equal(name.begin(), name.begin() + 6, "format", [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == b;
        }))
      continue;
    int32_t index = 0;
    const std::string digits = name.substr(6);
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (ec == std::errc() && end == digits.data() + digits.size() && index >= 0 && index < TIniOptions::MaxFormatCount)
      present = std::max(present, index + 1);
  }
  return present;
}

} // namespace

void TIniOptions::LoadFromFile(const std::string &path) {
  LoadProblem.clear();
  const platform::IniFile ini(path);
  if (!ini.Exists())
    return;
  if (std::string reason; !ini.Readable(&reason)) {
    LoadProblem = "The settings file \"" + path + "\" cannot be read (" + reason +
                  "). The program runs on its defaults and leaves the file as it is.";
    return;
  }
  // What a power cut can leave: read as no file at all, not as one made-up profile.
  if (ini.SectionNames().empty()) {
    LoadProblem = "The settings file \"" + path + "\" is empty. The program runs without profiles.";
    return;
  }
  FormatCount = ini.ReadInteger("Format", "Count", 1);
  // A negative count is no valid count: it loads no profiles.
  if (FormatCount < 0)
    FormatCount = 0;
  // A Count beyond the profiles present would make up profiles, or exhaust memory at start.
  if (const int32_t present = FormatSectionsPresent(ini);
      FormatCount > present && !ini.ReadString("Format", "Count", "").empty()) {
    LoadProblem = "The settings file \"" + path + "\" gives Count=" + std::to_string(FormatCount) +
                  " in [Format], but holds " + std::to_string(present) + " profile(s); those are loaded.";
    FormatCount = present;
  }
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
    f.PixelFormat = ini.ReadString(s, "PixelFormat", "");
    f.Quality = ini.ReadString(s, "Quality", "");
    f.QualityValue = ini.ReadInteger(s, "QualityValue", -1);
    f.Loudness = ini.ReadString(s, "Loudness", "");
  }
  OutputFormat = ini.ReadInteger("Output", "Format", 0);
  OutputFolder = ini.ReadString("Output", "Folder", "");
  Threads = ini.ReadString("Output", "Threads", "");
  Simultaneous = ini.ReadString("Output", "SimultaneousConversions", "");
  CopyStreams = ini.ReadInteger("Output", "CopyStreams", 1) != 0;
  SnapShotFormat = ini.ReadInteger("SnapShot", "Format", 0);
  SnapShotFolder = ini.ReadString("SnapShot", "Folder", platform::DataFolders().SnapshotFolder);
  SnapShotName = ini.ReadInteger("SnapShot", "Name", 0);
  InputFolder = ini.ReadString("Input", "Folder", "");
  Window.Read(ini);
}

bool TIniOptions::SaveToFile(const std::string &path, std::string *error) const {
  platform::IniFile ini(path);
  std::string refused;
  // A refused value is left out, the others are saved, and the refusal is what is reported.
  const auto keep = [&](bool stored) {
    if (!stored && refused.empty())
      refused = ini.LastError();
  };
  keep(ini.WriteInteger("Output", "Format", OutputFormat));
  if (!OutputFolder.empty())
    keep(ini.WriteString("Output", "Folder", OutputFolder));
  // Defaults (automatic, copying) add no key to a file that lacks it, and overwrite one it has.
  if (!Simultaneous.empty() || !ini.ReadString("Output", "SimultaneousConversions", "").empty())
    keep(ini.WriteString("Output", "SimultaneousConversions", Simultaneous));
  if (!CopyStreams || !ini.ReadString("Output", "CopyStreams", "").empty())
    keep(ini.WriteInteger("Output", "CopyStreams", CopyStreams ? 1 : 0));
  keep(ini.WriteInteger("SnapShot", "Format", SnapShotFormat));
  if (!SnapShotFolder.empty())
    keep(ini.WriteString("SnapShot", "Folder", SnapShotFolder));
  keep(ini.WriteInteger("SnapShot", "Name", SnapShotName));
  if (!InputFolder.empty())
    keep(ini.WriteString("Input", "Folder", InputFolder));
  keep(Window.Write(ini));
  const bool saved = ini.Save();
  if (error)
    *error = saved ? refused : ini.LastError();
  return saved && refused.empty();
}

bool TIniOptions::SaveFormatValues(const std::string &path, int index) const {
  CheckIndex(*this, index);
  const TFormatRec &f = Formats[static_cast<std::size_t>(index)];
  const std::string s = FormatSection(index);
  platform::IniFile ini(path);
  ini.WriteInteger(s, "ResolutionValue", f.ResolutionValue);
  ini.WriteInteger(s, "FramerateValue", f.FramerateValue);
  ini.WriteInteger(s, "VideoEncoderValue", f.VideoEncoderValue);
  ini.WriteInteger(s, "VideoBitRateValue", f.VideoBitRateValue);
  ini.WriteInteger(s, "SampleRateValue", f.SampleRateValue);
  ini.WriteInteger(s, "AudioBitrateValue", f.AudioBitrateValue);
  ini.WriteInteger(s, "AudioEncoderValue", f.AudioEncoderValue);
  ini.WriteInteger(s, "ChannelValue", f.ChannelValue);
  ini.WriteInteger(s, "Volume", f.Volume);
  // Files without a quality list stay as older versions wrote them.
  if (!f.Quality.empty())
    ini.WriteInteger(s, "QualityValue", f.QualityValue);
  // Likewise without a loudness target, unless the file held one that is now switched off.
  if (!f.Loudness.empty() || !ini.ReadString(s, "Loudness", "").empty())
    ini.WriteString(s, "Loudness", f.Loudness);
  return ini.Save();
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
