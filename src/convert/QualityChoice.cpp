#include "convert/QualityChoice.h"

#include "convert/ConvertHelpers.h"

namespace {

// One encoder's control and its value for High, Standard and Small.
struct TQualityControl {
  const char *Codec;
  const char *Option;
  const char *Values[3];
};

// Chosen from the encoders' documented ranges and measured with the quality bench: "Standard" is
// each encoder's usual default or near it, "High" visibly transparent, "Small" still watchable.
constexpr TQualityControl VideoControls[] = {
    {"libx264", "crf", {"20", "23", "28"}},     {"libx265", "crf", {"22", "26", "30"}},
    {"libvpx-vp9", "crf", {"28", "33", "38"}},  {"libsvtav1", "crf", {"28", "35", "42"}},
    {"libvpx", "crf", {"8", "12", "20"}},       {"libxvid", "qscale", {"3", "5", "8"}},
    {"mpeg4", "qscale", {"3", "5", "8"}},       {"mpeg1video", "qscale", {"3", "5", "8"}},
    {"mpeg2video", "qscale", {"3", "5", "8"}},  {"h263", "qscale", {"3", "5", "8"}},
    {"flv", "qscale", {"3", "5", "8"}},
};

// LAME's scale runs from 0 (best) to 9, Vorbis's from -1 to 10 (best).
constexpr TQualityControl AudioControls[] = {
    {"libmp3lame", "aq", {"2", "4", "6"}},
    {"libvorbis", "aq", {"6", "4", "2"}},
    {"vorbis", "aq", {"6", "4", "2"}},
};

template <std::size_t N>
std::string OptionLine(const TQualityControl (&table)[N], const std::string &codec, TQualityLevel level) {
  for (const TQualityControl &control : table)
    if (codec == control.Codec)
      return std::string(control.Option) + "=" + control.Values[static_cast<int>(level)] + "\n";
  return "";
}

} // namespace

std::optional<TQualityLevel> QualityLevelOf(const std::string &item) {
  const std::string lower = LowerCase(item);
  if (lower == "high")
    return TQualityLevel::High;
  if (lower == "standard")
    return TQualityLevel::Standard;
  if (lower == "small")
    return TQualityLevel::Small;
  return std::nullopt;
}

TVideoQuality VideoQualityOptions(const std::string &codec, TQualityLevel level) {
  TVideoQuality quality{OptionLine(VideoControls, codec, level), false};
  // VP9 is constant quality only with no bit rate; VP8's quality mode needs its bit rate as a cap.
  if (codec == "libvpx-vp9")
    quality.Options += "vb=0\n";
  quality.KeepsBitrate = codec == "libvpx";
  return quality;
}

std::string AudioQualityOptions(const std::string &codec, TQualityLevel level) {
  return OptionLine(AudioControls, codec, level);
}
