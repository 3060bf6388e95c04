#include "platform/Shell.h"

#include <cerrno>
#include <mutex>
#include <thread>
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
  // A session of its own: the program outlives ours and no signal of our terminal reaches it.
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0)
    return false;
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, args[0], nullptr, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (failed != 0)
    return false;
  // Some desktops' xdg-open runs the program in the foreground until it is closed: nobody waits
  // for it here; a thread of its own reaps it, so no zombie stays behind.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

bool TXdgShell::Open(const std::string &path) { return SpawnDetached({"xdg-open", path}); }

bool TRecordingShell::Open(const std::string &path) {
  Opened.push_back(path);
  return !Missing;
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
