#pragma once
// Runs the event loop of one playback: reports psPlay, runs the loop until the playback ends, then
// reports psStop.
#include <atomic>
#include <functional>
#include <thread>

class TCustomPlayer;

// Waits until done() holds. On the main thread it goes on serving the calls other threads hand to
// the main thread meanwhile, since the thread waited for may be waiting for one of them.
void WaitServingMainThread(const std::function<bool()> &done);

class TPlayThread {
public:
  explicit TPlayThread(TCustomPlayer &player); // starts running
  ~TPlayThread();
  TPlayThread(const TPlayThread &) = delete;
  TPlayThread &operator=(const TPlayThread &) = delete;

  // Returns once the thread has ended; a pending position or log event cannot block the wait.
  void WaitFor();

private:
  void Execute();

  TCustomPlayer &FPlayer;
  std::atomic<bool> FFinished{false};
  std::thread FThread;
};
