#include "engine/filter/VideoHooks.h"

#include <exception>

#include "media/AVUtilStubs.h"

void TVideoHooks::Write(int level, const std::string &text) const {
  if (Log)
    Log(level, text);
}

void TVideoHooks::Decide(int64_t pts) {
  if (BeforeHook) {
    try {
      BeforeHook(pts, HookAction); // the handler sees the last decision
    } catch (const std::exception &e) {
      Write(0, std::string("Error occurs OnBeforeHook: ") + e.what());
      HookAction = haStop;
    }
    if (HookAction == haStop)
      HooksEnabled = false;
  } else if (!Ranges.empty()) {
    HookAction = haIgnore;
    for (size_t i = CurrentRange; i < Ranges.size(); ++i) {
      if (Ranges[i].Start <= pts && pts <= Ranges[i].End) {
        CurrentRange = i;
        HookAction = haContinue;
        break;
      }
      if (i + 1 == Ranges.size() && Ranges[i].End < pts) {
        HookAction = haStop;
        HooksEnabled = false;
      }
    }
  }
}

void TVideoHooks::PreProcessVideo(AVFrame &picture, int64_t pts) {
  HookFrameNumber += 1;
  if (!CustomHook && HooksEnabled)
    Decide(pts);
  const bool modules = HooksEnabled && HookAction == haContinue;
  if (!Deinterlace && !CustomHook && !modules)
    return;
  // Hooks write into the pixels: the decoder's buffers must not change under it.
  if (AVUtil.av_frame_make_writable(&picture) < 0) {
    Write(0, "hook buf malloc error.");
    return;
  }
  if (Deinterlace && !FDeinterlacer.Deinterlace(picture))
    Write(0, "Deinterlacing failed.");
  if (CustomHook)
    RunCustomHook(picture, pts);
  else if (modules)
    Chain.Process(picture, pts);
}

void TVideoHooks::RunCustomHook(AVFrame &picture, int64_t pts) {
  const auto format = static_cast<AVPixelFormat>(picture.format);
  bool stop = false;
  if (!PictureToBitmap(FConverter, picture.data, picture.linesize, format, picture.width, picture.height)) {
    Write(0, "Cannot initialize the toRGB conversion context");
    stop = true;
  } else {
    bool update = true;
    TBitmap &bitmap = *FConverter.Bitmap();
    {
      std::lock_guard canvas(bitmap.Canvas());
      try {
        CustomHook(bitmap, HookFrameNumber, pts, update, stop);
      } catch (const std::exception &e) {
        Write(0, std::string("Error occurs OnCustomHook: ") + e.what());
        update = false;
      }
    }
    if (update && !BitmapToPicture(FConverter, picture.data, picture.linesize, format, picture.width, picture.height)) {
      Write(0, "Cannot initialize the fromRGB conversion context");
      stop = true;
    }
  }
  if (stop) {
    CustomHook = nullptr;
    HookAction = haStop;
    HooksEnabled = false;
  }
}
