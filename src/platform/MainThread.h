#pragma once
// Running code on the main thread: the program's windows and the engine's main-thread events meet here.
#include <functional>
#include <memory>

namespace platform {

class TMainThreadDispatch {
public:
  virtual ~TMainThreadDispatch() = default;
  // Runs fn on the main thread and waits for it; runs it directly when already there.
  virtual void Synchronize(const std::function<void()> &fn) = 0;
  virtual void Post(std::function<void()> fn) = 0;
  virtual void PostDelayed(int milliseconds, std::function<void()> fn) = 0;
  // Runs what is due now; the headless loop of tools and tests calls it.
  virtual void ProcessPending() = 0;
  virtual bool IsMainThread() const = 0;
};

// The process-wide dispatch; a headless one until the program installs its own.
TMainThreadDispatch &MainThread();
void SetMainThread(std::unique_ptr<TMainThreadDispatch> dispatch);

} // namespace platform
