#include "engine/output/VideoEncoderSettings.h"

#include <algorithm>
#include <vector>

#include "engine/FFmpegException.h"
#include "engine/options/OptionValues.h"
#include "media/AVUtilStubs.h"

namespace {

constexpr int MaxRateTerm = 65535;

// The rate nearest to the one wanted among those the encoder lists. MPEG-1 video lists, after its
// eight standard rates, unofficial ones it takes only when unofficial streams are allowed.
AVRational EncoderFrameRate(const AVCodec &codec, AVRational wanted, int strictness) {
  constexpr size_t Mpeg1StandardRates = 8;
  std::vector<AVRational> rates;
  for (const AVRational *rate = codec.supported_framerates; rate->num != 0; ++rate)
    rates.push_back(*rate);
  if (codec.id == AV_CODEC_ID_MPEG1VIDEO && strictness > FF_COMPLIANCE_UNOFFICIAL)
    rates.resize(std::min(rates.size(), Mpeg1StandardRates));
  rates.push_back(AVRational{0, 0});
  return rates[static_cast<size_t>(AVUtil.av_find_nearest_q_idx(wanted, rates.data()))];
}

template <typename T> void *CopyToLibrary(const std::vector<T> &values) {
  void *block = AVUtil.av_mallocz(values.size() * sizeof(T));
  if (!block)
    throw FFmpegException("Could not allocate memory");
  std::copy(values.begin(), values.end(), static_cast<T *>(block));
  return block;
}

// "start,end,q/start,end,q..." frame ranges with a fixed quantizer (q > 0) or a quality factor.
std::vector<RcOverride> ParseRcOverride(const std::string &text) {
  std::vector<RcOverride> result;
  TNumberReader reader(text);
  while (true) {
    RcOverride o{};
    o.start_frame = static_cast<int>(reader.Integer());
    if (reader.Peek() != ',')
      throw FFmpegException("error parsing rc_override");
    reader.Skip();
    o.end_frame = static_cast<int>(reader.Integer());
    if (reader.Peek() != ',')
      throw FFmpegException("error parsing rc_override");
    reader.Skip();
    const int q = static_cast<int>(reader.Integer());
    o.qscale = q > 0 ? q : 0;
    o.quality_factor = q > 0 ? 1.0f : static_cast<float>(-q) / 100.0f;
    result.push_back(o);
    while (!reader.AtEnd() && reader.Peek() != '/')
      reader.Skip();
    if (!reader.Skip())
      return result;
  }
}

// The encoder's time base: the rate asked for (25 by default), the nearest the encoder lists
// unless the rate is forced.
AVRational VideoTimeBase(const AVCodec *codec, const TTaskSettings &S, int strictness) {
  AVRational fps = S.FrameRate.num != 0 ? S.FrameRate : AVRational{25, 1};
  if (codec && codec->supported_framerates && !S.ForceFps)
    fps = EncoderFrameRate(*codec, fps, strictness);
  // MPEG-4 Part 2 and its kin store the time base in 16 bits; nearly equal rates suit every encoder.
  AVUtil.av_reduce(&fps.num, &fps.den, fps.num, fps.den, MaxRateTerm);
  return AVRational{fps.den, fps.num};
}

// The pixel format asked for when the encoder takes it, else the encoder's first.
AVPixelFormat EncoderPixelFormat(const AVCodec *codec, AVPixelFormat wanted) {
  if (!codec || !codec->pix_fmts)
    return wanted;
  for (const AVPixelFormat *p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
    if (*p == wanted)
      return wanted;
  return codec->pix_fmts[0];
}

} // namespace

AVRational SampleAspect(float aspect, int width, int height) {
  const double value =
      int64_t{width} * height != 0 ? double{aspect} * height / width : double{aspect} * 3.0 / 4.0;
  return AVUtil.av_d2q(value, 255);
}

void SetVideoHeaderFlags(AVCodecContext &c, const AVOutputFormat &format, const TTaskSettings &S) {
  if (S.VideoCodecTag)
    c.codec_tag = S.VideoCodecTag;
  if ((S.VideoGlobalHeader & 1) || (S.VideoGlobalHeader == 0 && (format.flags & AVFMT_GLOBALHEADER)))
    c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (S.VideoGlobalHeader & 2)
    c.flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
}

void SetVideoPicture(AVCodecContext &c, const AVCodec *codec, const TTaskSettings &S) {
  c.time_base = VideoTimeBase(codec, S, c.strict_std_compliance);
  c.width = S.FrameWidth + S.FramePadLeft + S.FramePadRight;
  c.height = S.FrameHeight + S.FramePadTop + S.FramePadBottom;
  c.sample_aspect_ratio = SampleAspect(S.FrameAspectRatio, c.width, c.height);
  c.pix_fmt = EncoderPixelFormat(codec, static_cast<AVPixelFormat>(S.FramePixFmt));
}

void SetVideoRateControl(AVCodecContext &c, const TTaskSettings &S) {
  if (S.IntraOnly)
    c.gop_size = 0;
  if (S.VideoQScale != 0.0f || S.SameQuality) {
    c.flags |= AV_CODEC_FLAG_QSCALE;
    c.global_quality = static_cast<int>(FF_QP2LAMBDA * S.VideoQScale);
  }
  if (!S.IntraMatrix.empty())
    c.intra_matrix = static_cast<uint16_t *>(CopyToLibrary(S.IntraMatrix));
  if (!S.InterMatrix.empty())
    c.inter_matrix = static_cast<uint16_t *>(CopyToLibrary(S.InterMatrix));
  if (!S.VideoRcOverride.empty()) {
    const std::vector<RcOverride> overrides = ParseRcOverride(S.VideoRcOverride);
    c.rc_override = static_cast<RcOverride *>(CopyToLibrary(overrides));
    c.rc_override_count = static_cast<int>(overrides.size());
  }
  if (c.rc_initial_buffer_occupancy == 0)
    c.rc_initial_buffer_occupancy = c.rc_buffer_size * 3 / 4;
  c.intra_dc_precision = S.IntraDcPrecision - 8;
  if (S.DoPsnr)
    c.flags |= AV_CODEC_FLAG_PSNR;
  if (S.DoPass == 1)
    c.flags |= AV_CODEC_FLAG_PASS1;
  else if (S.DoPass == 2)
    c.flags |= AV_CODEC_FLAG_PASS2;
}
