#include "platform/HeadlessDispatch.h"

#include <future>

namespace platform {

THeadlessDispatch::THeadlessDispatch() : FMainId(std::this_thread::get_id()) {}

bool THeadlessDispatch::IsMainThread() const { return std::this_thread::get_id() == FMainId; }

void THeadlessDispatch::Synchronize(const std::function<void()> &fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  std::promise<void> done;
  auto finished = done.get_future();
  Post([&] {
    try {
      fn();
      done.set_value();
    } catch (...) {
      done.set_exception(std::current_exception());
    }
  });
  finished.get();
}

void THeadlessDispatch::Post(std::function<void()> fn) { PostDelayed(0, std::move(fn)); }

void THeadlessDispatch::PostDelayed(int milliseconds, std::function<void()> fn) {
  {
    std::lock_guard guard(FLock);
    FQueue.push_back({Clock::now() + std::chrono::milliseconds(milliseconds), std::move(fn)});
  }
  FWake.notify_all();
}

void THeadlessDispatch::ProcessPending() {
  for (;;) {
    std::function<void()> fn;
    {
      std::lock_guard guard(FLock);
      const auto now = Clock::now();
      for (auto it = FQueue.begin(); it != FQueue.end(); ++it)
        if (it->Due <= now) {
          fn = std::move(it->Fn);
          FQueue.erase(it);
          break;
        }
    }
    if (!fn)
      return;
    fn();
  }
}

bool THeadlessDispatch::ProcessUntil(const std::function<bool()> &pred, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    ProcessPending();
    if (pred())
      return true;
    std::unique_lock guard(FLock);
    if (Clock::now() >= deadline)
      return false;
    auto wakeAt = std::min(deadline, Clock::now() + std::chrono::milliseconds(10));
    for (const auto &item : FQueue)
      wakeAt = std::min(wakeAt, item.Due);
    FWake.wait_until(guard, wakeAt);
  }
}

} // namespace platform
