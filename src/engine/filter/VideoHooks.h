#pragma once
// The first stage of every decoded picture: deinterlacing and the frame hooks (the application's
// custom hook on a bitmap, or the frame-hook modules gated by the before-hook decision or by time
// ranges). Task's thread only.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "engine/EngineTypes.h"
#include "engine/FFmpeg.h"
#include "engine/PictureConverter.h"
#include "engine/filter/Deinterlacer.h"
#include "engine/filter/FrameHook.h"

class TVideoHooks {
public:
  using TLogger = std::function<void(int level, const std::string &text)>;
  // The handler draws into the bitmap; update false leaves the picture alone, stopHook ends the hook.
  using TCustomHook = std::function<void(TBitmap &bitmap, int frameNumber, int64_t pts, bool &update, bool &stopHook)>;
  using TBeforeHook = std::function<void(int64_t pts, THookAction &action)>;

  bool HooksEnabled = false; // modules were added; cleared for good by haStop
  THookAction HookAction = haContinue;
  int HookFrameNumber = 0;
  std::vector<THookRange> Ranges; // sorted by end
  size_t CurrentRange = 0;
  bool Deinterlace = false;
  TFrameHookChain Chain;
  TCustomHook CustomHook; // cleared when the hook stops
  TBeforeHook BeforeHook;
  TLogger Log;

  // picture is replaced by a private copy when it is deinterlaced or hooked; pts in microseconds.
  void PreProcessVideo(AVFrame &picture, int64_t pts);

private:
  void Decide(int64_t pts);
  void RunCustomHook(AVFrame &picture, int64_t pts);
  void Write(int level, const std::string &text) const;

  TPictureConverter FConverter;
  TDeinterlacer FDeinterlacer;
};
