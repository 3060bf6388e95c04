#pragma once
// The desktop services of a freedesktop session, over D-Bus: systemd-logind for the sleep inhibitor
// and the power-off, the notification service for notifications.
#include "platform/Notifier.h"
#include "platform/Power.h"

#include <QDBusUnixFileDescriptor>

namespace platform {

class TLogindPower : public TPower {
public:
  // A "block" lock on sleep and idle, held as long as logind's file descriptor stays open.
  bool InhibitSleep(const std::string &who, const std::string &why) override;
  void ReleaseSleep() override;
  // PowerOff, not interactive: logind honours other programs' inhibitors and the session policy
  // and says why it refuses.
  bool PowerOff(std::string &reason) override;

private:
  QDBusUnixFileDescriptor FInhibitor;
};

// Sends the notification and does not wait: without a service there is simply no notification.
class TDBusNotifier : public TNotifier {
public:
  bool Notify(const std::string &title, const std::string &text) override;
};

} // namespace platform
