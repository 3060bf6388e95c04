#pragma once
// Runs the event loop of one playback: reports psPlay, runs the loop until the playback ends, then
// reports psStop.
#include <atomic>
#include <functional>
#include <thread>

class TCustomPlayer;


class TPlayThread {
public:
  explicit TPlayThread(TCustomPlayer &player); // starts running
  ~TPlayThread();
  TPlayThread(const TPlayThread &) = delete;
  TPlayThread &operator=(const TPlayThread &) = delete;

  // Returns once the thread has ended. On the main thread it serves the calls the playback hands to
  // the main thread meanwhile (the thread waited for may wait for one), and nothing else.
  void WaitFor();

private:
  void Execute();

  TCustomPlayer &FPlayer;
  std::atomic<bool> FFinished{false};
  std::thread FThread;
};
