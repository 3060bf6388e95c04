#include "platform/Power.h"

#include "platform/ServiceSlot.h"

namespace platform {
namespace {
TServiceSlot<TPower, TNoPower> &Slot() {
  static TServiceSlot<TPower, TNoPower> slot;
  return slot;
}
} // namespace

bool TNoPower::PowerOff(std::string &reason) {
  reason = "no session service to ask";
  return false;
}

bool TRecordingPower::InhibitSleep(const std::string &who, const std::string &why) {
  Inhibits.emplace_back(who, why);
  Inhibited = true;
  return true;
}

void TRecordingPower::ReleaseSleep() {
  if (Inhibited)
    ++Releases;
  Inhibited = false;
}

bool TRecordingPower::PowerOff(std::string &reason) {
  ++Requests;
  reason = Refusal;
  return Refusal.empty();
}

TPower &Power() {
  return Slot().Get();
}
void SetPower(std::unique_ptr<TPower> power) {
  Slot().Set(std::move(power));
}

} // namespace platform
