// The option table: every name a task understands and the setting it changes.
#include <string_view>

#include "engine/options/TaskOptions.h"
#include "engine/FFmpegException.h"
#include "engine/options/OptionValues.h"
#include "media/AVUtilStubs.h"

namespace {

template <typename T> struct TField {
  std::string_view Name;
  T TTaskSettings::*Field;
};

// Options accepted for compatibility that do nothing in a task.
constexpr std::string_view DoNothingOptions[] = {"L", "h", "version", "formats", "i", "y", "benchmark",
                                                 "apre", "vpre", "spre"};

constexpr TField<bool> BoolOptions[] = {
    {"dump", &TTaskSettings::DoPktDump},  {"hex", &TTaskSettings::DoHexDump},
    {"re", &TTaskSettings::RateEmu},      {"loop_input", &TTaskSettings::LoopInput},
    {"shortest", &TTaskSettings::Shortest}, {"isync", &TTaskSettings::InputSync},
    {"intra", &TTaskSettings::IntraOnly}, {"vn", &TTaskSettings::VideoDisable},
    {"sameq", &TTaskSettings::SameQuality}, {"deinterlace", &TTaskSettings::DoDeinterlace},
    {"psnr", &TTaskSettings::DoPsnr},     {"qphist", &TTaskSettings::QpHist},
    {"force_fps", &TTaskSettings::ForceFps}, {"an", &TTaskSettings::AudioDisable},
    {"sn", &TTaskSettings::SubtitleDisable}};

// Options whose mere presence switches the setting on, whatever the value.
constexpr TField<bool> FlagOptions[] = {{"copyts", &TTaskSettings::CopyTs},
                                        {"xerror", &TTaskSettings::ExitOnError}};

constexpr TField<int> IntOptions[] = {
    {"dframes", &TTaskSettings::MaxDataFrames},   {"loop_output", &TTaskSettings::LoopOutput},
    {"vsync", &TTaskSettings::VideoSyncMethod},   {"async", &TTaskSettings::AudioSyncMethod},
    {"vglobal", &TTaskSettings::VideoGlobalHeader}, {"programid", &TTaskSettings::ProgramId},
    {"copyinkf", &TTaskSettings::CopyInitialNonKeyframes}, {"vframes", &TTaskSettings::MaxVideoFrames},
    {"vdt", &TTaskSettings::VideoDiscard},        {"top", &TTaskSettings::TopFieldFirst},
    {"dc", &TTaskSettings::IntraDcPrecision},     {"me_threshold", &TTaskSettings::MeThreshold},
    {"aframes", &TTaskSettings::MaxAudioFrames},  {"vol", &TTaskSettings::AudioVolume},
    {"vc", &TTaskSettings::VideoChannel}};

constexpr TField<float> FloatOptions[] = {{"adrift_threshold", &TTaskSettings::AudioDriftThreshold},
                                          {"dts_delta_threshold", &TTaskSettings::DtsDeltaThreshold},
                                          {"muxdelay", &TTaskSettings::MuxMaxDelay},
                                          {"muxpreload", &TTaskSettings::MuxPreload},
                                          {"aq", &TTaskSettings::AudioQScale}};

constexpr TField<std::string> TextOptions[] = {{"passlogfile", &TTaskSettings::PassLogFileName},
                                               {"vstats_file", &TTaskSettings::VStatsFileName},
                                               {"rc_override", &TTaskSettings::VideoRcOverride},
                                               {"alang", &TTaskSettings::AudioLanguage},
                                               {"slang", &TTaskSettings::SubtitleLanguage},
                                               {"tvstd", &TTaskSettings::VideoStandard},
                                               {"afilters", &TTaskSettings::AudioFilters}};

template <typename T, size_t N>
T TTaskSettings::*SettingOfOption(const TField<T> (&table)[N], std::string_view name) {
  for (const auto &entry : table)
    if (entry.Name == name)
      return entry.Field;
  return nullptr;
}

void SetCodecChoice(TCodecChoice &choice, const std::string &value) {
  choice.Name.clear();
  if (value == "copy")
    choice.Copy = true;
  else
    choice.Name = value;
}

} // namespace

void TTaskOptions::AddOptions(const std::string &text, bool streamPass) {
  const std::string all = Trim(text);
  std::string lines;
  lines.reserve(all.size());
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i] == '\r') {
      lines += '\n';
      if (i + 1 < all.size() && all[i + 1] == '\n')
        ++i;
    } else {
      lines += all[i];
    }
  }
  size_t pos = 0;
  while (pos < lines.size()) {
    size_t end = lines.find('\n', pos);
    if (end == std::string::npos)
      end = lines.size();
    const std::string line = lines.substr(pos, end - pos);
    pos = end + 1;
    const size_t eq = line.find('=');
    const std::string name = line.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    const bool streamOption = name == "newvideo" || name == "newaudio" || name == "newsubtitle";
    if (streamOption == streamPass)
      SetOption(name, value);
  }
}

void TTaskOptions::SetOption(const std::string &name, const std::string &value) {
  for (std::string_view n : DoNothingOptions)
    if (n == name) {
      FHost.LogOption(1, "Do nothing: option - " + name);
      return;
    }
  if (auto field = SettingOfOption(BoolOptions, name)) {
    S.*field = ParseBool(value);
  } else if (auto flag = SettingOfOption(FlagOptions, name)) {
    S.*flag = true;
  } else if (auto integer = SettingOfOption(IntOptions, name)) {
    S.*integer = ParseInt(name, value);
  } else if (auto decimal = SettingOfOption(FloatOptions, name)) {
    S.*decimal = ParseFloat(name, value);
  } else if (auto text = SettingOfOption(TextOptions, name)) {
    S.*text = value;
  } else if (!SetSimpleOption(name, value) && !SetVideoOption(name, value) && !SetAudioOption(name, value)) {
    SetGenericOption(name, value);
  }
}

bool TTaskOptions::SetSimpleOption(const std::string &name, const std::string &value) {
  if (name == "f") {
    SetFormat(value);
  } else if (name == "map") {
    SetStreamMap(value);
  } else if (name == "sburn") {
    SetBurnSubtitle(value);
  } else if (name == "map_meta_data") {
    SetMetaDataMap(value);
  } else if (name == "t") {
    SetRecordingTimeUs(ParseTime(name, value, true));
  } else if (name == "threads") {
    S.ThreadCount = ParseCount(name, value);
  } else if (name == "fs") {
    S.LimitFileSize = ParseInt64(name, value);
  } else if (name == "ss") {
    S.StartTime = ParseTime(name, value, true);
  } else if (name == "itsoffset") {
    S.InputTsOffset = ParseTime(name, value, true);
  } else if (name == "itsscale") {
    SetItsScale(value);
  } else if (name == "timestamp") {
    S.RecTimestamp = (ParseTime(name, value, false) + 500000) / 1000000;
  } else if (name == "metadata") {
    SetMetaData(value);
  } else if (name == "v") {
    SetVerbose(ParseInt(name, value));
  } else if (name == "target") {
    SetTargetOption(value);
  } else if (name == "absf" || name == "vbsf" || name == "sbsf") {
    SetBitstreamFilter(name, value);
  } else {
    return false;
  }
  return true;
}

bool TTaskOptions::SetVideoOption(const std::string &name, const std::string &value) {
  if (name == "b" || name == "vb") {
    SetBitrate(name, value);
  } else if (name == "r") {
    AVRational rate{0, 0};
    if (AVUtil.av_parse_video_rate(&rate, value.c_str()) < 0)
      throw FFmpegException("Incorrect frame rate");
    S.FrameRate = rate;
  } else if (name == "s") {
    SetFrameSize(value);
  } else if (name == "aspect") {
    SetAspect(value);
  } else if (name == "pix_fmt") {
    if (value == "list")
      ListFormats(true);
    else
      S.FramePixFmt = AVUtil.av_get_pix_fmt(value.c_str());
  } else if (name == "croptop" || name == "cropbottom" || name == "cropleft" || name == "cropright") {
    SetCrop(name, ParseInt(name, value));
  } else if (name == "padtop" || name == "padbottom" || name == "padleft" || name == "padright") {
    SetPad(name, ParseInt(name, value));
  } else if (name == "padcolor") {
    SetPadColor(ParseInt(name, value));
  } else if (name == "qscale") {
    const float q = ParseFloat(name, value);
    if (!(q > 0.0f && q <= 255.0f))
      throw FFmpegException("qscale must be > 0.0 and <= 255");
    S.VideoQScale = q;
  } else if (name == "vcodec") {
    SetCodecChoice(S.VideoCodec, value);
  } else if (name == "pass") {
    const int pass = ParseInt(name, value);
    if (pass != 1 && pass != 2)
      throw FFmpegException("pass number can be only 1 or 2");
    S.DoPass = pass;
  } else if (name == "vstats") {
    SetVStats();
  } else if (name == "vhook") {
    SetVideoHook(value);
  } else if (name == "vfilters") {
    if (!value.empty())
      S.VFilters = value;
  } else if (name == "intra_matrix") {
    SetMatrix(S.IntraMatrix, value);
  } else if (name == "inter_matrix") {
    SetMatrix(S.InterMatrix, value);
  } else if (name == "vtag") {
    S.VideoCodecTag = ParseTag(value, "video tag parameter must be 4 chars");
  } else if (name == "newvideo") {
    NewStreamOption(name);
  } else {
    return false;
  }
  return true;
}

bool TTaskOptions::SetAudioOption(const std::string &name, const std::string &value) {
  if (name == "ab") {
    SetBitrate(name, value);
  } else if (name == "ar" || name == "ac") {
    const int v = ParseInt(name, value);
    if (v > 0)
      (name == "ar" ? S.AudioSampleRate : S.AudioChannels) = v;
  } else if (name == "acodec") {
    SetCodecChoice(S.AudioCodec, value);
  } else if (name == "scodec") {
    SetCodecChoice(S.SubtitleCodec, value);
  } else if (name == "atag") {
    S.AudioCodecTag = ParseTag(value, "audio tag parameter must be 4 chars");
  } else if (name == "sample_fmt") {
    if (value == "list")
      ListFormats(false);
    else
      S.AudioSampleFmt = AVUtil.av_get_sample_fmt(value.c_str());
  } else if (name == "newaudio" || name == "newsubtitle") {
    NewStreamOption(name);
  } else {
    return false;
  }
  return true;
}
