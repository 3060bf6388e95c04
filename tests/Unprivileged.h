#pragma once
// Runs a check as a user without the right to override file permissions: tests of unreadable files
// mean nothing to root, who reads everything. Only for single-threaded test programs (it forks).
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

// True when check returned true; as root it runs in a child that has become "nobody".
inline bool RunUnprivileged(const std::function<bool()> &check) {
  if (::geteuid() != 0)
    return check();
  const pid_t child = ::fork();
  if (child == 0) {
    constexpr uid_t Nobody = 65534;
    const bool dropped = ::setgid(Nobody) == 0 && ::setuid(Nobody) == 0;
    ::_exit(dropped && check() ? 0 : 1);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
