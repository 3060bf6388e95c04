#pragma once
// Elapsed time, remaining time and speed of a conversion run, from its progress reports and a clock
// in milliseconds. Paused time counts for none of them.
#include <cstdint>
#include <string>
#include <vector>

class TRunEstimate {
public:
  // simultaneous: how many tasks convert at once. One at a time, a task's report means that the
  // tasks before it have ended.
  void Start(int64_t now, int taskTotal, int simultaneous = 1);
  void Pause(int64_t now);
  void Resume(int64_t now);
  // A progress report: the task, the media time it has converted and the media time it will
  // convert, in milliseconds. Reports of a task that has ended are stale and ignored.
  void Progress(int64_t now, int task, int64_t doneMs, int64_t totalMs);
  // The task has ended: it counts whole.
  void Ended(int task);

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
  struct TTaskProgress {
    double Share = 0;    // 0 to 1
    int64_t MediaMs = 0; // converted so far
    bool Ended = false;
  };
  int FSimultaneous = 1;
  std::vector<TTaskProgress> FTasks;
};
