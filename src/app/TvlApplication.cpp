#include "app/TvlApplication.h"

#include "platform/Dialogs.h"
#include "platform/ErrorSink.h"

TTvlApplication::TTvlApplication(int &argc, char **argv) : QApplication(argc, argv) {
  setApplicationName(platform::ApplicationTitle);
  // Desktops match the windows to the installed desktop entry and its icon by this name.
  setDesktopFileName(TVL_APP_ID);
}

bool TTvlApplication::notify(QObject *receiver, QEvent *event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    const QString where = QString("%1 (%2), event %3")
                              .arg(receiver->metaObject()->className(), receiver->objectName())
                              .arg(static_cast<int>(event->type()));
    platform::ReportDroppedException(where.toStdString(), std::current_exception());
    return false;
  }
}
