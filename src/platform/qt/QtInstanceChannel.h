#pragma once
// The hand-over of files from a second start to the running program, over a local socket beside
// the single-instance lock file. Paths travel as UTF-8, each ended by a NUL byte.
#include <QObject>
#include <QStringList>

class QLocalServer;

namespace platform {

// The running program's end: emits FilesReceived for every second start that named files.
class TInstanceServer : public QObject {
  Q_OBJECT
public:
  explicit TInstanceServer(QObject *parent = nullptr);
  // Replaces a socket left behind by an earlier run; only the lock holder calls this.
  bool Listen(const QString &path);

signals:
  void FilesReceived(const QStringList &files);

private:
  void Accept();
  QLocalServer *FServer;
};

// A second start's end: false when no running program took the files within timeoutMs.
bool SendToRunningInstance(const QString &path, const QStringList &files, int timeoutMs);

} // namespace platform
