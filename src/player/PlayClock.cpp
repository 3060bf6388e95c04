#include <chrono>
#include <cmath>

#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "player/FFPlay.h"
#include "player/LibSDL.h"
#include "player/PlayCore.h"

namespace {

double Seconds(int64_t microseconds) { return static_cast<double>(microseconds) / 1e6; }

} // namespace

int64_t NowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double AudioClock(const PlayContext *context) {
  const double bytesPerSecond = 2.0 * context->AudioChannels * context->AudioRate;
  const double clock = context->AudioClockValue;
  if (bytesPerSecond == 0)
    return clock;
  return clock - (context->AudioBufferSize - context->AudioBufferIndex) / bytesPerSecond;
}

double VideoClock(const PlayContext *context) {
  if (context->Paused)
    return context->VideoCurrentPts;
  return context->VideoCurrentPts + Seconds(NowMicroseconds() - context->VideoCurrentPtsTime);
}

double ComputeFrameDelay(PlayContext *context, double pts) {
  double delay = pts - context->FrameLastPts;
  if (delay <= 0 || delay >= 2.0)
    delay = context->FrameLastDelay; // implausible: keep the last pace
  else
    context->FrameLastDelay = delay;
  context->FrameLastPts = pts;
  if (context->AudioStreamIndex >= 0) {
    // Audio is the master: a picture behind the sound is shown at once, one ahead waits a frame more.
    // Samples handed to the device are heard one device buffer later.
    const double heard = AudioClock(context) - context->AudioDeviceBufferBytes / (2.0 * context->AudioChannels *
                                                                                   context->AudioRate);
    const double diff = pts - heard;
    const double threshold = std::max(delay, 0.01);
    if (std::fabs(diff) < 10.0) {
      if (diff <= -threshold)
        delay = 0;
      else if (diff >= threshold)
        delay = 2 * delay;
    }
  }
  context->FrameTimer = context->FrameTimer + delay;
  return std::max(context->FrameTimer - Seconds(NowMicroseconds()), 0.010);
}

void TogglePause(PlayContext *context) {
  const int64_t now = NowMicroseconds();
  if (context->Paused) {
    // The pause is not playing time: the clocks go on from where they stood.
    const int64_t paused = now - context->PauseTime;
    context->VideoCurrentPtsTime = context->VideoCurrentPtsTime + paused;
    context->FrameTimer = context->FrameTimer + Seconds(paused);
  } else {
    context->PauseTime = now;
  }
  context->Paused = !context->Paused;
}

void RequestSeek(PlayContext *context, int64_t target, int direction) {
  if (context->SeekRequest)
    return;
  context->SeekTarget = target;
  context->SeekFlags = direction < 0 ? AVSEEK_FLAG_BACKWARD : 0;
  context->SeekRequest = true;
}

void ScheduleRefresh(PlayContext *context, int milliseconds) {
  context->Owner->Events().Push(TPlayEvent{TPlayEventType::Refresh}, std::max(milliseconds, 1));
}

void RefreshPicture(PlayContext *context) {
  if (context->VideoStreamIndex >= 0) {
    int count;
    {
      std::lock_guard guard(context->PictureMutex);
      count = context->PictureCount;
    }
    if (count == 0) {
      // Waiting for the decoder: soon; after the end nothing comes, and the end is looked at a frame apart.
      ScheduleRefresh(context, context->InputEnded ? static_cast<int>(context->FrameLastDelay * 1000) : 5);
    } else {
      double pts;
      {
        std::lock_guard overlay(context->Picture.OverlayLock);
        pts = context->Picture.Pts;
      }
      context->VideoCurrentPts = pts;
      context->VideoCurrentPtsTime = NowMicroseconds();
      ScheduleRefresh(context, static_cast<int>(std::nearbyint(ComputeFrameDelay(context, pts) * 1000 + 0.5)));
      DisplayVideo(context);
      context->PictureShown = true;
      std::lock_guard guard(context->PictureMutex);
      --context->PictureCount;
      context->PictureCondition.notify_all();
    }
  } else if (context->AudioStreamIndex >= 0) {
    ScheduleRefresh(context, 40);
    DisplayVideo(context);
  } else {
    ScheduleRefresh(context, 100);
    return;
  }
  context->Owner->UpdatePosition();
}
