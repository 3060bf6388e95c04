#include "app/TvlApplication.h"

#include "../TempFolder.h"
#include "platform/SingleInstance.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

class TThrowingObject : public QObject {
public:
  bool event(QEvent *) override { throw std::runtime_error("handler failed"); }
};

TEST(Program, AnExceptionEscapingAnEventHandlerIsDroppedAndReported) {
  TThrowingObject target;
  target.setObjectName("target");
  QEvent event(QEvent::User);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(QApplication::sendEvent(&target, &event));
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("handler failed"), std::string::npos) << errors;
  EXPECT_NE(errors.find("target"), std::string::npos) << errors;
}

// Runs the built program as a second instance: this test holds the instance lock itself.
TEST(Program, ASecondInstanceShowsTheRunningMessageAndExitsWithZero) {
  const std::string program = TVL_INSTALL_DIR "/tavrelle";
  ASSERT_TRUE(std::filesystem::exists(program)) << program;

  TTempFolder runtime;
  const std::string previousRuntime = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
  setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
  {
    const platform::SingleInstance first("TVLVIDEOConverter");
    ASSERT_FALSE(first.AlreadyExists());

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TVL_SCRIPTED_DIALOGS", QString::fromStdString(runtime.File("messages.txt")));
    second.setProcessEnvironment(env);
    second.start(QString::fromStdString(program), {});
    ASSERT_TRUE(second.waitForFinished(60000)) << "the second instance did not end";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
  }
  if (previousRuntime.empty())
    unsetenv("XDG_RUNTIME_DIR");
  else
    setenv("XDG_RUNTIME_DIR", previousRuntime.c_str(), 1);

  EXPECT_EQ(runtime.Read("messages.txt"),
            "Warning\tTavrelle Video Converter\tTavrelle Video Converter is currently running!\n");
}

} // namespace
