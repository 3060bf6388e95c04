#include "platform/Shell.h"

#include <mutex>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace platform {
namespace {
std::mutex ShellLock;
std::unique_ptr<TShell> &Current() {
  static std::unique_ptr<TShell> current;
  return current;
}
} // namespace

bool SpawnDetached(const std::vector<std::string> &argv) {
  if (argv.empty())
    return false;
  std::vector<char *> args;
  for (const auto &a : argv)
    args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
    return false;
  // xdg-open and systemctl return quickly; reaping them keeps no zombie behind.
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool TXdgShell::Open(const std::string &path) { return SpawnDetached({"xdg-open", path}); }

bool TRecordingShell::Open(const std::string &path) {
  Opened.push_back(path);
  return true;
}

TShell &Shell() {
  std::lock_guard guard(ShellLock);
  auto &current = Current();
  if (!current)
    current = std::make_unique<TXdgShell>();
  return *current;
}

void SetShell(std::unique_ptr<TShell> shell) {
  std::lock_guard guard(ShellLock);
  Current() = std::move(shell);
}

} // namespace platform
