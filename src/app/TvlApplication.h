#pragma once
// The application object of the program.
#include <QApplication>

class TTvlApplication : public QApplication {
public:
  TTvlApplication(int &argc, char **argv);

  // The application-wide exception handler: an exception that escapes a command or an event handler
  // ends that command only. It is dropped for the user and written to stderr.
  bool notify(QObject *receiver, QEvent *event) override;
};
