#include <chrono>

#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/SwScaleStubs.h"
#include "player/FFPlay.h"
#include "player/LibSDL.h"
#include "player/PlayCore.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace {

// HD pictures are BT.709; a stream that does not say is taken by its height, as HD is above 576 lines.
bool IsBt709(const AVFrame *frame) {
  switch (frame->colorspace) {
  case AVCOL_SPC_BT709:
    return true;
  case AVCOL_SPC_UNSPECIFIED:
  case AVCOL_SPC_RESERVED:
    return frame->height > 576;
  default:
    return false;
  }
}

bool PictureAborted(PlayContext *context) { return context->VideoQueue.Aborted(); }

} // namespace

void VideoDecodeThread(PlayContext *context) {
  AVCodecContext *decoder = context->VideoCodec;
  AVFrame *frame = AVUtil.av_frame_alloc();
  if (!frame)
    return;
  const double timeBase = av_q2d(context->VideoStream->time_base);
  bool drained = false;
  bool running = true;
  // The seek whose flush marker came last: a picture for a seek while paused comes after its marker.
  int markerRound = -1;
  while (running) {
    while (context->Paused && context->ShowRound < 0 && !context->VideoQueue.Aborted())
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    AVPacket *packet = nullptr;
    if (context->VideoQueue.Get(packet, true) < 0)
      break;
    if (context->VideoQueue.IsFlushMarker(packet)) {
      AVCodecLib.avcodec_flush_buffers(decoder);
      drained = false;
      markerRound = context->SeekRound;
      continue;
    }
    const bool drain = !packet->data && packet->size == 0;
    if (drained && !drain) {
      // A drained decoder takes no packets until it is flushed.
      AVCodecLib.avcodec_flush_buffers(decoder);
      drained = false;
    }
    if (!drained) {
      AVCodecLib.avcodec_send_packet(decoder, drain ? nullptr : packet);
      drained = drain;
      while (AVCodecLib.avcodec_receive_frame(decoder, frame) == 0) {
        const int64_t stamp = frame->best_effort_timestamp;
        const double pts = stamp == AV_NOPTS_VALUE ? 0 : static_cast<double>(stamp) * timeBase;
        const int output = OutputPicture(context, frame, pts);
        AVUtil.av_frame_unref(frame);
        if (output < 0) {
          running = false;
          break;
        }
        int shown = markerRound;
        context->ShowRound.compare_exchange_strong(shown, -1);
      }
    }
    AVCodecLib.av_packet_free(&packet);
  }
  AVUtil.av_frame_free(&frame);
  SwScale.sws_freeContext(context->Scaler);
  context->Scaler = nullptr;
  SDLLib.SDL_TLSCleanup();
}

int OutputPicture(PlayContext *context, const AVFrame *frame, double pts) {
  if (pts != 0)
    context->VideoClockValue = pts;
  else
    pts = context->VideoClockValue;
  // One frame time, and half a frame more per repeat.
  AVRational frameTime = context->VideoCodec->time_base;
  if (frameTime.num <= 0 || frameTime.den <= 0) {
    const AVRational rate = context->VideoStream->avg_frame_rate;
    frameTime = rate.num > 0 && rate.den > 0 ? AVRational{rate.den, rate.num} : AVRational{1, 25};
  }
  const double delay = av_q2d(frameTime) * (1 + 0.5 * frame->repeat_pict);
  context->VideoClockValue = context->VideoClockValue + delay;
  return QueuePicture(context, frame, pts);
}

int QueuePicture(PlayContext *context, const AVFrame *frame, double pts) {
  TQueuedPicture &picture = context->Picture;
  {
    std::unique_lock guard(context->PictureMutex);
    context->PictureCondition.wait(guard, [&] { return context->PictureCount < 1 || PictureAborted(context); });
    if (PictureAborted(context))
      return -1;
    if (!picture.HasOverlay() || picture.Width != frame->width || picture.Height != frame->height) {
      // Made on the play thread, which owns everything drawn.
      picture.Allocated = false;
      picture.WantedWidth = frame->width;
      picture.WantedHeight = frame->height;
      context->Owner->Events().Push(TPlayEvent{TPlayEventType::AllocPicture});
      context->PictureCondition.wait(guard, [&] { return picture.Allocated || PictureAborted(context); });
      if (PictureAborted(context))
        return -1;
    }
  }
  bool converted = true;
  {
    std::lock_guard overlay(picture.OverlayLock);
    if (!picture.HasOverlay())
      return -1;
    if (!context->Owner->ApplyHook(frame, picture.Data, picture.Linesize, pts, frame->width, frame->height,
                                   frame->format)) {
      context->Scaler = SwScale.sws_getCachedContext(
          context->Scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
          frame->height, AV_PIX_FMT_YUV420P, context->Owner->ScalingFlags(), nullptr, nullptr, nullptr);
      converted = context->Scaler != nullptr;
      if (converted)
        SwScale.sws_scale(context->Scaler, frame->data, frame->linesize, 0, frame->height, picture.Data,
                          picture.Linesize);
    }
    picture.Pts = pts;
    picture.Bt709 = IsBt709(frame);
  }
  // Logged outside the overlay lock: the message goes to the main thread, which may be reading it.
  if (!converted) {
    context->Owner->Log(ltError, "Cannot initialize the conversion context.");
    return -1;
  }
  std::lock_guard guard(context->PictureMutex);
  ++context->PictureCount;
  return 0;
}
