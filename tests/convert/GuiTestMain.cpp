// The window tests: one application object on the offscreen platform, with the Qt main-thread
// dispatch the program installs, so the engine's preview calls reach the window.
#include <QApplication>

#include <gtest/gtest.h>

#include "platform/MainThread.h"
#include "platform/qt/QtDispatch.h"

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  platform::SetMainThread(std::make_unique<platform::TQtDispatch>());
  return RUN_ALL_TESTS();
}
