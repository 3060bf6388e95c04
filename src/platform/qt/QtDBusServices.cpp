#include "platform/qt/QtDBusServices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace platform {
namespace {

constexpr const char *LogindService = "org.freedesktop.login1";
constexpr const char *LogindPath = "/org/freedesktop/login1";
constexpr const char *LogindManager = "org.freedesktop.login1.Manager";
// logind answers at once; a hung bus must not hang the program.
constexpr int LogindTimeoutMs = 5000;

QDBusMessage CallLogind(const QString &method, const QVariantList &arguments) {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected())
    return QDBusMessage::createError(QDBusError::Disconnected, "the system bus is not available");
  QDBusMessage call = QDBusMessage::createMethodCall(LogindService, LogindPath, LogindManager, method);
  call.setArguments(arguments);
  return bus.call(call, QDBus::Block, LogindTimeoutMs);
}

} // namespace

bool TLogindPower::InhibitSleep(const std::string &who, const std::string &why) {
  const QDBusMessage reply = CallLogind("Inhibit", {QString("sleep:idle"), QString::fromStdString(who),
                                                    QString::fromStdString(why), QString("block")});
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
    return false;
  FInhibitor = reply.arguments().first().value<QDBusUnixFileDescriptor>();
  return FInhibitor.isValid();
}

void TLogindPower::ReleaseSleep() {
  // Closing our copy of the descriptor ends the lock.
  FInhibitor = QDBusUnixFileDescriptor();
}

bool TLogindPower::PowerOff(std::string &reason) {
  const QDBusMessage reply = CallLogind("PowerOff", {false});
  if (reply.type() == QDBusMessage::ReplyMessage)
    return true;
  reason =
      reply.errorMessage().isEmpty() ? reply.errorName().toStdString() : reply.errorMessage().toStdString();
  return false;
}

bool TDBusNotifier::Notify(const std::string &title, const std::string &text) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected())
    return false;
  QDBusMessage call =
      QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                     "org.freedesktop.Notifications", "Notify");
  const QVariantMap hints{{"desktop-entry", QString(TVL_APP_ID)}};
  call.setArguments({QString::fromStdString(title), 0u, QString(TVL_APP_ID), QString::fromStdString(title),
                     QString::fromStdString(text), QStringList(), hints, -1});
  return bus.send(call);
}

} // namespace platform
