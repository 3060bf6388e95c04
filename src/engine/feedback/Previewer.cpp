#include "engine/feedback/Previewer.h"

#include <cstdio>
#include <mutex>

extern "C" {
#include <libavutil/avutil.h>
}

#include "platform/MainThread.h"

namespace {

struct TFactorySlot {
  std::mutex Lock;
  TPreviewWindowFactory Factory; // guarded by Lock
};

TFactorySlot &FactorySlot() {
  static TFactorySlot slot;
  return slot;
}

std::unique_ptr<TPreviewWindow> NewWindow() {
  TFactorySlot &slot = FactorySlot();
  std::lock_guard guard(slot.Lock);
  return slot.Factory ? slot.Factory() : nullptr;
}

} // namespace

void SetPreviewWindowFactory(TPreviewWindowFactory factory) {
  TFactorySlot &slot = FactorySlot();
  std::lock_guard guard(slot.Lock);
  slot.Factory = std::move(factory);
}

std::string PreviewCaption(int64_t pts) {
  if (pts == AV_NOPTS_VALUE)
    return "N/A";
  const int64_t seconds = pts / 1000000;
  char text[64];
  std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d.%.3d", static_cast<int>(seconds / 60 / 60),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60),
                static_cast<int>(pts % 1000000 * 1000 / 1000000));
  return text;
}

TPreviewer::~TPreviewer() {
  if (!FWindow)
    return;
  // Posted, not waited for: the main thread may itself be waiting for this worker to end.
  std::shared_ptr<TPreviewWindow> window = std::move(FWindow);
  if (platform::MainThread().IsMainThread())
    window.reset();
  else
    platform::MainThread().Post([window]() mutable { window.reset(); });
}

bool TPreviewer::Show(TBitmap &bitmap, int64_t pts) {
  if (FClosed)
    return false;
  FBitmap = &bitmap;
  FPts = pts;
  // A cancelled paint means the task is stopping: the window stays as it is.
  FCallOnMainThread([this] { Paint(); });
  return !FClosed;
}

void TPreviewer::Paint() {
  if (FClosed)
    return;
  if (!FWindow)
    FWindow = NewWindow();
  if (!FWindow || FWindow->Closed()) {
    FClosed = true;
    return;
  }
  std::lock_guard canvas(FBitmap->Canvas());
  FWindow->Paint(*FBitmap, PreviewCaption(FPts));
}
