#pragma once
// Keeps the driver's queue in its file: restores it at start and saves it after every change and
// at every step of a run, so that a killed program loses no queued file and can resume its run.
// Main thread only: the queue is read while no end report writes it (see TConvertForm::OnFileEnded).
#include <cstdint>
#include <string>

#include "convert/ConvertUnt.h"
#include "convert/QueueStore.h"

class TQueueKeeper {
public:
  TQueueKeeper(TTvlConvert &driver, std::string path) : FDriver(driver), FStore(std::move(path)) {}

  // Appends the saved queue to the driver's. The run it returns has Running >= 0 when a run was cut
  // off (the file keeps saying so until the next save); problem tells of a damaged file kept aside.
  TQueueRun Restore(std::string &problem);

  // Writes the queue as it is now; false with LastError() when it cannot be written.
  bool Save();
  // A run with the profile and folder has started, or moved on to the task (-1: none left), or
  // ended; the last two save, as Save does.
  void RunStarted(int32_t profile, const std::string &folder);
  bool RunMoved(int runningTask);
  bool RunEnded();
  const std::string &LastError() const { return FError; }
  const std::string &Path() const { return FStore.Path(); }

private:
  TTvlConvert &FDriver;
  TQueueStore FStore;
  TQueueRun FRun;
  std::string FError;
};
