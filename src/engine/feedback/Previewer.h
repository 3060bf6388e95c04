#pragma once
// The engine's own preview window. The window itself comes from the program's window layer
// through a factory; without one, the window preview turns itself off. Show runs on the task's
// thread and paints on the main thread while it waits.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/Bitmap.h"

// A small always-on-top tool window at the bitmap's size, dragged by its picture. Main thread only.
class TPreviewWindow {
public:
  virtual ~TPreviewWindow() = default;
  // Shows the window on the first call; draws the bitmap at (0, 0) under the caption.
  virtual void Paint(const TBitmap &bitmap, const std::string &caption) = 0;
  // Whether the user has closed the window.
  virtual bool Closed() const = 0;
};

using TPreviewWindowFactory = std::function<std::unique_ptr<TPreviewWindow>()>;

// Installed by the program at start (main thread); an empty factory turns window previews off.
void SetPreviewWindowFactory(TPreviewWindowFactory factory);

class TPreviewer {
public:
  // Runs a call on the main thread while the caller waits; false when it was cancelled instead.
  using TCallOnMainThread = std::function<bool(const std::function<void()> &)>;

  explicit TPreviewer(TCallOnMainThread callOnMainThread) : FCallOnMainThread(std::move(callOnMainThread)) {}
  ~TPreviewer(); // the window goes on the main thread, without waiting for it
  TPreviewer(const TPreviewer &) = delete;
  TPreviewer &operator=(const TPreviewer &) = delete;

  // Paints the bitmap with its time in the caption; false once the user has closed the window
  // (or when there is no window to be had).
  bool Show(TBitmap &bitmap, int64_t pts);

private:
  void Paint();

  TCallOnMainThread FCallOnMainThread;
  std::unique_ptr<TPreviewWindow> FWindow; // main thread only
  bool FClosed = false;                    // written on the main thread while the worker waits
  TBitmap *FBitmap = nullptr;
  int64_t FPts = 0;
};

// "N/A" for no time, else "hh:mm:ss.mmm" of microseconds.
std::string PreviewCaption(int64_t pts);
