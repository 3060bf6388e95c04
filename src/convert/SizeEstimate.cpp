#include "convert/SizeEstimate.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "convert/ConvertHelpers.h"
#include "convert/RunShape.h"

namespace {

// The value of an option line "name=value" of the record's extra lines; empty when absent.
std::string OptionValue(const std::string &lines, const std::string &name) {
  const std::string key = name + "=";
  for (std::size_t at = 0; at < lines.size();) {
    const std::size_t end = std::min(lines.find('\n', at), lines.size());
    if (lines.compare(at, key.size(), key) == 0)
      return lines.substr(at + key.size(), end - at - key.size());
    at = end + 1;
  }
  return "";
}

struct TQualityRate {
  const char *Codec;
  const char *Option;
  const char *Value;
  double BitsPerPixel; // at 640×360; bigger pictures need fewer per pixel
};

// Measured on the generated test pictures with each encoder at the profiles' quality values.
constexpr TQualityRate VideoRates[] = {
    {"libx264", "crf", "20", 0.060},     {"libx264", "crf", "23", 0.045},     {"libx264", "crf", "28", 0.028},
    {"libx265", "crf", "22", 0.040},     {"libx265", "crf", "26", 0.028},     {"libx265", "crf", "30", 0.018},
    {"libvpx-vp9", "crf", "28", 0.045},  {"libvpx-vp9", "crf", "33", 0.032},  {"libvpx-vp9", "crf", "38", 0.022},
    {"libsvtav1", "crf", "28", 0.040},   {"libsvtav1", "crf", "35", 0.028},   {"libsvtav1", "crf", "42", 0.018},
};
// Any other encoder at a fixed quantiser: a rough figure for MPEG-4 part 2 class encoders.
constexpr double QuantiserBitsPerPixel = 0.12;
// Per-pixel rates fall with the picture's size: pixels to this power.
constexpr double PixelExponent = 0.85;
constexpr double ReferencePixels = 640.0 * 360.0;

// LAME's V2/V4/V6 and Vorbis's q6/q4/q2 in bits a second (stereo).
struct TAudioQualityRate {
  const char *Codec;
  const char *Value;
  int64_t Bits;
};
constexpr TAudioQualityRate AudioRates[] = {
    {"libmp3lame", "2", 190000}, {"libmp3lame", "4", 165000}, {"libmp3lame", "6", 130000},
    {"libvorbis", "6", 192000},  {"libvorbis", "4", 128000},  {"libvorbis", "2", 96000},
    {"vorbis", "6", 192000},     {"vorbis", "4", 128000},     {"vorbis", "2", 96000},
};

double FrameRateOf(const TOutputOptions &out, const TSourceFacts &source) {
  const double rate = out.FrameRate.empty() ? 0.0 : std::atof(out.FrameRate.c_str());
  return rate > 0 ? rate : source.FrameRate > 0 ? source.FrameRate : 25.0;
}

double QualityBitsPerPixel(const TOutputOptions &out) {
  for (const TQualityRate &rate : VideoRates)
    if (out.VideoCodec == rate.Codec && OptionValue(out.ExtOptions, rate.Option) == rate.Value)
      return rate.BitsPerPixel;
  return QuantiserBitsPerPixel;
}

int64_t VideoBitsPerSecond(const TOutputOptions &out, const TSourceFacts &source) {
  if (out.DisableVideo || source.VideoCodec == 0)
    return 0;
  if (out.VideoCodec == "copy")
    return source.VideoBitRate;
  // VP8 keeps its bit rate as a ceiling of its quality.
  const bool quality = out.VideoBitrate <= 0 || out.VideoCodec == "libvpx";
  if (!quality)
    return out.VideoBitrate;
  int64_t pixels = out.FrameSize.empty() ? int64_t{source.Width} * source.Height : SizePixels(out.FrameSize);
  pixels = std::max<int64_t>(pixels, 1);
  const double perPixel =
      QualityBitsPerPixel(out) * std::pow(static_cast<double>(pixels) / ReferencePixels, PixelExponent - 1.0);
  const auto bits = static_cast<int64_t>(perPixel * static_cast<double>(pixels) * FrameRateOf(out, source));
  // VP8 keeps its bit rate as a ceiling.
  return out.VideoBitrate > 0 ? std::min<int64_t>(bits, out.VideoBitrate) : bits;
}

} // namespace

bool VideoSizeVaries(const TOutputOptions &out, const TSourceFacts &source) {
  return !out.DisableVideo && source.VideoCodec != 0 && out.VideoCodec != "copy";
}

bool AudioSizeVaries(const TOutputOptions &out, const TSourceFacts &source) {
  if (out.DisableAudio || source.AudioCodec == 0)
    return false;
  const std::string &codec = out.AudioCodec;
  if (codec == "copy" || codec.starts_with("pcm_") || codec == "mp2" || codec == "ac3" ||
      codec.find("amr") != std::string::npos)
    return false;
  return codec != "libmp3lame" || !OptionValue(out.ExtOptions, "aq").empty();
}

int64_t AudioBitsPerSecond(const TOutputOptions &out, const TSourceFacts &source) {
  if (out.DisableAudio || source.AudioCodec == 0)
    return 0;
  if (out.AudioCodec == "copy")
    return source.AudioBitRate;
  const int rate = out.AudioSampleRate > 0 ? out.AudioSampleRate : source.SampleRate;
  const int channels = out.AudioChannels > 0 ? out.AudioChannels : source.Channels;
  if (out.AudioCodec.starts_with("pcm_"))
    return int64_t{rate} * channels * 16;
  // Lossless packing of ordinary sound takes about half of its raw size.
  if (out.AudioCodec == "flac")
    return int64_t{rate} * channels * 8;
  const std::string quality = OptionValue(out.ExtOptions, "aq");
  for (const TAudioQualityRate &entry : AudioRates)
    if (!quality.empty() && out.AudioCodec == entry.Codec && quality == entry.Value)
      return entry.Bits;
  return std::max(out.AudioBitrate, 0);
}

TContainerCost ContainerCost(const TOutputOptions &out) {
  const std::string ext = LowerCase(out.FileExt);
  if (ext == ".ts" || ext == ".m2ts" || out.FileFormat == "mpegts")
    return {40.0, 2000}; // 188-byte cells with their headers, tables every so often
  if (ext == ".mpg" || ext == ".vob" || ext == ".mpeg" || out.FileFormat == "vob")
    return {30.0, 4000};
  if (ext == ".avi")
    return {24.0, 8000}; // a chunk header and an index entry each
  if (ext == ".flv")
    return {15.0, 1000};
  if (ext == ".mkv" || ext == ".webm")
    return {12.0, 4000};
  if (ext == ".ogg" || ext == ".opus" || ext == ".oga")
    return {8.0, 4000};
  if (ext == ".wav" || ext == ".mp3" || ext == ".ac3" || ext == ".mp2" || ext == ".flac")
    return {0.0, 1000};
  return {10.0, 1500}; // MP4 family: an index entry and a sample table line each
}

double VideoPacketRate(const TOutputOptions &out, const TSourceFacts &source) {
  return out.DisableVideo || source.VideoCodec == 0 ? 0.0 : FrameRateOf(out, source);
}

double AudioPacketRate(const TOutputOptions &out, const TSourceFacts &source) {
  if (out.DisableAudio || source.AudioCodec == 0)
    return 0.0;
  const int rate = out.AudioSampleRate > 0 ? out.AudioSampleRate : source.SampleRate > 0 ? source.SampleRate : 44100;
  return rate / 1024.0;
}

int AudioTrackCount(const TOutputOptions &out) {
  const auto mapped = std::count_if(out.Streams.begin(), out.Streams.end(),
                                    [](const TMappedStream &stream) { return stream.Kind == TMappedKind::Audio; });
  return std::max(static_cast<int>(mapped), 1);
}

int64_t EstimateOutputBytes(const TOutputOptions &out, const TSourceFacts &source, int64_t lengthMs,
                            const TSampledRates *sampled) {
  if (lengthMs <= 0)
    return 0;
  const double seconds = static_cast<double>(lengthMs) / 1000.0;
  const auto rate = [sampled](const std::optional<double> TSampledRates::*measured, int64_t guess) {
    return sampled && (sampled->*measured) ? *(sampled->*measured) * 8.0 : static_cast<double>(guess);
  };
  const int tracks = AudioTrackCount(out);
  const double bits = (rate(&TSampledRates::VideoBytesPerSecond, VideoBitsPerSecond(out, source)) +
                       rate(&TSampledRates::AudioBytesPerSecond, AudioBitsPerSecond(out, source)) * tracks) *
                      seconds;
  const TContainerCost cost = ContainerCost(out);
  const double packets = (VideoPacketRate(out, source) + AudioPacketRate(out, source) * tracks) * seconds;
  return static_cast<int64_t>(bits / 8.0 + packets * cost.PacketBytes) + cost.FixedBytes;
}
