#pragma once
// Logout and the power-off end the program with SIGTERM (a closed terminal with SIGHUP) before any
// window is closed. The watcher turns these signals into a call on the main thread, through a pipe a
// socket notifier reads (a signal handler may do nothing more than write to it).
#include <QObject>

#include <functional>

class QSocketNotifier;

namespace platform {

class TSignalWatcher : public QObject {
public:
  // One watcher at a time; onSignal runs on the thread that made the watcher.
  explicit TSignalWatcher(std::function<void()> onSignal, QObject *parent = nullptr);
  ~TSignalWatcher() override;

private:
  std::function<void()> FOnSignal;
  QSocketNotifier *FNotifier = nullptr;
};

} // namespace platform
