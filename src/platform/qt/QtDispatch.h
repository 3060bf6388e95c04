#pragma once
#include "platform/MainThread.h"

namespace platform {

// Main-thread dispatch on the Qt event loop of the application object.
class TQtDispatch : public TMainThreadDispatch {
public:
  void Synchronize(const std::function<void()> &fn) override;
  void Post(std::function<void()> fn) override;
  void PostDelayed(int milliseconds, std::function<void()> fn) override;
  void ProcessPending() override;
  bool IsMainThread() const override;
};

} // namespace platform
