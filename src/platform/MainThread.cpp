#include "platform/MainThread.h"

#include "platform/HeadlessDispatch.h"

#include <mutex>

namespace platform {
namespace {
std::mutex DispatchLock;
std::unique_ptr<TMainThreadDispatch> &Current() {
  static std::unique_ptr<TMainThreadDispatch> current; // guarded by DispatchLock while replaced
  return current;
}
} // namespace

TMainThreadDispatch &MainThread() {
  std::lock_guard guard(DispatchLock);
  auto &current = Current();
  if (!current)
    current = std::make_unique<THeadlessDispatch>();
  return *current;
}

void SetMainThread(std::unique_ptr<TMainThreadDispatch> dispatch) {
  std::lock_guard guard(DispatchLock);
  Current() = std::move(dispatch);
}

} // namespace platform
