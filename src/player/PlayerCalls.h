#pragma once
// Calls the player's threads hand to the main thread. They wait in a queue of the player's own, so
// a main-thread wait for the player (Stop, Open) serves them and nothing else: no user input is
// delivered inside such a wait.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class TPlayerCalls {
public:
  TPlayerCalls();
  // Runs fn on the main thread and returns once it has run; on the main thread it runs at once.
  void Run(const std::function<void()> &fn);
  // On the main thread: runs the calls queued so far.
  void Serve();

private:
  struct TState {
    std::mutex Lock;
    std::condition_variable Served;
    std::deque<std::function<void()>> Queue; // guarded by Lock
    uint64_t Queued = 0;                     // guarded by Lock
    uint64_t Done = 0;                       // guarded by Lock
  };
  static void Serve(TState &state);
  // Shared with the serving calls posted to the main thread, which may run after the player is gone.
  std::shared_ptr<TState> FState;
};
