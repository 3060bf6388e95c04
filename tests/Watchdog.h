#pragma once
// Runs an action when the bound passes before the watchdog is destroyed: tests end what would
// otherwise hang them (a blocked open, a runaway program) and then fail on their own checks.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class TWatchdog {
public:
  TWatchdog(std::chrono::seconds bound, std::function<void()> onTimeout)
      : FThread([this, bound, action = std::move(onTimeout)] {
          std::unique_lock guard(FLock);
          if (!FDone.wait_for(guard, bound, [this] { return FFinished; }))
            action();
        }) {}
  ~TWatchdog() {
    {
      std::lock_guard guard(FLock);
      FFinished = true;
    }
    FDone.notify_all();
    FThread.join();
  }
  TWatchdog(const TWatchdog &) = delete;
  TWatchdog &operator=(const TWatchdog &) = delete;

private:
  std::mutex FLock;
  std::condition_variable FDone;
  bool FFinished = false; // guarded by FLock
  std::thread FThread;    // declared last: started once the fields above exist
};
