#pragma once
// Elapsed time, remaining time and speed of a conversion run, from its progress reports and a clock
// in milliseconds. Paused time counts for none of them.
#include <cstdint>
#include <string>

class TRunEstimate {
public:
  void Start(int64_t now, int taskTotal);
  void Pause(int64_t now);
  void Resume(int64_t now);
  // A progress report: the task, the media time it has converted and the media time it will
  // convert, in milliseconds. Reports of a task before the current one are stale and ignored.
  void Progress(int64_t now, int task, int64_t doneMs, int64_t totalMs);

  int64_t ElapsedMs(int64_t now) const;
  // From the share of the run converted so far; -1 while nothing is converted.
  int64_t RemainingMs(int64_t now) const;
  // Media time converted per time elapsed; 0 while unknown.
  double Speed(int64_t now) const;
  // "Elapsed: 00:00:12   Remaining: 00:00:30   Speed: 2.4x", with "--:--" and "--" while unknown.
  std::string Text(int64_t now) const;

private:
  double Share() const;

  int64_t FStart = 0;
  int64_t FPausedSince = -1;
  int64_t FPausedMs = 0;
  int FTaskTotal = 0;
  int FTask = -1;
  double FTaskShare = 0;       // of the current task, 0 to 1
  int64_t FEndedMediaMs = 0;   // converted by the tasks before the current one
  int64_t FCurrentMediaMs = 0; // converted by the current task
};
