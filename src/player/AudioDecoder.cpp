#include <algorithm>
#include <cstring>

#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/SwResampleStubs.h"
#include "player/FFPlay.h"
#include "player/LibSDL.h"
#include "player/PlayCore.h"

namespace {

// Mono sources play as mono, everything else as stereo: the device gets at most two channels.
int DeviceChannels(int sourceChannels) { return sourceChannels == 1 ? 1 : 2; }

// The converter from the decoder's real format, layout and rate to interleaved signed 16-bit with
// the device's channels at the same rate; it also does the downmix. Remade when the source changes.
bool PrepareConverter(PlayContext *context, const AVFrame *frame) {
  AVChannelLayout source{};
  if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
    AVUtil.av_channel_layout_default(&source, frame->ch_layout.nb_channels);
  else
    AVUtil.av_channel_layout_copy(&source, &frame->ch_layout);
  const uint64_t mask = source.order == AV_CHANNEL_ORDER_NATIVE ? source.u.mask : 0;
  if (context->AudioConverter && frame->format == context->AudioSourceFormat &&
      frame->sample_rate == context->AudioSourceRate && mask == context->AudioSourceLayout &&
      source.nb_channels == context->AudioSourceChannels) {
    AVUtil.av_channel_layout_uninit(&source);
    return true;
  }
  SwResample.swr_free(&context->AudioConverter);
  AVChannelLayout target{};
  AVUtil.av_channel_layout_default(&target, context->AudioChannels);
  const int made = SwResample.swr_alloc_set_opts2(&context->AudioConverter, &target, AV_SAMPLE_FMT_S16,
                                                  context->AudioRate, &source,
                                                  static_cast<AVSampleFormat>(frame->format), frame->sample_rate,
                                                  0, nullptr);
  AVUtil.av_channel_layout_uninit(&target);
  AVUtil.av_channel_layout_uninit(&source);
  if (made < 0 || SwResample.swr_init(context->AudioConverter) < 0) {
    SwResample.swr_free(&context->AudioConverter);
    const char *from = AVUtil.av_get_sample_fmt_name(static_cast<AVSampleFormat>(frame->format));
    context->Owner->Log(ltError, std::string("Cannot convert ") + (from ? from : "unknown") + " sample format to " +
                                     AVUtil.av_get_sample_fmt_name(AV_SAMPLE_FMT_S16) + " sample format");
    return false;
  }
  context->AudioSourceFormat = frame->format;
  context->AudioSourceRate = frame->sample_rate;
  context->AudioSourceLayout = mask;
  context->AudioSourceChannels = frame->ch_layout.nb_channels;
  return true;
}

// Converts the frame into AudioBuffer2; the byte count, or -1 when the frame is skipped.
int ConvertFrame(PlayContext *context, const AVFrame *frame) {
  if (!PrepareConverter(context, frame))
    return -1;
  uint8_t *out[] = {context->AudioBuffer2};
  const int frameBytes = 2 * context->AudioChannels;
  const int samples = SwResample.swr_convert(context->AudioConverter, out, AudioBufferBytes / frameBytes,
                                             const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples);
  if (samples < 0) {
    context->Owner->Log(ltError, "av_audio_convert() failed");
    return -1;
  }
  return samples * frameBytes;
}

} // namespace

int OpenAudioDevice(PlayContext *context) {
  const AVCodecContext *decoder = context->AudioCodec;
  SDL_AudioSpec wanted{};
  wanted.freq = decoder->sample_rate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = static_cast<Uint8>(DeviceChannels(decoder->ch_layout.nb_channels));
  wanted.silence = 0;
  wanted.samples = 1024;
  wanted.callback = AudioCallback;
  wanted.userdata = context;
  SDL_AudioSpec obtained{};
  // No changes allowed: SDL converts for the device, so the callback always gets what was asked.
  context->AudioDevice = wanted.freq > 0 ? SDLLib.SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0) : 0;
  if (context->AudioDevice == 0) {
    context->Owner->Log(ltError, "SDL_OpenAudio() failed: " + SDLErrorText());
    return -1;
  }
  context->AudioChannels = wanted.channels;
  context->AudioRate = wanted.freq;
  context->AudioDeviceBufferBytes = static_cast<int>(obtained.size);
  context->AudioSourceFormat = AV_SAMPLE_FMT_S16;
  return 0;
}

int DecodeAudioFrame(PlayContext *context, double &pts) {
  AVCodecContext *decoder = context->AudioCodec;
  AVFrame *frame = context->AudioFrame;
  for (;;) {
    // Every frame the decoder holds is handed on before the next packet goes in.
    while (!context->AudioDrained) {
      const int received = AVCodecLib.avcodec_receive_frame(decoder, frame);
      if (received == AVERROR_EOF)
        context->AudioDrained = true;
      if (received < 0)
        break;
      const int64_t stamp = frame->best_effort_timestamp;
      if (stamp != AV_NOPTS_VALUE)
        context->AudioClockValue = static_cast<double>(stamp) * av_q2d(context->AudioStream->time_base);
      const int bytes = ConvertFrame(context, frame);
      AVUtil.av_frame_unref(frame);
      if (bytes <= 0)
        continue;
      pts = context->AudioClockValue;
      context->AudioClockValue =
          context->AudioClockValue + static_cast<double>(bytes) / (2.0 * context->AudioChannels * context->AudioRate);
      return bytes;
    }
    if (context->Paused || context->AudioQueue.Aborted())
      return -1;
    AVPacket *packet = nullptr;
    if (context->AudioQueue.Get(packet, true) < 0)
      return -1;
    if (context->AudioQueue.IsFlushMarker(packet) || context->AudioDrained) {
      AVCodecLib.avcodec_flush_buffers(decoder);
      context->AudioDrained = false;
      if (context->AudioQueue.IsFlushMarker(packet))
        continue;
    }
    // An empty packet drains the decoder.
    const bool drain = !packet->data && packet->size == 0;
    AVCodecLib.avcodec_send_packet(decoder, drain ? nullptr : packet);
    AVCodecLib.av_packet_free(&packet);
  }
}

void AudioCallback(void *userData, uint8_t *stream, int length) {
  auto *context = static_cast<PlayContext *>(userData);
  TCustomPlayer &owner = *context->Owner;
  owner.SetAudioCallbackTime(NowMicroseconds());
  while (length > 0) {
    if (context->AudioBufferIndex >= context->AudioBufferSize) {
      double pts = 0;
      const int bytes = DecodeAudioFrame(context, pts);
      if (context->AudioQueue.Aborted()) {
        // The device does not pre-fill its buffer: the rest is written as silence.
        std::memset(stream, 0, length);
        return;
      }
      if (bytes < 0) {
        context->AudioBuffer = context->AudioBuffer1; // kept silent
        context->AudioBufferSize = 1024;
      } else {
        context->AudioBuffer = context->AudioBuffer2;
        context->AudioBufferSize = bytes;
        if (context->ShowWaveform) {
          const auto *samples = reinterpret_cast<const int16_t *>(context->AudioBuffer2);
          int index = context->SampleRingIndex;
          for (int i = 0; i < bytes / 2; ++i) {
            context->SampleRing[index].store(samples[i], std::memory_order_relaxed);
            index = (index + 1) % SampleRingSize;
          }
          context->SampleRingIndex = index;
        }
      }
      context->AudioBufferIndex = 0;
    }
    const int index = context->AudioBufferIndex;
    const int chunk = std::min(length, context->AudioBufferSize - index);
    std::memset(stream, 0, chunk);
    if (!owner.Mute())
      SDLLib.SDL_MixAudioFormat(stream, context->AudioBuffer + index, AUDIO_S16SYS, static_cast<Uint32>(chunk),
                                owner.AudioVolume());
    length -= chunk;
    stream += chunk;
    context->AudioBufferIndex = index + chunk;
  }
}
