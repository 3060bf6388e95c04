// The GUI tests share one application object, the program's own, on the offscreen platform, with the
// main-thread dispatch the program installs, so the engine's main-thread calls reach the windows.
#include "app/TvlApplication.h"
#include "platform/MainThread.h"
#include "platform/qt/QtDispatch.h"

#include <gtest/gtest.h>

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  // The players play without a sound card or a display.
  for (const char *driver : {"SDL_AUDIODRIVER", "SDL_VIDEODRIVER"})
    if (qEnvironmentVariableIsEmpty(driver))
      qputenv(driver, "dummy");
  TTvlApplication app(argc, argv);
  platform::SetMainThread(std::make_unique<platform::TQtDispatch>());
  return RUN_ALL_TESTS();
}
