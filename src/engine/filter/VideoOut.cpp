#include "engine/filter/VideoOut.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/FFmpegException.h"
#include "engine/encode/EncodeLoop.h"
#include "media/AVCodecStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/SwScaleStubs.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

std::string Format(const char *format, auto... args) {
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

// Whether the format keeps Y, U and V in planes of their own (the pad colour applies per plane).
bool PlanarYuv(const AVPixFmtDescriptor *desc) {
  return desc && (desc->flags & AV_PIX_FMT_FLAG_PLANAR) && !(desc->flags & AV_PIX_FMT_FLAG_RGB) &&
         desc->nb_components >= 3 && desc->comp[0].depth == 8;
}

// Bytes one pixel takes in the given plane (at least 1).
int PixelStep(const AVPixFmtDescriptor *desc, int plane) {
  int step = 0;
  for (int c = 0; c < desc->nb_components; ++c)
    if (desc->comp[c].plane == plane)
      step = std::max(step, desc->comp[c].step);
  return std::max(step, 1);
}

void FillRect(AVFrame &picture, const AVPixFmtDescriptor *desc, int x, int y, int w, int h,
              const std::array<int, 3> &color) {
  if (w <= 0 || h <= 0)
    return;
  if (PlanarYuv(desc)) {
    for (int p = 0; p < 3; ++p) {
      const int hs = p ? desc->log2_chroma_w : 0, vs = p ? desc->log2_chroma_h : 0;
      const int x0 = x >> hs, y0 = y >> vs;
      const int x1 = -((-(x + w)) >> hs), y1 = -((-(y + h)) >> vs);
      for (int row = y0; row < y1; ++row)
        std::memset(picture.data[p] + static_cast<ptrdiff_t>(row) * picture.linesize[p] + x0,
                    std::clamp(color[static_cast<size_t>(p)], 0, 255), x1 - x0);
    }
    return;
  }
  AVFrame view{};
  if (!PictureCrop(view, picture, y, x))
    return;
  ptrdiff_t linesizes[4];
  for (int p = 0; p < 4; ++p)
    linesizes[p] = view.linesize[p];
  AVUtil.av_image_fill_black(view.data, linesizes, static_cast<AVPixelFormat>(picture.format),
                             AVCOL_RANGE_MPEG, w, h);
}

} // namespace

bool PictureCrop(AVFrame &view, const AVFrame &picture, int top, int left) {
  const AVPixFmtDescriptor *desc = AVUtil.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format));
  if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_PAL)) ||
      top < 0 || left < 0)
    return false;
  const bool chromaPlanes = (desc->flags & AV_PIX_FMT_FLAG_PLANAR) && !(desc->flags & AV_PIX_FMT_FLAG_RGB);
  for (int p = 0; p < 4; ++p) {
    view.data[p] = picture.data[p];
    view.linesize[p] = picture.linesize[p];
    if (!picture.data[p])
      continue;
    const bool chroma = chromaPlanes && (p == 1 || p == 2);
    const int y = chroma ? top >> desc->log2_chroma_h : top;
    const int x = chroma ? left >> desc->log2_chroma_w : left;
    view.data[p] +=
        static_cast<ptrdiff_t>(y) * picture.linesize[p] + static_cast<ptrdiff_t>(x) * PixelStep(desc, p);
  }
  view.format = picture.format;
  view.width = picture.width - left;
  view.height = picture.height - top;
  return true;
}

void PicturePad(AVFrame &picture, const AVFrame *source, int top, int bottom, int left, int right,
                const std::array<int, 3> &color) {
  const AVPixFmtDescriptor *desc = AVUtil.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format));
  const int width = picture.width, height = picture.height;
  const int innerWidth = width - left - right, innerHeight = height - top - bottom;
  FillRect(picture, desc, 0, 0, width, top, color);
  FillRect(picture, desc, 0, height - bottom, width, bottom, color);
  FillRect(picture, desc, 0, top, left, innerHeight, color);
  FillRect(picture, desc, width - right, top, right, innerHeight, color);
  AVFrame inner{};
  if (source && innerWidth > 0 && innerHeight > 0 && PictureCrop(inner, picture, top, left))
    AVUtil.av_image_copy(inner.data, inner.linesize, const_cast<const uint8_t **>(source->data),
                         source->linesize, static_cast<AVPixelFormat>(picture.format),
                         std::min(innerWidth, source->width), std::min(innerHeight, source->height));
}

TVideoOut::TVideoOut(AVCodecContext *encoder, AVStream *stream, const TTaskSettings &settings,
                     bool variableFps, TLogger log, TWriter write, int64_t &videoBytes)
    : FEncoder(encoder), FStream(stream), S(settings), FVariableFps(variableFps), FLog(std::move(log)),
      FWrite(std::move(write)), FVideoBytes(videoBytes), FCropped(NewFrame()), FPadInner(NewFrame()),
      FEncodeFrame(NewFrame()), FPacket(NewPacket()) {}

void TVideoOut::Log(int level, const std::string &text) const {
  if (FLog)
    FLog(level, text);
}

void TVideoOut::Setup(int width, int height, AVPixelFormat format) {
  FSourceWidth = width;
  FSourceHeight = height;
  FSourceFormat = format;
  FFilters = !S.VFilters.empty();
  const int cropWidth = S.FrameLeftBand + S.FrameRightBand, cropHeight = S.FrameTopBand + S.FrameBottomBand;
  const int padWidth = S.FramePadLeft + S.FramePadRight, padHeight = S.FramePadTop + S.FramePadBottom;
  FCrop = S.FrameTopBand || S.FrameBottomBand || S.FrameLeftBand || S.FrameRightBand;
  FPad = S.FramePadTop || S.FramePadBottom || S.FramePadLeft || S.FramePadRight;
  FResample = width - cropWidth + padWidth != FEncoder->width ||
              height - cropHeight + padHeight != FEncoder->height || format != FEncoder->pix_fmt;
  FScaledPicture.reset();
  FScaler.reset();
  if (FPad || FResample) {
    FScaledPicture = NewFrame();
    FScaledPicture->format = FEncoder->pix_fmt;
    FScaledPicture->width = FEncoder->width;
    FScaledPicture->height = FEncoder->height;
    if (AVUtil.av_frame_get_buffer(FScaledPicture.get(), 0) < 0)
      throw FFmpegException(FResample ? "Cannot allocate temp picture, check pix fmt"
                                      : "avpicture_alloc fail");
  }
  FScaleSourceHeight = FFilters ? height : height - cropHeight;
  // Pictures that leave a filter graph at another size than the encoder's are scaled as well:
  // a picture is never handed on with sizes it does not have.
  if (FResample) {
    const int sourceWidth = width - cropWidth, sourceHeight = height - cropHeight;
    const int targetWidth = FEncoder->width - padWidth, targetHeight = FEncoder->height - padHeight;
    if (sourceWidth > 0 && sourceHeight > 0 && targetWidth > 0 && targetHeight > 0 &&
        SwScale.sws_isSupportedInput(format) && SwScale.sws_isSupportedOutput(FEncoder->pix_fmt))
      FScaler.reset(SwScale.sws_getContext(sourceWidth, sourceHeight, format, targetWidth, targetHeight,
                                           FEncoder->pix_fmt, S.SwsFlags, nullptr, nullptr, nullptr));
    if (!FScaler)
      throw FFmpegException("Cannot get resampling context");
  }
}

int TVideoOut::FramesToWrite(int64_t syncPts) {
  const double tb = av_q2d(FEncoder->time_base);
  const double syncTime = static_cast<double>(syncPts - S.StartTime) / 1000000.0;
  const int vsync = S.VideoSyncMethod;
  if (!(vsync > 0 || (vsync < 0 && tb > 0.001))) {
    SyncPosition = std::llrint(syncTime / tb);
    return 1;
  }
  double vdelta = syncTime / tb - static_cast<double>(FClockShift) - static_cast<double>(SyncPosition);
  // A gap beyond the discontinuity threshold is a broken clock, not missing pictures: it is
  // neither filled with copies nor answered by dropping, the clock is shifted instead.
  if (std::fabs(vdelta) * tb > S.DtsDeltaThreshold) {
    const int64_t shift = std::llrint(vdelta);
    FClockShift += shift;
    vdelta -= static_cast<double>(shift);
    if (S.Verbose >= 0)
      Log(1, Format("timestamp discontinuity %lld, new offset= %lld",
                    static_cast<long long>(
                        AVUtil.av_rescale_q(shift, FEncoder->time_base, AVRational{1, 1000000})),
                    static_cast<long long>(
                        AVUtil.av_rescale_q(-FClockShift, FEncoder->time_base, AVRational{1, 1000000}))));
  }
  int n = 1;
  if (vdelta < -1.1) {
    n = 0;
  } else if (vsync == 2 || (vsync < 0 && FVariableFps)) {
    if (vdelta <= -0.6)
      n = 0;
    else if (vdelta > 0.6)
      SyncPosition = std::llrint(syncTime / tb) - FClockShift;
  } else if (vdelta > 1.1) {
    n = static_cast<int>(std::llrint(vdelta));
  }
  if (n == 0) {
    DropFrames += 1;
    if (S.Verbose > 2)
      Log(1, "*** drop!");
  } else if (n > 1) {
    DupFrames += n - 1;
    if (S.Verbose > 2)
      Log(1, Format("*** %d dup!", n - 1));
  }
  return n;
}

bool TVideoOut::CropView(const AVFrame &picture, AVFrame &view, int top, int left, const char *failure) {
  if (PictureCrop(view, picture, top, left))
    return true;
  if (S.ExitOnError)
    throw FFmpegException(failure);
  Log(0, failure);
  return false;
}

int TVideoOut::Out(const AVFrame &picture, int64_t syncPts, int inputQuality) {
  if (FDrained || picture.width <= 0 || picture.height <= 0)
    return 0;
  if (picture.width != FSourceWidth || picture.height != FSourceHeight || picture.format != FSourceFormat)
    Setup(picture.width, picture.height, static_cast<AVPixelFormat>(picture.format));
  int n = FramesToWrite(syncPts);
  n = static_cast<int>(std::min<int64_t>(n, int64_t{S.MaxVideoFrames} - FrameCount));
  if (n <= 0)
    return 0;
  const AVFrame *final = EncoderPicture(picture);
  if (!final)
    return 0;
  int frameSize = 0;
  for (int i = 0; i < n; ++i) {
    if (StopRequested && StopRequested())
      break;
    const int size = EncodeCopy(picture, *final, inputQuality);
    if (size > 0)
      frameSize = size;
  }
  return frameSize;
}

const AVFrame *TVideoOut::EncoderPicture(const AVFrame &picture) {
  const AVFrame *formatted = &picture;
  if (!FFilters && FCrop) {
    AVUtil.av_frame_unref(FCropped.get());
    if (!CropView(picture, *FCropped, S.FrameTopBand, S.FrameLeftBand, "error cropping picture"))
      return nullptr;
    formatted = FCropped.get();
  }
  if (!FPad && !FResample)
    return formatted;
  // The encoder may still hold the last picture: write into a buffer of our own.
  if (AVUtil.av_frame_make_writable(FScaledPicture.get()) < 0)
    throw FFmpegException("Cannot allocate temp picture, check pix fmt");
  AVFrame *scaleTarget = FScaledPicture.get();
  if (FPad && FResample) {
    AVUtil.av_frame_unref(FPadInner.get());
    if (!CropView(*FScaledPicture, *FPadInner, S.FramePadTop, S.FramePadLeft, "error padding picture"))
      return nullptr;
    scaleTarget = FPadInner.get();
  }
  if (FResample)
    SwScale.sws_scale(FScaler.get(), formatted->data, formatted->linesize, 0, FScaleSourceHeight,
                      scaleTarget->data, scaleTarget->linesize);
  if (FPad)
    PicturePad(*FScaledPicture, FResample ? nullptr : formatted, S.FramePadTop, S.FramePadBottom,
               S.FramePadLeft, S.FramePadRight, S.PadColor);
  return FScaledPicture.get();
}

int TVideoOut::EncodeCopy(const AVFrame &picture, const AVFrame &final, int inputQuality) {
  AVFrame *frame = FEncodeFrame.get();
  AVUtil.av_frame_unref(frame);
  // A picture in a buffer of the library's is passed by reference, a view into it too.
  const AVFrame *owner = &final == FScaledPicture.get() ? &final : &picture;
  if (owner->buf[0] && AVUtil.av_frame_ref(frame, owner) < 0)
    throw FFmpegException("Video encoding failed");
  for (int p = 0; p < 4; ++p) {
    frame->data[p] = final.data[p];
    frame->linesize[p] = final.linesize[p];
  }
  frame->format = FEncoder->pix_fmt;
  frame->width = FEncoder->width;
  frame->height = FEncoder->height;
  frame->interlaced_frame = picture.interlaced_frame;
  if (FEncoder->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME))
    frame->top_field_first = S.TopFieldFirst != -1 ? S.TopFieldFirst : picture.top_field_first;
  frame->quality = S.SameQuality ? inputQuality : 0;
  frame->pict_type = S.MeThreshold ? picture.pict_type : AV_PICTURE_TYPE_NONE;
  frame->pts = SyncPosition;
  const int size = Encode(frame);
  if (Preview)
    Preview(*frame, AVUtil.av_rescale_q(SyncPosition, FEncoder->time_base, AVRational{1, 1000000}));
  AVUtil.av_frame_unref(frame);
  SyncPosition += 1;
  FrameCount += 1;
  return size;
}

int TVideoOut::Encode(AVFrame *frame) {
  int size = 0;
  EncodeFrame(FEncoder, frame, *FPacket, "Video encoding failed", [this, &size](AVPacket &packet) {
    size = packet.size;
    Deliver(packet);
  });
  return size;
}

void TVideoOut::Deliver(AVPacket &pkt) {
  AVPacket *packet = &pkt;
  size_t statsSize = 0;
  if (const uint8_t *stats =
          AVCodecLib.av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &statsSize);
      stats && statsSize >= 6) {
    LastQuality =
        static_cast<int>(stats[0] | stats[1] << 8 | stats[2] << 16 | static_cast<uint32_t>(stats[3]) << 24);
    LastPictureType = stats[4];
    const int errors = std::min<int>(stats[5], 3);
    for (int e = 0; e < errors && statsSize >= 8 + 8 * static_cast<size_t>(e + 1); ++e)
      std::memcpy(&LastError[e], stats + 8 + 8 * e, 8);
  }
  // Encoders that hold pictures back leave the duration out; without it, muxers that keep an
  // edit list end the track before the last picture.
  if (packet->duration <= 0)
    packet->duration = 1;
  FVideoBytes += packet->size;
  if (TwoPassLog)
    TwoPassLog->AfterPacket(*FEncoder);
  packet->stream_index = FStream->index;
  AVCodecLib.av_packet_rescale_ts(packet, FEncoder->time_base, FStream->time_base);
  packet->time_base = FStream->time_base;
  FWrite(*packet);
}

void TVideoOut::Flush() {
  if (FDrained)
    return;
  FDrained = true;
  Encode(nullptr);
  if (TwoPassLog)
    TwoPassLog->AfterDrain(*FEncoder);
}
