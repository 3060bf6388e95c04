#pragma once
// Timing a piece of work in a child process of its own: wall time, CPU time (its children's too)
// and peak resident memory, so that runs measured one after another do not share a heap.
#include <functional>

struct TRun {
  bool Ok = false;
  double Seconds = 0;
  double CpuSeconds = 0;
  long PeakKb = 0;
};

// The best of two runs: the shorter times, the larger peak.
TRun Best(const TRun &a, const TRun &b);

// The first processor this program may run on, or -1.
int FirstCpu();

// Runs body in a child process, on the given processor only when cpu >= 0.
TRun Measure(const std::function<bool()> &body, int cpu = -1);
