#pragma once
// Saves the queue from the main thread: at once after a command, and at most a few times a second
// while files are added in the background. A failure is told once per session, and on stderr.
#include <QObject>

#include <string>

#include "convert/QueueKeeper.h"

class QTimer;

class TQueueSaver : public QObject {
public:
  TQueueSaver(TTvlConvert &driver, std::string path, QObject *parent);

  TQueueKeeper Keeper;

  // Soon: within SoonMs, however often it is called meanwhile.
  void Changed();
  void SaveNow();
  // While a run converts, only its steps save the queue: nothing else may read it meanwhile.
  void RunStarted(int32_t profile, const std::string &folder);
  void RunMoved(int runningTask);
  void RunEnded();
  static constexpr int SoonMs = 300;

private:
  void Report();

  QTimer *FTimer = nullptr;
  bool FHeld = false;
  bool FTold = false;
};
