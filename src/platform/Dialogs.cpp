#include "platform/Dialogs.h"

#include "platform/ScriptedDialogs.h"

#include <mutex>

namespace platform {
namespace {
std::mutex DialogsLock;
std::unique_ptr<TDialogs> &Current() {
  static std::unique_ptr<TDialogs> current;
  return current;
}
} // namespace

bool TDialogs::Countdown(const std::function<std::string(int)> &, int) { return false; }

TDialogs &Dialogs() {
  std::lock_guard guard(DialogsLock);
  auto &current = Current();
  // Without a window system nobody can answer: refuse and cancel rather than block.
  if (!current)
    current = std::make_unique<TScriptedDialogs>();
  return *current;
}

void SetDialogs(std::unique_ptr<TDialogs> dialogs) {
  std::lock_guard guard(DialogsLock);
  Current() = std::move(dialogs);
}

TMsgResult ShowMessage(const std::string &text, TMsgIcon icon, TMsgButtons buttons) {
  return Dialogs().MessageBox(text, ApplicationTitle, icon, buttons);
}

} // namespace platform
