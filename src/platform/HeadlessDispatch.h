#pragma once
#include "platform/MainThread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace platform {

// A queue pumped by whichever thread created it (the main thread of a tool or a test).
class THeadlessDispatch : public TMainThreadDispatch {
public:
  THeadlessDispatch();
  void Synchronize(const std::function<void()> &fn) override;
  void Post(std::function<void()> fn) override;
  void PostDelayed(int milliseconds, std::function<void()> fn) override;
  void ProcessPending() override;
  bool IsMainThread() const override;

  // Pumps until pred() holds or the timeout passes; waits on the queue between checks.
  bool ProcessUntil(const std::function<bool()> &pred, std::chrono::milliseconds timeout);

private:
  using Clock = std::chrono::steady_clock;
  struct Item {
    Clock::time_point Due;
    std::function<void()> Fn;
  };
  std::thread::id FMainId;
  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<Item> FQueue; // guarded by FLock
};

} // namespace platform
