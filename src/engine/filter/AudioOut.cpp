#include "engine/filter/AudioOut.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "engine/FFmpegException.h"
#include "engine/encode/EncodeLoop.h"
#include "media/AVCodecStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/SwResampleStubs.h"

namespace {

// Silence inserted in front of one block is capped at this many bytes of 16-bit samples.
constexpr int64_t MaxSilenceBytes = 131072;
// Clock differences of at most this many samples are left alone.
constexpr double SyncTolerance = 50.0;

std::string Format(const char *format, auto... args) {
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

AVChannelLayout LayoutOf(const AVChannelLayout &layout) {
  AVChannelLayout result{};
  if (layout.order == AV_CHANNEL_ORDER_UNSPEC || AVUtil.av_channel_layout_copy(&result, &layout) < 0)
    AVUtil.av_channel_layout_default(&result, layout.nb_channels);
  return result;
}

// Plane pointers of samples stored plane after plane (or interleaved in one plane), at a sample offset.
void PlanesAt(uint8_t *base, AVSampleFormat format, int channels, int capacity, int offset,
              uint8_t **planes) {
  const int bytes = AVUtil.av_get_bytes_per_sample(format);
  if (AVUtil.av_sample_fmt_is_planar(format)) {
    for (int c = 0; c < channels; ++c)
      planes[c] = base + (static_cast<size_t>(c) * capacity + offset) * bytes;
  } else {
    planes[0] = base + static_cast<size_t>(offset) * bytes * channels;
  }
}

template <typename T, typename Wide>
void ScaleSamples(T *samples, size_t count, int volume, Wide low, Wide high) {
  for (size_t i = 0; i < count; ++i) {
    const Wide scaled = (static_cast<Wide>(samples[i]) * volume + 128) >> 8;
    samples[i] = static_cast<T>(std::clamp(scaled, low, high));
  }
}

template <typename T> void ScaleFloats(T *samples, size_t count, int volume) {
  for (size_t i = 0; i < count; ++i)
    samples[i] = std::clamp(samples[i] * static_cast<T>(volume) / static_cast<T>(256), T(-1), T(1));
}

} // namespace

TAudioOut::TAudioOut(AVCodecContext *encoder, AVStream *stream, const TAudioOutSettings &settings,
                     TLogger log, TWriter write, int64_t &encodedBytes)
    : FEncoder(encoder), FStream(stream), S(settings), FLog(std::move(log)), FWrite(std::move(write)),
      FEncodedBytes(encodedBytes), FFrame(NewFrame()), FPacket(NewPacket()) {
  FFifo.reset(AVUtil.av_audio_fifo_alloc(encoder->sample_fmt, encoder->ch_layout.nb_channels, 1024));
  if (!FFifo)
    throw FFmpegException("av_fifo_init fail");
}

void TAudioOut::Log(int level, const std::string &text) const {
  if (FLog)
    FLog(level, text);
}

void TAudioOut::PrepareConverter(const AVFrame &decoded) {
  const int channels = decoded.ch_layout.nb_channels;
  const bool formatDiffers = decoded.format != FEncoder->sample_fmt;
  if (!AudioResample && !formatDiffers) {
    FConverter.reset();
    return;
  }
  if (FConverter && FConverterFormat == decoded.format && FConverterRate == decoded.sample_rate &&
      FConverterChannels == channels)
    return;
  FConverter.reset();
  AVChannelLayout inLayout = LayoutOf(decoded.ch_layout), outLayout = LayoutOf(FEncoder->ch_layout);
  SwrContext *context = nullptr;
  int ret = SwResample.swr_alloc_set_opts2(&context, &outLayout, FEncoder->sample_fmt, FEncoder->sample_rate,
                                           &inLayout, static_cast<AVSampleFormat>(decoded.format),
                                           decoded.sample_rate, 0, nullptr);
  FConverter.reset(context);
  AVUtil.av_channel_layout_uninit(&inLayout);
  AVUtil.av_channel_layout_uninit(&outLayout);
  if (ret >= 0 && AudioResample) {
    // The filter of the old resampler: 16 taps, 2^10 phases, no linear interpolation, cutoff 0.8.
    AVUtil.av_opt_set_int(context, "filter_size", 16, 0);
    AVUtil.av_opt_set_int(context, "phase_shift", 10, 0);
    AVUtil.av_opt_set_int(context, "linear_interp", 0, 0);
    AVUtil.av_opt_set_double(context, "cutoff", 0.8, 0);
  }
  if (ret >= 0)
    ret = SwResample.swr_init(context);
  if (ret < 0) {
    FConverter.reset();
    if (AudioResample)
      throw FFmpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", channels,
                                   decoded.sample_rate, FEncoder->ch_layout.nb_channels,
                                   FEncoder->sample_rate));
    const char *from = AVUtil.av_get_sample_fmt_name(static_cast<AVSampleFormat>(decoded.format));
    const char *to = AVUtil.av_get_sample_fmt_name(FEncoder->sample_fmt);
    throw FFmpegException(Format("Cannot convert %s sample format to %s sample format", from ? from : "none",
                                 to ? to : "none"));
  }
  FConverterFormat = decoded.format;
  FConverterRate = decoded.sample_rate;
  FConverterChannels = channels;
}

void TAudioOut::Out(const AVFrame &decoded, int64_t syncPts, bool &atStart) {
  if (S.Filters.empty())
    return OutBlock(decoded, syncPts, atStart);
  std::string error;
  if (!FFilter.Built() && !FFilter.Build(S.Filters, decoded, error))
    throw FFmpegException(error);
  if (!FFilter.Push(&decoded, syncPts))
    throw FFmpegException("Audio filtering failed");
  PassFiltered(atStart);
}

// Filtered blocks carry their own start: a filter that holds samples back (loudness look-ahead)
// must not shift the sound against the pictures.
void TAudioOut::PassFiltered(bool &atStart) {
  if (!FFiltered)
    FFiltered = NewFrame();
  int64_t start = 0;
  while (FFilter.Pull(*FFiltered, start))
    OutBlock(*FFiltered, start, atStart);
}

void TAudioOut::OutBlock(const AVFrame &decoded, int64_t syncPts, bool &atStart) {
  const int decChannels = decoded.ch_layout.nb_channels;
  const int encChannels = FEncoder->ch_layout.nb_channels;
  const int decRate = decoded.sample_rate, encRate = FEncoder->sample_rate;
  if (decoded.nb_samples <= 0 || decChannels <= 0 || decRate <= 0 || FDrained)
    return;
  if (decChannels > AV_NUM_DATA_POINTERS || encChannels > AV_NUM_DATA_POINTERS)
    throw FFmpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", decChannels,
                                 decRate, encChannels, encRate));
  if (decChannels != encChannels || decRate != encRate || S.Async > 1)
    AudioResample = true;
  PrepareConverter(decoded);

  const double syncTime = static_cast<double>(syncPts - S.StartTime) / 1000000.0;
  const int64_t buffered = AVUtil.av_audio_fifo_size(FFifo.get());
  ShiftClockOnJump(syncTime, buffered);
  const double clock = syncTime * encRate - static_cast<double>(FClockShift);
  TSyncFix fix;
  if (S.Async != 0)
    fix =
        SyncFix(clock - static_cast<double>(SyncPosition) - static_cast<double>(buffered), decoded, atStart);
  else
    SyncPosition = std::llrint(clock) - buffered;
  if (fix.NothingLeft)
    return;

  const int samples = decoded.nb_samples - fix.Dropped;
  ReserveBlock(fix.Silence + samples);
  if (fix.Silence > 0 && !AppendSilence(decoded, fix.Silence))
    return;
  if (AppendDecoded(decoded, fix.Dropped))
    DeliverBlock();
  FBlockSamples = 0;
}

void TAudioOut::ShiftClockOnJump(double syncTime, int64_t buffered) {
  // A clock jump beyond the discontinuity threshold is not filled with silence nor answered by
  // dropping: the clock is shifted instead.
  const int encRate = FEncoder->sample_rate;
  const double drift = syncTime * encRate - static_cast<double>(FClockShift + SyncPosition + buffered);
  if (std::fabs(drift) > encRate * static_cast<double>(S.DtsDeltaThreshold)) {
    const int64_t shift = std::llrint(drift);
    FClockShift += shift;
    if (S.Verbose >= 0)
      Log(1, Format("timestamp discontinuity %lld, new offset= %lld",
                    static_cast<long long>(shift * 1000000 / encRate),
                    static_cast<long long>(-FClockShift * 1000000 / encRate)));
  }
}

TAudioOut::TSyncFix TAudioOut::SyncFix(double delta, const AVFrame &decoded, bool &atStart) {
  const int encRate = FEncoder->sample_rate;
  if (std::fabs(delta) > SyncTolerance) {
    if (atStart || std::fabs(delta) > encRate * static_cast<double>(S.DriftThreshold))
      return DropOrFill(delta, decoded, atStart);
    if (S.Async > 1 && FConverter) {
      const int comp = static_cast<int>(std::clamp<double>(std::trunc(delta), -S.Async, S.Async));
      if (S.Verbose > 2)
        Log(1, Format("compensating audio timestamp drift:%f compensation:%d in:%d", delta, comp, encRate));
      SwResample.swr_set_compensation(FConverter.get(), comp, encRate);
    }
  }
  return {};
}

TAudioOut::TSyncFix TAudioOut::DropOrFill(double delta, const AVFrame &decoded, bool &atStart) {
  // The clock arithmetic counts samples per channel at the output rate, and bytes of 16-bit
  // samples of all input channels, whatever the decoder's own format.
  const int64_t frameBytes = 2LL * decoded.ch_layout.nb_channels;
  int64_t size = decoded.nb_samples * frameBytes;
  int64_t byteDelta =
      static_cast<int64_t>(std::trunc(delta * decoded.sample_rate / FEncoder->sample_rate)) * frameBytes;
  TSyncFix fix;
  if (byteDelta < 0) {
    byteDelta = std::max(byteDelta, -size);
    size += byteDelta;
    fix.Dropped = static_cast<int>(-byteDelta / frameBytes);
    if (S.Verbose > 2)
      Log(1, Format("discarding %d audio samples", static_cast<int>(std::trunc(-delta))));
    fix.NothingLeft = size == 0;
    if (!fix.NothingLeft)
      atStart = false;
    return fix;
  }
  if (size + byteDelta > MaxSilenceBytes)
    byteDelta = std::max<int64_t>(MaxSilenceBytes - size, 0);
  else
    atStart = false;
  fix.Silence = static_cast<int>(byteDelta / frameBytes);
  if (S.Verbose > 2)
    Log(1, Format("adding %d audio samples of silence", static_cast<int>(std::trunc(delta))));
  return fix;
}

bool TAudioOut::AppendSilence(const AVFrame &decoded, int silence) {
  const auto format = static_cast<AVSampleFormat>(decoded.format);
  const int channels = decoded.ch_layout.nb_channels;
  const int bytes = AVUtil.av_samples_get_buffer_size(nullptr, channels, silence, format, 1);
  if (bytes < 0)
    return false;
  FSilence.resize(static_cast<size_t>(bytes));
  uint8_t *planes[AV_NUM_DATA_POINTERS] = {};
  PlanesAt(FSilence.data(), format, channels, silence, 0, planes);
  AVUtil.av_samples_set_silence(planes, 0, silence, channels, format);
  return AppendToBlock(planes, silence);
}

bool TAudioOut::AppendDecoded(const AVFrame &decoded, int dropped) {
  const auto format = static_cast<AVSampleFormat>(decoded.format);
  const int channels = decoded.ch_layout.nb_channels;
  std::vector<const uint8_t *> input(static_cast<size_t>(channels));
  const bool planar = AVUtil.av_sample_fmt_is_planar(format);
  const int sampleBytes = AVUtil.av_get_bytes_per_sample(format);
  for (int c = 0; c < (planar ? channels : 1); ++c)
    input[static_cast<size_t>(c)] =
        decoded.extended_data[c] + static_cast<size_t>(dropped) * sampleBytes * (planar ? 1 : channels);
  return AppendToBlock(input.data(), decoded.nb_samples - dropped);
}

void TAudioOut::ReserveBlock(int samples) {
  int needed = samples;
  if (FConverter)
    needed = SwResample.swr_get_out_samples(FConverter.get(), samples) + 64 + std::abs(S.Async);
  needed += FBlockSamples;
  if (needed <= FBlockCapacity)
    return;
  const int channels = FEncoder->ch_layout.nb_channels;
  const int bytes = AVUtil.av_samples_get_buffer_size(nullptr, channels, needed, FEncoder->sample_fmt, 1);
  if (bytes < 0)
    throw FFmpegException("av_malloc failed");
  std::vector<uint8_t> grown(static_cast<size_t>(bytes));
  // Samples already in the block keep their place in every plane.
  uint8_t *from[AV_NUM_DATA_POINTERS] = {}, *to[AV_NUM_DATA_POINTERS] = {};
  PlanesAt(FBlock.data(), FEncoder->sample_fmt, channels, FBlockCapacity, 0, from);
  PlanesAt(grown.data(), FEncoder->sample_fmt, channels, needed, 0, to);
  if (FBlockSamples > 0)
    AVUtil.av_samples_copy(to, from, 0, 0, FBlockSamples, channels, FEncoder->sample_fmt);
  FBlock = std::move(grown);
  FBlockCapacity = needed;
}

bool TAudioOut::AppendToBlock(const uint8_t *const *planes, int samples) {
  const int channels = FEncoder->ch_layout.nb_channels;
  uint8_t *out[AV_NUM_DATA_POINTERS] = {};
  PlanesAt(FBlock.data(), FEncoder->sample_fmt, channels, FBlockCapacity, FBlockSamples, out);
  int written = samples;
  if (FConverter) {
    written = SwResample.swr_convert(FConverter.get(), out, FBlockCapacity - FBlockSamples,
                                     const_cast<const uint8_t **>(planes), samples);
  } else {
    written = samples;
    AVUtil.av_samples_copy(out, const_cast<uint8_t *const *>(planes), 0, 0, samples, channels,
                           FEncoder->sample_fmt);
  }
  if (written < 0) {
    if (S.ExitOnError)
      throw FFmpegException("av_audio_convert() failed");
    Log(0, "av_audio_convert() failed");
    FBlockSamples = 0;
    return false;
  }
  FBlockSamples += written;
  return true;
}

void TAudioOut::DeliverBlock() {
  if (FBlockSamples <= 0)
    return;
  const int channels = FEncoder->ch_layout.nb_channels;
  uint8_t *planes[AV_NUM_DATA_POINTERS] = {};
  PlanesAt(FBlock.data(), FEncoder->sample_fmt, channels, FBlockCapacity, 0, planes);
  if (FEncoder->frame_size > 1) {
    AVAudioFifo *fifo = FFifo.get();
    const int content = AVUtil.av_audio_fifo_size(fifo);
    if (AVUtil.av_audio_fifo_space(fifo) < FBlockSamples &&
        AVUtil.av_audio_fifo_realloc(fifo, content + FBlockSamples) < 0)
      throw FFmpegException("av_fifo_realloc2() failed");
    AVUtil.av_audio_fifo_write(fifo, reinterpret_cast<void **>(planes), FBlockSamples);
    FBlockSamples = 0;
    while (AVUtil.av_audio_fifo_size(fifo) >= FEncoder->frame_size) {
      AVFrame *frame = FFrame.get();
      if (!frame->data[0]) {
        frame->nb_samples = FEncoder->frame_size;
        frame->format = FEncoder->sample_fmt;
        if (AVUtil.av_channel_layout_copy(&frame->ch_layout, &FEncoder->ch_layout) < 0 ||
            AVUtil.av_frame_get_buffer(frame, 0) < 0)
          throw FFmpegException("av_malloc failed");
      }
      if (AVUtil.av_frame_make_writable(frame) < 0)
        throw FFmpegException("av_malloc failed");
      frame->nb_samples = FEncoder->frame_size;
      AVUtil.av_audio_fifo_read(fifo, reinterpret_cast<void **>(frame->extended_data), FEncoder->frame_size);
      Encode(frame);
      SyncPosition += FEncoder->frame_size;
    }
    return;
  }
  // Sample-per-sample codecs take the whole block at once: one packet per block.
  TFramePtr frame = NewFrame();
  frame->nb_samples = FBlockSamples;
  frame->format = FEncoder->sample_fmt;
  if (AVUtil.av_channel_layout_copy(&frame->ch_layout, &FEncoder->ch_layout) < 0)
    throw FFmpegException("av_malloc failed");
  AVUtil.av_samples_fill_arrays(frame->data, frame->linesize, FBlock.data(), channels, FBlockCapacity,
                                FEncoder->sample_fmt, 1);
  frame->extended_data = frame->data;
  Encode(frame.get());
  SyncPosition += FBlockSamples;
  FBlockSamples = 0;
}

void TAudioOut::Encode(AVFrame *frame) {
  // Timestamps count the samples sent: a source whose timestamps repeat or overlap must not make
  // the encoded ones go backwards. A real gap ahead in the source's clock is kept.
  if (frame) {
    if (FNextPts == AV_NOPTS_VALUE || static_cast<double>(SyncPosition - FNextPts) > SyncTolerance)
      FNextPts = SyncPosition;
    frame->pts = AVUtil.av_rescale_q(FNextPts, AVRational{1, FEncoder->sample_rate}, FEncoder->time_base);
    FNextPts += frame->nb_samples;
  }
  EncodeFrame(FEncoder, frame, *FPacket, "Audio encoding failed", [this](AVPacket &packet) {
    FEncodedBytes += packet.size;
    packet.stream_index = FStream->index;
    packet.flags |= AV_PKT_FLAG_KEY;
    AVCodecLib.av_packet_rescale_ts(&packet, FEncoder->time_base, FStream->time_base);
    FWrite(packet);
  });
}

void TAudioOut::Flush() {
  if (FDrained)
    return;
  if (FFilter.Built() && FFilter.Push(nullptr, 0)) {
    bool atStart = false;
    PassFiltered(atStart);
  }
  FBlockSamples = 0;
  if (FConverter) {
    ReserveBlock(0);
    uint8_t *out[AV_NUM_DATA_POINTERS] = {};
    PlanesAt(FBlock.data(), FEncoder->sample_fmt, FEncoder->ch_layout.nb_channels, FBlockCapacity, 0, out);
    const int written = SwResample.swr_convert(FConverter.get(), out, FBlockCapacity, nullptr, 0);
    if (written > 0) {
      FBlockSamples = written;
      DeliverBlock();
    }
  }
  const int rest = AVUtil.av_audio_fifo_size(FFifo.get());
  if (rest > 0) {
    // Encoders take a short last frame.
    TFramePtr frame = NewFrame();
    frame->nb_samples = rest;
    frame->format = FEncoder->sample_fmt;
    if (AVUtil.av_channel_layout_copy(&frame->ch_layout, &FEncoder->ch_layout) < 0 ||
        AVUtil.av_frame_get_buffer(frame.get(), 0) < 0)
      throw FFmpegException("av_malloc failed");
    AVUtil.av_audio_fifo_read(FFifo.get(), reinterpret_cast<void **>(frame->extended_data), rest);
    Encode(frame.get());
    SyncPosition += rest;
  }
  FDrained = true;
  Encode(nullptr);
}

void ApplyVolume(AVFrame &frame, int volume) {
  if (volume == 256 || frame.nb_samples <= 0 || AVUtil.av_frame_make_writable(&frame) < 0)
    return;
  const auto format = static_cast<AVSampleFormat>(frame.format);
  const int channels = frame.ch_layout.nb_channels;
  const bool planar = AVUtil.av_sample_fmt_is_planar(format);
  const size_t count = static_cast<size_t>(frame.nb_samples) * (planar ? 1 : channels);
  for (int p = 0; p < (planar ? channels : 1); ++p) {
    uint8_t *data = frame.extended_data[p];
    switch (AVUtil.av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
      for (size_t i = 0; i < count; ++i) {
        const int scaled = ((data[i] - 128) * volume + 128) >> 8;
        data[i] = static_cast<uint8_t>(std::clamp(scaled, -128, 127) + 128);
      }
      break;
    case AV_SAMPLE_FMT_S16:
      ScaleSamples<int16_t, int>(reinterpret_cast<int16_t *>(data), count, volume, -32768, 32767);
      break;
    case AV_SAMPLE_FMT_S32:
      ScaleSamples<int32_t, int64_t>(reinterpret_cast<int32_t *>(data), count, volume,
                                     std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max());
      break;
    case AV_SAMPLE_FMT_FLT:
      ScaleFloats(reinterpret_cast<float *>(data), count, volume);
      break;
    case AV_SAMPLE_FMT_DBL:
      ScaleFloats(reinterpret_cast<double *>(data), count, volume);
      break;
    default:
      break;
    }
  }
}
