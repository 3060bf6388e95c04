#include "ConsoleProgress.h"

#include <algorithm>
#include <cstdio>

TConsoleProgress::TConsoleProgress(int tasks, int simultaneous, bool terminal,
                                   std::function<std::string(int)> taskName)
    : FSimultaneous(simultaneous), FTerminal(terminal), FTaskName(std::move(taskName)),
      FTasks(static_cast<std::size_t>(std::max(tasks, 0))) {}

void TConsoleProgress::Report(int task, int currentMs, int totalMs) {
  std::lock_guard guard(FLock);
  if (task < 0 || static_cast<std::size_t>(task) >= FTasks.size())
    return;
  TTask &t = FTasks[static_cast<std::size_t>(task)];
  t.Reported = true;
  t.Permille = totalMs > 0 ? std::clamp(static_cast<int>(int64_t{currentMs} * 1000 / totalMs), 0, 1000) : 0;
  FLast = task;
}

void TConsoleProgress::Ended(int task) {
  std::lock_guard guard(FLock);
  if (task >= 0 && static_cast<std::size_t>(task) < FTasks.size())
    FTasks[static_cast<std::size_t>(task)].Ended = true;
}

void TConsoleProgress::Show() {
  std::lock_guard guard(FLock);
  const int tasks = static_cast<int>(FTasks.size());
  if (!FTerminal) {
    // Each file once, as it starts.
    for (int i = 0; i < tasks; ++i)
      if (TTask &t = FTasks[static_cast<std::size_t>(i)]; t.Reported && !t.Told) {
        t.Told = true;
        std::fprintf(stderr, "Converting %d/%d: %s\n", i + 1, tasks, FTaskName(i).c_str());
      }
    return;
  }
  if (FLast < 0)
    return;
  int percent = FTasks[static_cast<std::size_t>(FLast)].Permille / 10;
  std::string where = std::to_string(FLast + 1) + "/" + std::to_string(tasks);
  if (FSimultaneous > 1) {
    int64_t permille = 0;
    int done = 0;
    for (const TTask &t : FTasks) {
      permille += t.Ended ? 1000 : t.Permille;
      done += t.Ended;
    }
    percent = tasks > 0 ? static_cast<int>(permille / tasks / 10) : 0;
    where = std::to_string(done) + "/" + std::to_string(tasks) + " done";
  }
  const std::string bar = std::string(static_cast<std::size_t>(percent / 5), '#') +
                          std::string(static_cast<std::size_t>(20 - percent / 5), '.');
  std::fprintf(stderr, "\r\033[K[%s] %3d%%  %s  %s", bar.c_str(), percent, where.c_str(), FTaskName(FLast).c_str());
}

void TConsoleProgress::Clear() const {
  if (FTerminal)
    std::fprintf(stderr, "\r\033[K");
}
