#include "ClipContent.h"

#include "media/AVUtilStubs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

void PutSample(const AVFrame *f, int plane, int x, int y, int bytes, int shift, int value) {
  uint8_t *p = f->data[plane] + static_cast<ptrdiff_t>(y) * f->linesize[plane] + static_cast<ptrdiff_t>(x) * bytes;
  if (bytes == 2)
    *reinterpret_cast<uint16_t *>(p) = static_cast<uint16_t>((value & 255) << shift);
  else
    *p = static_cast<uint8_t>(value);
}

void FillPlanes(AVFrame *f, int y, int u, int v) {
  for (int row = 0; row < f->height; ++row)
    std::memset(f->data[0] + row * f->linesize[0], y, f->width);
  for (int row = 0; row < f->height / 2; ++row) {
    std::memset(f->data[1] + row * f->linesize[1], u, f->width / 2);
    std::memset(f->data[2] + row * f->linesize[2], v, f->width / 2);
  }
}

// An SDR level (BT.709 signal, 0 … 1) as the transfer's signal with SDR white at HDR's reference
// white, 203 nits: PQ that light, HLG the scene light that a 1000-nit display (system gamma 1.2)
// shows as that light.
double TransferSignal(double sdr, int transfer) {
  const double light = std::pow(sdr, 2.4);
  if (transfer == AVCOL_TRC_SMPTE2084) {
    constexpr double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32,
                     c3 = 2392.0 / 4096 * 32;
    const double y = std::pow(light * 203 / 10000, m1);
    return std::pow((c1 + c2 * y) / (1 + c3 * y), m2);
  }
  if (transfer == AVCOL_TRC_ARIB_STD_B67) {
    constexpr double a = 0.17883277, b = 0.28466892, c = 0.55991073;
    const double scene = std::pow(light * 203 / 1000, 1 / 1.2);
    return scene <= 1.0 / 12 ? std::sqrt(3 * scene) : a * std::log(12 * scene - b) + c;
  }
  return sdr;
}

// Grey levels 0.1 … 0.9 (as SDR signals) from left to right, in narrow range at the picture's depth.
void FillRamp(AVFrame *f, int transfer) {
  const AVPixFmtDescriptor *desc = AVUtil.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format));
  const int bytes = desc->comp[0].step, depth = desc->comp[0].depth, scale = 1 << (depth - 8);
  const auto put = [&](int plane, int x, int y, int value) {
    uint8_t *p = f->data[plane] + static_cast<ptrdiff_t>(y) * f->linesize[plane] + static_cast<ptrdiff_t>(x) * bytes;
    if (bytes == 2)
      *reinterpret_cast<uint16_t *>(p) = static_cast<uint16_t>(value);
    else
      *p = static_cast<uint8_t>(value);
  };
  for (int x = 0; x < f->width; ++x) {
    const double level = TransferSignal(0.1 + 0.8 * x / std::max(f->width - 1, 1), transfer);
    const int luma = static_cast<int>(std::lround((16 + 219 * level) * scale));
    for (int y = 0; y < f->height; ++y)
      put(0, x, y, luma);
  }
  const int cw = -((-f->width) >> desc->log2_chroma_w), ch = -((-f->height) >> desc->log2_chroma_h);
  for (int y = 0; y < ch; ++y)
    for (int x = 0; x < cw; ++x) {
      put(1, x, y, 128 * scale);
      put(2, x, y, 128 * scale);
    }
}

} // namespace

// A pattern that moves from frame to frame, so the encoder has real motion to code; planar YUV of
// any subsampling and depth. A turned picture has a bright left quarter: it marks the side that
// must end up on top.
void FillPicture(AVFrame *f, int64_t index, const TStreamPlan &plan) {
  if (plan.Content == TContent::Solid)
    return FillPlanes(f, plan.SolidY, plan.SolidU, plan.SolidV);
  if (plan.Content == TContent::Ramp)
    return FillRamp(f, plan.Transfer);
  if (plan.Content == TContent::Flashes) {
    const bool flash = index % ((plan.RateNum + plan.RateDen - 1) / plan.RateDen) == 0;
    return FillPlanes(f, flash ? 235 : 16, 128, 128);
  }
  const bool marked = plan.Rotation != 0;
  const AVPixFmtDescriptor *desc = AVUtil.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format));
  const int bytes = desc->comp[0].step, shift = desc->comp[0].depth - 8;
  const int move = static_cast<int>(index % 256);
  for (int y = 0; y < f->height; ++y)
    for (int x = 0; x < f->width; ++x)
      PutSample(f, 0, x, y, bytes, shift, marked ? (x < f->width / 4 ? 235 : 16 + (x + move) % 32) : x + y + move * 3);
  const int cw = -((-f->width) >> desc->log2_chroma_w), ch = -((-f->height) >> desc->log2_chroma_h);
  for (int y = 0; y < ch; ++y)
    for (int x = 0; x < cw; ++x) {
      PutSample(f, 1, x, y, bytes, shift, marked ? 128 : 128 + y + move * 2);
      PutSample(f, 2, x, y, bytes, shift, marked ? 128 : 64 + x + move * 5);
    }
}

// A 440 Hz tone at the level, in whichever sample format the encoder takes; with bursts, a 1 kHz
// tone for the first 50 ms of every second and silence between.
void FillTone(AVFrame *f, int64_t firstSample, TContent content, double level) {
  const auto format = static_cast<AVSampleFormat>(f->format);
  const bool planar = AVUtil.av_sample_fmt_is_planar(format);
  const int channels = f->ch_layout.nb_channels;
  const AVSampleFormat packed = AVUtil.av_get_packed_sample_fmt(format);
  for (int i = 0; i < f->nb_samples; ++i) {
    const int64_t sample = firstSample + i;
    const double t = static_cast<double>(sample) / f->sample_rate;
    double value = level * std::sin(2 * std::numbers::pi * 440.0 * t);
    if (content == TContent::Swell)
      value *= 0.55 + 0.45 * std::sin(2 * std::numbers::pi * t / 1.5);
    if (content == TContent::Flashes)
      value = sample % f->sample_rate < f->sample_rate / 20
                  ? 0.7 * std::sin(2 * std::numbers::pi * 1000.0 * static_cast<double>(sample) / f->sample_rate)
                  : 0;
    for (int ch = 0; ch < channels; ++ch) {
      const int index = planar ? i : i * channels + ch;
      uint8_t *plane = f->extended_data[planar ? ch : 0];
      if (packed == AV_SAMPLE_FMT_S16)
        reinterpret_cast<int16_t *>(plane)[index] = static_cast<int16_t>(value * 32767);
      else if (packed == AV_SAMPLE_FMT_S32)
        reinterpret_cast<int32_t *>(plane)[index] = static_cast<int32_t>(value * 2147483647.0);
      else if (packed == AV_SAMPLE_FMT_FLT)
        reinterpret_cast<float *>(plane)[index] = static_cast<float>(value);
      else if (packed == AV_SAMPLE_FMT_DBL)
        reinterpret_cast<double *>(plane)[index] = value;
      else
        reinterpret_cast<uint8_t *>(plane)[index] = static_cast<uint8_t>(128 + value * 127);
    }
  }
}
