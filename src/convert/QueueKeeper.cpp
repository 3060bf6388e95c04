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

bool TQueueKeeper::RunMoved(int runningTask) {
  FRun.Running = runningTask >= 0 ? FDriver.PositionOfTask(runningTask) : -1;
  return Save();
}

bool TQueueKeeper::RunEnded() {
  FRun = {};
  return Save();
}
