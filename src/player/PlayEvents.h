#pragma once
// The events of one player's play thread, in a queue of the player's own: two players in one process
// never take each other's events, and a refresh is due at its time without a timer thread.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

enum class TPlayEventType { AllocPicture, Refresh, Quit, Resize };

struct TPlayEvent {
  TPlayEventType Type = TPlayEventType::Refresh;
  int Width = 0; // Resize: the host's new drawing area
  int Height = 0;
};

class TPlayEvents {
public:
  // Due after delayMilliseconds; events due at the same time come in the order pushed.
  void Push(TPlayEvent event, int delayMilliseconds = 0);
  // The next due event; waits for it.
  TPlayEvent Wait();
  // Forgets what a previous playback left.
  void Clear();

private:
  using Clock = std::chrono::steady_clock;
  struct TItem {
    Clock::time_point Due;
    TPlayEvent Event;
  };
  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<TItem> FItems; // guarded by FLock, in the order of their due times
};
