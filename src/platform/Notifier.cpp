#include "platform/Notifier.h"

#include "platform/ServiceSlot.h"

namespace platform {
namespace {
TServiceSlot<TNotifier, TNoNotifier> &Slot() {
  static TServiceSlot<TNotifier, TNoNotifier> slot;
  return slot;
}
} // namespace

bool TRecordingNotifier::Notify(const std::string &title, const std::string &text) {
  Shown.emplace_back(title, text);
  return true;
}

TNotifier &Notifier() {
  return Slot().Get();
}
void SetNotifier(std::unique_ptr<TNotifier> notifier) {
  Slot().Set(std::move(notifier));
}

} // namespace platform
