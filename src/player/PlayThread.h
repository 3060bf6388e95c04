#pragma once
// Runs the event loop of one playback: reports psPlay, runs the loop until the playback ends, then
// reports psStop.
#include <atomic>
#include <thread>

class TCustomPlayer;

class TPlayThread {
public:
  explicit TPlayThread(TCustomPlayer &player); // starts running
  ~TPlayThread();
  TPlayThread(const TPlayThread &) = delete;
  TPlayThread &operator=(const TPlayThread &) = delete;

  // Returns once the thread has ended; on the main thread it goes on serving the calls the play
  // thread hands to the main thread, so a pending position or log event cannot block the wait.
  void WaitFor();

private:
  void Execute();

  TCustomPlayer &FPlayer;
  std::atomic<bool> FFinished{false};
  std::thread FThread;
};
