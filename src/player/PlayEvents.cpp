#include "player/PlayEvents.h"

#include <algorithm>

void TPlayEvents::Push(TPlayEvent event, int delayMilliseconds) {
  const Clock::time_point due = Clock::now() + std::chrono::milliseconds(std::max(delayMilliseconds, 0));
  {
    std::lock_guard guard(FLock);
    const auto later = std::upper_bound(FItems.begin(), FItems.end(), due,
                                        [](Clock::time_point at, const TItem &item) { return at < item.Due; });
    FItems.insert(later, TItem{due, event});
  }
  FChanged.notify_all();
}

TPlayEvent TPlayEvents::Wait() {
  std::unique_lock guard(FLock);
  for (;;) {
    if (FItems.empty()) {
      FChanged.wait(guard);
      continue;
    }
    if (FItems.front().Due <= Clock::now()) {
      const TPlayEvent event = FItems.front().Event;
      FItems.pop_front();
      return event;
    }
    FChanged.wait_until(guard, FItems.front().Due);
  }
}

void TPlayEvents::Clear() {
  std::lock_guard guard(FLock);
  FItems.clear();
}
