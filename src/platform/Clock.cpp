#include "platform/Clock.h"

#include "platform/ServiceSlot.h"

#include <chrono>

namespace platform {
namespace {
TServiceSlot<TClock, TSteadyClock> &Slot() {
  static TServiceSlot<TClock, TSteadyClock> slot;
  return slot;
}
} // namespace

int64_t TSteadyClock::NowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

TClock &Clock() {
  return Slot().Get();
}
void SetClock(std::unique_ptr<TClock> clock) {
  Slot().Set(std::move(clock));
}

} // namespace platform
