#include "convert/QueueKeeper.h"

TQueueRun TQueueKeeper::Restore(std::string &problem) {
  TRestoredQueue restored = FStore.Load();
  problem = restored.Problem;
  for (auto &file : restored.Files)
    FDriver.Files.Add(std::move(file));
  return restored.Run;
}

bool TQueueKeeper::Save() {
  FError.clear();
  return FStore.Save(FDriver.Files, FRun, FError);
}

void TQueueKeeper::RunStarted(int32_t profile, const std::string &folder) {
  FRun = {-1, profile, folder};
}

void TQueueKeeper::RunMoved(int runningTask) {
  // A run's last step still counts as a run until it has ended: its statuses come first.
  FRun.Running = runningTask >= 0 ? FDriver.PositionOfTask(runningTask) : -1;
  Save();
}

void TQueueKeeper::RunEnded() {
  FRun = {};
  Save();
}
