#include "convert/Loudness.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "engine/LibraryObjects.h"
#include "engine/filter/AudioFilter.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"

namespace {

// True peaks stay this far below full scale: the goal is -1 dBTP, lossy encoders add a little.
constexpr double PeakCeiling = -1.5;
// loudnorm takes loudness ranges up to this; its usual target range below.
constexpr double MaxRange = 20.0, UsualRange = 11.0;

std::string Fixed(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

double Meta(const AVFrame &frame, const char *key, double fallback) {
  const AVDictionaryEntry *entry = AVUtil.av_dict_get(frame.metadata, key, nullptr, 0);
  return entry ? std::strtod(entry->value, nullptr) : fallback;
}

// The running results the ebur128 filter attaches to each block it passes.
void ReadResults(const AVFrame &frame, TLoudness &result) {
  result.Integrated = Meta(frame, "lavfi.r128.I", result.Integrated);
  result.Range = Meta(frame, "lavfi.r128.LRA", result.Range);
  for (int c = 0; c < frame.ch_layout.nb_channels; ++c) {
    const std::string key = "lavfi.r128.true_peaks_ch" + std::to_string(c);
    const double linear = Meta(frame, key.c_str(), 0.0);
    if (linear > 0)
      result.TruePeak = std::max(result.TruePeak, 20.0 * std::log10(linear));
  }
}

struct TMeterInput {
  TInputContextPtr Context;
  TCodecContextPtr Decoder;
  int Stream = -1;
};

bool OpenSound(const std::string &path, int64_t startMs, TMeterInput &in) {
  AVFormatContext *context = nullptr;
  if (AVFormat.avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0)
    return false;
  in.Context.reset(context);
  if (AVFormat.avformat_find_stream_info(context, nullptr) < 0)
    return false;
  const AVCodec *codec = nullptr;
  in.Stream = AVFormat.av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (in.Stream < 0 || !codec)
    return false;
  in.Decoder.reset(AVCodecLib.avcodec_alloc_context3(codec));
  if (!in.Decoder ||
      AVCodecLib.avcodec_parameters_to_context(in.Decoder.get(), context->streams[in.Stream]->codecpar) < 0 ||
      AVCodecLib.avcodec_open2(in.Decoder.get(), codec, nullptr) < 0)
    return false;
  MarkOpened(in.Decoder);
  const int64_t origin = context->start_time != AV_NOPTS_VALUE ? context->start_time : 0;
  return startMs <= 0 || AVFormat.av_seek_frame(context, -1, origin + startMs * 1000, AVSEEK_FLAG_BACKWARD) >= 0;
}

} // namespace

std::optional<double> LoudnessTarget(const std::string &text) {
  if (text.empty())
    return std::nullopt;
  double value = 0;
  const char *end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || stop != end || !(value >= -70.0 && value <= -5.0))
    throw std::invalid_argument("The loudness target \"" + text + "\" is no number of LUFS from -70 to -5.");
  return value;
}

std::optional<TLoudness> MeasureLoudness(const std::string &path, int64_t startMs, int64_t lengthMs,
                                         const std::function<bool()> &keepGoing) {
  TMeterInput in;
  if (!OpenSound(path, startMs, in))
    return std::nullopt;
  const AVStream *st = in.Context->streams[in.Stream];
  const int64_t origin = in.Context->start_time != AV_NOPTS_VALUE ? in.Context->start_time : 0;
  const int64_t endUs = lengthMs < 0 ? INT64_MAX : origin + (std::max<int64_t>(startMs, 0) + lengthMs) * 1000;
  TAudioFilter meter;
  TPacketPtr packet = NewPacket();
  TFramePtr decoded = NewFrame(), measured = NewFrame();
  TLoudness result{-70.0, 0.0, -120.0, 0.0};
  bool any = false;
  std::string error;
  const auto drain = [&] {
    int64_t at = 0;
    while (meter.Pull(*measured, at)) {
      ReadResults(*measured, result);
      any = true;
    }
  };
  for (int count = 0; AVFormat.av_read_frame(in.Context.get(), packet.get()) >= 0; ++count) {
    if (keepGoing && count % 256 == 0 && !keepGoing())
      return std::nullopt;
    const bool ours = packet->stream_index == in.Stream;
    const bool sent = ours && AVCodecLib.avcodec_send_packet(in.Decoder.get(), packet.get()) >= 0;
    AVCodecLib.av_packet_unref(packet.get());
    bool past = false;
    while (sent && AVCodecLib.avcodec_receive_frame(in.Decoder.get(), decoded.get()) >= 0) {
      const int64_t at = decoded->pts == AV_NOPTS_VALUE ? 0 : AVUtil.av_rescale_q(decoded->pts, st->time_base, AV_TIME_BASE_Q);
      past = at >= endUs;
      if (!past && at >= origin + startMs * 1000 && (meter.Built() || meter.Build("ebur128=peak=true:metadata=1", *decoded, error)))
        meter.Push(decoded.get(), at);
      AVUtil.av_frame_unref(decoded.get());
    }
    drain();
    if (past)
      break;
  }
  if (meter.Built() && meter.Push(nullptr, 0))
    drain();
  if (!any)
    return std::nullopt;
  // The relative gate lies 10 LU under the loudness of the blocks above the absolute gate; for the
  // gated integrated value that is at most this.
  result.Threshold = result.Integrated - 10.0;
  return result;
}

std::string LoudnessFilter(double target, int sampleRate, const std::optional<TLoudness> &measured) {
  std::string line = "loudnorm=I=" + Fixed(target) + ":TP=" + Fixed(PeakCeiling);
  if (measured) {
    // Linear mode keeps the source's range; it needs a target range at least as wide.
    const double range = std::clamp(std::max(UsualRange, measured->Range + 1.0), 1.0, MaxRange);
    line += ":LRA=" + Fixed(range) + ":measured_I=" + Fixed(std::clamp(measured->Integrated, -99.0, 0.0)) +
            ":measured_LRA=" + Fixed(std::clamp(measured->Range, 0.0, 99.0)) +
            ":measured_TP=" + Fixed(std::clamp(measured->TruePeak, -99.0, 99.0)) +
            ":measured_thresh=" + Fixed(std::clamp(measured->Threshold, -99.0, 0.0)) + ":linear=true";
  } else {
    line += ":LRA=" + Fixed(UsualRange);
  }
  // The filter works at its own high rate.
  return line + ",aresample=" + std::to_string(sampleRate > 0 ? sampleRate : 48000);
}
