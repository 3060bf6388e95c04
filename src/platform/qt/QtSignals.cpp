#include "platform/qt/QtSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

int SignalPipe[2] = {-1, -1};

void OnTerminate(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t put = ::write(SignalPipe[1], &byte, 1);
  errno = saved;
}

} // namespace

TSignalWatcher::TSignalWatcher(std::function<void()> onSignal, QObject *parent)
    : QObject(parent), FOnSignal(std::move(onSignal)) {
  if (::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    return;
  FNotifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, this);
  connect(FNotifier, &QSocketNotifier::activated, this, [this] {
    char bytes[16];
    while (::read(SignalPipe[0], bytes, sizeof bytes) > 0) {
    }
    if (FOnSignal)
      FOnSignal();
  });
  struct sigaction action {};
  action.sa_handler = OnTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGHUP})
    ::sigaction(signal, &action, nullptr);
}

TSignalWatcher::~TSignalWatcher() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  for (int signal : {SIGTERM, SIGHUP})
    ::sigaction(signal, &action, nullptr);
  delete FNotifier;
  FNotifier = nullptr;
  for (int &fd : SignalPipe) {
    if (fd >= 0)
      ::close(fd);
    fd = -1;
  }
}

} // namespace platform
