// The queue benchmark: adds 1,000 short generated clips through the main window, as Add Folder does
// and then as Add Files does with all of them at once, and records how late a 5 ms timer of the window fires meanwhile (the longest time the
// window could not paint or answer). For comparison, the same files are then probed one after
// another on the main thread, as adding did before it moved to the background; that whole time is
// a stall. The window is drawn offscreen: no display is needed.
//
//   tvl-queue-bench [folder] [files]      (defaults: the temporary folder, 1000 files)
#include "ClipWriter.h"
#include "app/TvlApplication.h"
#include "app/OutputBar.h"
#include "app/PreviewPanel.h"
#include "app/QueuePanel.h"
#include "app/TvlMainFrm.h"
#include "convert/ConvertUnt.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"
#include "platform/Dialogs.h"
#include "platform/ExeFolder.h"
#include "platform/MainThread.h"
#include "platform/ScriptedDialogs.h"
#include "platform/qt/QtDispatch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

namespace fs = std::filesystem;

int main(int argc, char **argv) {
  const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "tvl-queue-bench";
  const int files = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1000;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  TTvlApplication app(argc, argv);
  platform::SetMainThread(std::make_unique<platform::TQtDispatch>());

  // A private installation with the build's pictures, so the window's settings stay there.
  const fs::path install = folder / "install", queue = folder / "queue";
  fs::create_directories(install);
  fs::create_directories(queue);
  if (!fs::exists(install / "VideoRes"))
    fs::create_directory_symlink(TVL_BIN_DIR "/VideoRes", install / "VideoRes");
  platform::SetExeFolder(install.string() + "/");
  auto dialogs = std::make_unique<platform::TScriptedDialogs>();
  platform::TScriptedDialogs &script = *dialogs;
  platform::SetDialogs(std::move(dialogs));

  if (!FFLoader.LoadLibraries(EngineLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader.LastError().c_str());
    return 1;
  }
  AVUtil.av_log_set_level(AV_LOG_QUIET);
  const fs::path clip = folder / "clip.mp4";
  if (!fs::exists(clip)) {
    TClipPlan plan;
    plan.Format = "mp4";
    plan.Seconds = 2;
    plan.Streams = {VideoStream("mpeg4", 160, 120, 25), AudioStream("aac")};
    std::string error;
    if (!WriteClip(clip.string(), plan, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
  }
  std::vector<std::string> paths;
  for (int i = 1; i <= files; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "clip%04d.mp4", i);
    const fs::path path = queue / name;
    if (!fs::exists(path))
      fs::copy_file(clip, path);
    paths.push_back(path.string());
  }

  const auto measure = [&](const char *how, const std::function<void(TTvlMainForm &)> &add) {
    // Each measure starts from an empty queue, not from the one the last left.
    fs::remove(install / "Queue.ini");
    TTvlMainForm form;
    if (!form.LibrariesLoaded())
      return -1.0;
    form.show();
    QCoreApplication::processEvents();
    constexpr int tick = 5;
    qint64 maxStallMs = 0;
    QElapsedTimer clock, sinceTick;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(tick);
    QObject::connect(&probe, &QTimer::timeout, [&] {
      maxStallMs = std::max(maxStallMs, sinceTick.restart() - tick);
      if (!form.Queue->Adding())
        QCoreApplication::exit(0);
    });
    clock.start();
    sinceTick.start();
    probe.start();
    add(form);
    QCoreApplication::exec();
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const auto messages = script.Messages();
    std::printf("queue files=%d add_s=%.2f max_stall_ms=%lld\n", files, seconds, static_cast<long long>(maxStallMs));
    std::printf("  %s: queued %d; last message: %s\n", how, form.TvlConvert->Files.Count(),
                messages.empty() ? "(none)" : messages.back().Text.c_str());
    return form.TvlConvert->Files.Count() == files ? seconds : -1.0;
  };
  const double folderSeconds = measure("Add Folder", [&](TTvlMainForm &form) { form.Queue->AddFolder(queue.string()); });
  const double filesSeconds = measure("Add Files", [&](TTvlMainForm &form) { form.Queue->AddFiles(paths); });

  // Probing on the main thread: the window cannot paint for the whole time.
  TTvlConvert driver;
  QElapsedTimer clock;
  clock.start();
  for (const std::string &path : paths)
    driver.AddFile(path);
  const double referenceSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  std::printf("reference (probing on the main thread) add_s=%.2f max_stall_ms=%.0f; add time ratio %.2f (folder), "
              "%.2f (files)\n",
              referenceSeconds, referenceSeconds * 1000, folderSeconds / referenceSeconds,
              filesSeconds / referenceSeconds);
  return folderSeconds > 0 && filesSeconds > 0 ? 0 : 1;
}
