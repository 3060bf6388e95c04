#include "app/TvlApplication.h"

#include "../TempFolder.h"
#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>
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

// Waits, bounded, until the file holds the text.
bool FileGets(const TTempFolder &folder, const std::string &name, const std::string &text) {
  QDeadlineTimer deadline(60000);
  while (folder.Read(name).find(text) == std::string::npos) {
    if (deadline.hasExpired())
      return false;
    QThread::msleep(50);
  }
  return true;
}

// Two real starts: the first queues the folder named on its command line; the second hands its own
// (relative) folder to the first and ends at once with 0, saying nothing.
TEST(Program, ASecondStartHandsItsFilesToTheRunningProgram) {
  const std::string program = TVL_INSTALL_DIR "/tavrelle";
  // The build's program keeps its queue beside itself: this run must not leave its files there.
  struct TKeptQueue {
    const std::filesystem::path Queue = TVL_INSTALL_DIR "/Queue.ini", Kept = Queue.string() + ".before-test";
    const bool Had = std::filesystem::exists(Queue);
    TKeptQueue() {
      if (Had)
        std::filesystem::rename(Queue, Kept);
    }
    ~TKeptQueue() {
      std::error_code ignored;
      std::filesystem::remove(Queue, ignored);
      if (Had)
        std::filesystem::rename(Kept, Queue, ignored);
    }
  } keptQueue;
  TTempFolder runtime, media;
  for (const char *copy : {"first/one.avi", "second/two.avi", "second/three.avi"}) {
    std::filesystem::create_directories((media.Path() / copy).parent_path());
    std::filesystem::copy_file(TVL_TEST_MEDIA_DIR "clip25.avi", media.Path() / copy);
  }
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.Folder()));
  env.insert("TVL_SCRIPTED_DIALOGS", QString::fromStdString(runtime.File("messages.txt")));

  QProcess first;
  first.setProcessEnvironment(env);
  first.start(QString::fromStdString(program), {QString::fromStdString(media.File("first"))});
  ASSERT_TRUE(FileGets(runtime, "messages.txt", "1 file(s) loaded, 0 file(s) failed.\n"))
      << runtime.Read("messages.txt") << first.readAllStandardError().toStdString();

  QProcess second;
  second.setProcessEnvironment(env);
  second.setWorkingDirectory(QString::fromStdString(media.Folder()));
  second.start(QString::fromStdString(program), {"second"});
  ASSERT_TRUE(second.waitForFinished(60000)) << "the second start did not end";
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
  EXPECT_TRUE(FileGets(runtime, "messages.txt", "2 file(s) loaded, 0 file(s) failed.\n"))
      << runtime.Read("messages.txt");
  EXPECT_EQ(runtime.Read("messages.txt").find("currently running"), std::string::npos);

  first.kill();
  first.waitForFinished(60000);
}

// A copy of the program in a folder of its own whose Lib holds a broken avutil: an empty file, then a
// stand-in that lacks most entry points. The program says so and ends with exit code 1, before its
// window shows.
TEST(Program, ABrokenLibFolderAsksForAReinstallAndEndsWithOne) {
  const std::string program = TVL_INSTALL_DIR "/tavrelle";
  ASSERT_TRUE(std::filesystem::exists(program)) << program;
  for (const std::string &library : {std::string(), std::string(TVL_FAKE_AVUTIL)}) {
    SCOPED_TRACE(library.empty() ? "empty file" : library);
    TTempFolder install, runtime;
    std::filesystem::copy_file(program, install.File("tavrelle"));
    std::filesystem::create_directory(install.Path() / "Lib");
    if (library.empty())
      install.Write("Lib/libavutil.so.57", "");
    else
      std::filesystem::copy_file(library, install.File("Lib/libavutil.so.57"));

    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.Folder()));
    env.insert("TVL_SCRIPTED_DIALOGS", QString::fromStdString(runtime.File("messages.txt")));
    run.setProcessEnvironment(env);
    run.start(QString::fromStdString(install.File("tavrelle")), {});
    ASSERT_TRUE(run.waitForFinished(60000)) << "the program did not end";
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 1) << run.readAllStandardError().toStdString();
    EXPECT_EQ(runtime.Read("messages.txt"),
              "Error\tTavrelle Video Converter\tPlease reinstall Tavrelle Video Converter.\n");
  }
}

} // namespace
