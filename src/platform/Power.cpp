#include "platform/Power.h"

#include "platform/Shell.h"

#include <mutex>

namespace platform {
namespace {
std::mutex PowerLock;
std::unique_ptr<TPower> &Current() {
  static std::unique_ptr<TPower> current;
  return current;
}
} // namespace

bool TLogindPower::PowerOff() { return SpawnDetached({"systemctl", "poweroff"}); }

bool TRecordingPower::PowerOff() {
  ++Requests;
  return true;
}

TPower &Power() {
  std::lock_guard guard(PowerLock);
  auto &current = Current();
  if (!current)
    current = std::make_unique<TLogindPower>();
  return *current;
}

void SetPower(std::unique_ptr<TPower> power) {
  std::lock_guard guard(PowerLock);
  Current() = std::move(power);
}

} // namespace platform
