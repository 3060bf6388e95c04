#include "platform/qt/QtInstanceChannel.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>

namespace platform {
namespace {
// More than any real list of files; a bigger message is dropped rather than held in memory.
constexpr qint64 MaxMessageBytes = 16 * 1024 * 1024;
constexpr int RetryMs = 100;
} // namespace

TInstanceServer::TInstanceServer(QObject *parent) : QObject(parent), FServer(new QLocalServer(this)) {
  FServer->setSocketOptions(QLocalServer::UserAccessOption);
  connect(FServer, &QLocalServer::newConnection, this, &TInstanceServer::Accept);
}

bool TInstanceServer::Listen(const QString &path) {
  QLocalServer::removeServer(path);
  return FServer->listen(path);
}

void TInstanceServer::Accept() {
  while (QLocalSocket *socket = FServer->nextPendingConnection()) {
    auto *data = new QByteArray;
    connect(socket, &QLocalSocket::readyRead, socket, [socket, data] {
      data->append(socket->readAll());
      if (data->size() > MaxMessageBytes)
        socket->abort();
    });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket, data] {
      data->append(socket->readAll());
      QStringList files;
      // Only whole entries count: a sender that died mid-path sent no such file.
      if (data->size() <= MaxMessageBytes)
        for (const QByteArray &entry : data->left(data->lastIndexOf('\0') + 1).split('\0'))
          if (!entry.isEmpty())
            files << QString::fromUtf8(entry);
      delete data;
      socket->deleteLater();
      if (!files.isEmpty())
        emit FilesReceived(files);
    });
  }
}

bool SendToRunningInstance(const QString &path, const QStringList &files, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  QLocalSocket socket;
  // The running program may hold the lock a moment before it listens.
  for (;;) {
    socket.connectToServer(path);
    if (socket.waitForConnected(RetryMs))
      break;
    if (deadline.hasExpired())
      return false;
    QThread::msleep(RetryMs);
  }
  QByteArray message;
  for (const QString &file : files)
    message += file.toUtf8() + '\0';
  socket.write(message);
  while (socket.bytesToWrite() > 0)
    if (!socket.waitForBytesWritten(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1))))
      return false;
  socket.disconnectFromServer();
  return socket.state() == QLocalSocket::UnconnectedState ||
         socket.waitForDisconnected(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
}

} // namespace platform
