#include "platform/qt/QtDispatch.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

namespace platform {

bool TQtDispatch::IsMainThread() const {
  return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

void TQtDispatch::Synchronize(const std::function<void()> &fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  std::exception_ptr error;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [&] {
        try {
          fn();
        } catch (...) {
          error = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (error)
    std::rethrow_exception(error);
}

void TQtDispatch::Post(std::function<void()> fn) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

void TQtDispatch::PostDelayed(int milliseconds, std::function<void()> fn) {
  Post([milliseconds, fn = std::move(fn)]() mutable {
    QTimer::singleShot(milliseconds, QCoreApplication::instance(), std::move(fn));
  });
}

void TQtDispatch::ProcessPending() { QCoreApplication::processEvents(); }

} // namespace platform
