#include "convert/JobBuilder.h"

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <vector>

#include "convert/ConvertHelpers.h"
#include "convert/QualityChoice.h"

namespace {

struct TLabel {
  const char *Label;
  const char *Codec;
};

constexpr TLabel AudioLabels[] = {{"amr_nb", "libamr_nb"},     {"aac", "libfaac"},    {"wav", "pcm_s16le"},
                                  {"mp3 audio", "libmp3lame"}, {"ac-3 audio", "ac3"}, {"mpeg-2 audio", "mp2"},
                                  {"ogg", "vorbis"},           {"opus", "libopus"},   {"flac", "flac"}};

constexpr TLabel VideoLabels[] = {{"h.263 video", "h263"},        {"h.264", "libx264"},
                                  {"xvid", "libxvid"},            {"mpeg-1 video", "mpeg1video"},
                                  {"mpeg-2 video", "mpeg2video"}, {"flv video", "flv"},
                                  {"h.265", "libx265"},           {"vp8", "libvpx"},
                                  {"vp9", "libvpx-vp9"},          {"av1", "libsvtav1"}};

template <std::size_t N> std::string Translate(const TLabel (&table)[N], const std::string &label) {
  const std::string lower = LowerCase(label);
  for (const TLabel &entry : table)
    if (lower == entry.Label)
      return entry.Codec;
  return lower;
}

// Reads the chosen items of one profile; every refusal names the profile, the setting and the item.
class TProfileItems {
public:
  explicit TProfileItems(const TFormatRec &profile) : FProfile(profile) {}

  std::string Item(const char *setting, const std::string &list, int32_t value) const {
    std::vector<std::string> items;
    TIniOptions::SplitList(list, items);
    if (value < 0 || static_cast<std::size_t>(value) >= items.size())
      throw TProfileItemError(Where(setting) + "there is no item " + std::to_string(value) + " in \"" + list + "\".");
    return items[static_cast<std::size_t>(value)];
  }

  // The item's text before the marker (all of it when the marker is missing) as a whole number,
  // multiplied by the factor.
  int32_t Number(const char *setting, const std::string &item, const std::string &text, int32_t factor = 1) const {
    int32_t value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    const int64_t scaled = int64_t{value} * factor;
    if (text.empty() || ec != std::errc() || stop != end || scaled > std::numeric_limits<int32_t>::max() ||
        scaled < std::numeric_limits<int32_t>::min())
      Refuse(setting, item);
    return static_cast<int32_t>(scaled);
  }

  [[noreturn]] void Refuse(const char *setting, const std::string &item) const {
    throw TProfileItemError(Where(setting) + "the item \"" + item + "\" cannot be read.");
  }

  // Refuses an encoder item whose encoder the installed libraries lack: better said before the run
  // than as the same failure of every file. Stream copy needs no encoder.
  void RequireEncoder(const char *setting, const std::string &item, const std::string &codec, bool video,
                      const TEncoderCheck &installed) const {
    if (installed && !codec.empty() && codec != "copy" && !installed(codec, video))
      throw TProfileItemError(Where(setting) + "the item \"" + item + "\" needs the encoder \"" + codec +
                              "\", which the installed libraries lack.");
  }

private:
  std::string Where(const char *setting) const {
    return "Profile \"" + FProfile.Name + "\", setting " + setting + ": ";
  }

  const TFormatRec &FProfile;
};

// The profile's chosen quality; none while its bit rates apply.
std::optional<TQualityLevel> ChosenQuality(const TProfileItems &items, const TFormatRec &profile) {
  if (profile.Quality.empty() || profile.QualityValue < 0)
    return std::nullopt;
  const std::string item = items.Item("Quality", profile.Quality, profile.QualityValue);
  const std::optional<TQualityLevel> level = QualityLevelOf(item);
  if (!level)
    items.Refuse("Quality", item);
  return level;
}

std::string UpTo(const std::string &text, const char *marker) {
  const auto pos = text.find(marker);
  return pos == std::string::npos ? text : text.substr(0, pos);
}

// A chosen quality replaces the bit rate with the encoder's constant-quality control, where it has one.
void FillVideoQuality(TOutputOptions &out, std::optional<TQualityLevel> level) {
  if (!level)
    return;
  const TVideoQuality quality = VideoQualityOptions(out.VideoCodec, *level);
  if (quality.Options.empty())
    return;
  out.ExtOptions += quality.Options;
  if (!quality.KeepsBitrate)
    out.VideoBitrate = -1;
}

} // namespace

std::string AudioCodecName(const std::string &label) { return Translate(AudioLabels, label); }

std::string VideoCodecName(const std::string &label) { return Translate(VideoLabels, label); }

std::string AspectRatioText(int aspectIndex) {
  constexpr const char *Ratios[] = {"4:3", "16:9", "37:20", "47:20"};
  return aspectIndex >= 1 && aspectIndex <= 4 ? Ratios[aspectIndex - 1] : "";
}

bool IsAudioExtension(const std::string &ext) { return InExtensionList(AudioExtensions, ext); }

std::string OutputFileName(const std::string &source, const std::string &folder, const std::string &ext,
                           const std::function<bool(const std::string &)> &isTaken) {
  const std::string dir = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  const auto slash = source.rfind('/');
  const std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
  const std::string stem = name.substr(0, name.rfind('.'));
  const auto claimed = [&](const std::string &candidate) {
    std::error_code ec;
    return std::filesystem::exists(candidate, ec) || isTaken(candidate);
  };
  std::string candidate = dir + stem + ext;
  for (int n = 1; claimed(candidate); ++n)
    candidate = dir + stem + "_" + std::to_string(n) + ext;
  return candidate;
}

void FillAudioSettings(TOutputOptions &out, const TFormatRec &profile, const TEncoderCheck &installed) {
  const TProfileItems items(profile);
  const std::string rate = items.Item("SampleRate", profile.SampleRate, profile.SampleRateValue);
  out.AudioSampleRate = items.Number("SampleRate", rate, UpTo(rate, " Hz"));
  const std::string bitrate = items.Item("AudioBitrate", profile.AudioBitrate, profile.AudioBitrateValue);
  out.AudioBitrate = items.Number("AudioBitrate", bitrate, UpTo(bitrate, " kbps"), 1000);
  const std::string encoder = items.Item("AudioEncoder", profile.AudioEncoder, profile.AudioEncoderValue);
  out.AudioCodec = AudioCodecName(encoder);
  items.RequireEncoder("AudioEncoder", encoder, out.AudioCodec, false, installed);
  const std::string channel = items.Item("Channel", profile.Channel, profile.ChannelValue);
  out.AudioChannels = items.Number("Channel", channel, channel.substr(0, 1));
  out.AudioVolume = profile.Volume;
  if (const auto level = ChosenQuality(items, profile))
    out.ExtOptions += AudioQualityOptions(out.AudioCodec, *level);
}

void FillVideoSettings(TOutputOptions &out, const TFormatRec &profile, int aspectIndex,
                       const TEncoderCheck &installed) {
  const TProfileItems items(profile);
  const std::string encoder = items.Item("VideoEncoder", profile.VideoEncoder, profile.VideoEncoderValue);
  out.VideoCodec = VideoCodecName(encoder);
  items.RequireEncoder("VideoEncoder", encoder, out.VideoCodec, true, installed);
  const std::string rate = items.Item("Framerate", profile.Framerate, profile.FramerateValue);
  if (LowerCase(rate) != "keep original frame rate")
    out.FrameRate = LowerCase(UpTo(rate, " fps"));
  const std::string size = items.Item("Resolution", profile.Resolution, profile.ResolutionValue);
  if (LowerCase(size) != "keep original size")
    out.FrameSize = size;
  out.AspectRatio = AspectRatioText(aspectIndex);
  const std::string bitrate = items.Item("VideoBitRate", profile.VideoBitRate, profile.VideoBitRateValue);
  out.VideoBitrate = items.Number("VideoBitRate", bitrate, UpTo(bitrate, " kbps"), 1000);
  FillVideoQuality(out, ChosenQuality(items, profile));
  // A deeper or fuller source format would give files that players and phones refuse.
  out.PixelFormat = profile.PixelFormat.empty() ? "yuv420p" : profile.PixelFormat;
  // Apple's players and phones take HEVC in MP4 only under the tag whose parameter sets live in the
  // file's header; the libraries' default tag is the other one.
  const std::string ext = LowerCase(profile.Ext);
  if (out.VideoCodec == "libx265" && (ext == ".mp4" || ext == ".mov" || ext == ".m4v"))
    out.VideoTag = "hvc1";
  out.DisableSubtitle = true;
}

void KeepSourceMetadata(TOutputOptions &out) {
  out.ExtOptions += "map_meta_data=0:0\n";
  // Libraries sort by this date: the moment of conversion would put every converted file at today.
  out.Timestamp = -1.0;
}

void FillLoudness(TOutputOptions &out, const TFormatRec &profile, const std::optional<TLoudness> &measured) {
  std::optional<double> target;
  try {
    target = LoudnessTarget(profile.Loudness);
  } catch (const std::invalid_argument &e) {
    throw TProfileItemError("Profile \"" + profile.Name + "\", setting Loudness: " + e.what());
  }
  if (target && !out.DisableAudio && out.AudioCodec != "copy")
    out.ExtOptions += "afilters=" + LoudnessFilter(*target, out.AudioSampleRate, measured) + "\n";
}
