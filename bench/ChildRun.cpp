#include "ChildRun.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

double CpuTime(const rusage &usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

TRun Best(const TRun &a, const TRun &b) {
  if (!a.Ok || !b.Ok)
    return a.Ok ? b : a;
  return {true, std::min(a.Seconds, b.Seconds), std::min(a.CpuSeconds, b.CpuSeconds), std::max(a.PeakKb, b.PeakKb)};
}

int FirstCpu() {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0)
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
      if (CPU_ISSET(cpu, &allowed))
        return cpu;
  return -1;
}

TRun Measure(const std::function<bool()> &body, int cpu) {
  const auto start = std::chrono::steady_clock::now();
  // What is buffered would be written again by the child.
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    if (cpu >= 0) {
      cpu_set_t one;
      CPU_ZERO(&one);
      CPU_SET(cpu, &one);
      sched_setaffinity(0, sizeof one, &one);
    }
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  TRun run;
  run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  run.CpuSeconds = CpuTime(usage);
  run.PeakKb = usage.ru_maxrss;
  return run;
}
