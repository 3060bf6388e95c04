// The GUI tests share one application object, the program's own, on the offscreen platform.
#include "app/TvlApplication.h"

#include <gtest/gtest.h>

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  TTvlApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
