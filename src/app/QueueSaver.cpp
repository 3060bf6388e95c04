#include "app/QueueSaver.h"

#include <QTimer>

#include <cstdio>
#include <utility>

#include "platform/Dialogs.h"

TQueueSaver::TQueueSaver(TTvlConvert &driver, std::string path, QObject *parent)
    : QObject(parent), Keeper(driver, std::move(path)) {
  FTimer = new QTimer(this);
  FTimer->setSingleShot(true);
  FTimer->setInterval(SoonMs);
  connect(FTimer, &QTimer::timeout, this, [this] { SaveNow(); });
}

void TQueueSaver::Changed() {
  if (!FTimer->isActive())
    FTimer->start();
}

void TQueueSaver::SaveNow() {
  FTimer->stop();
  if (FHeld)
    return;
  if (!Keeper.Save())
    Report();
}

void TQueueSaver::RunStarted(int32_t profile, const std::string &folder) {
  FTimer->stop();
  FHeld = true;
  Keeper.RunStarted(profile, folder);
}

void TQueueSaver::RunMoved(int runningTask) {
  if (!Keeper.RunMoved(runningTask))
    Report();
}

void TQueueSaver::RunEnded() {
  FHeld = false;
  if (!Keeper.RunEnded())
    Report();
}

void TQueueSaver::Report() {
  std::fprintf(stderr, "tavrelle: cannot save the queue to %s: %s\n", Keeper.Path().c_str(),
               Keeper.LastError().c_str());
  // Once: a folder that refuses the file would otherwise ask after every change.
  if (std::exchange(FTold, true))
    return;
  platform::ShowMessage("The queue could not be saved to \"" + Keeper.Path() + "\": " + Keeper.LastError() +
                            ". It will be lost when the program ends.",
                        platform::TMsgIcon::Warning);
}
