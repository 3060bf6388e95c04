#pragma once
// The progress of a run on standard error: a bar rewritten in place on a terminal, one line per
// file otherwise. With one file at a time the bar is that file's; with several at once it is the
// whole run's, with how many files are done.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class TConsoleProgress {
public:
  TConsoleProgress(int tasks, int simultaneous, bool terminal, std::function<std::string(int)> taskName);

  // From the engine's workers.
  void Report(int task, int currentMs, int totalMs);
  void Ended(int task);

  // From the waiting thread, a few times a second, and once when the run is over.
  void Show();
  void Clear() const;

private:
  struct TTask {
    int Permille = 0;
    bool Reported = false, Ended = false, Told = false;
  };
  int FSimultaneous;
  bool FTerminal;
  std::function<std::string(int)> FTaskName;
  std::mutex FLock;
  std::vector<TTask> FTasks; // guarded by FLock
  int FLast = -1;            // guarded by FLock: the task of the last report
};
