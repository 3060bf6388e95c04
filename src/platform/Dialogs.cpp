#include "platform/Dialogs.h"

#include "platform/ScriptedDialogs.h"

#include <cctype>
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

namespace {
// "*.Mp4" as "*.[mM][pP]4".
std::string EitherCase(const std::string &pattern) {
  std::string glob;
  for (const char c : pattern) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isalpha(u))
      glob += std::string("[") + static_cast<char>(std::tolower(u)) + static_cast<char>(std::toupper(u)) + "]";
    else
      glob += c;
  }
  return glob;
}
} // namespace

std::string FilterText(const TFileFilter &filter) {
  std::string text = filter.Caption;
  if (!filter.Examples.empty())
    text += " (" + filter.Examples + " \u2026)";
  std::string patterns;
  for (std::size_t start = 0; start < filter.Patterns.size();) {
    std::size_t end = filter.Patterns.find(';', start);
    if (end == std::string::npos)
      end = filter.Patterns.size();
    if (const std::string glob = EitherCase(filter.Patterns.substr(start, end - start));
        !glob.empty() && (" " + patterns + " ").find(" " + glob + " ") == std::string::npos)
      patterns += (patterns.empty() ? "" : " ") + glob;
    start = end + 1;
  }
  return text + " (" + patterns + ")";
}

} // namespace platform
