// Draws the README's pictures of the real windows: the main window with a converted queue, and the
// progress window during that conversion. The files come through scripted dialogs, the way the tests
// queue them; the windows are drawn offscreen, so no display is needed.
// Usage: tvl-screenshots <installation folder> <media folder> <output folder>
#include "app/TvlApplication.h"
#include "app/TvlMainFrm.h"
#include "convert/ConvertFrm.h"
#include "platform/Dialogs.h"
#include "platform/ExeFolder.h"
#include "platform/MainThread.h"
#include "platform/ScriptedDialogs.h"
#include "platform/qt/QtDispatch.h"

#include <QAction>
#include <QCoreApplication>
#include <QEventLoop>
#include <QPixmap>
#include <QProgressBar>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <memory>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A private copy of the installation, so the settings the window writes when it closes stay there.
fs::path MakeInstallation(const fs::path &installed) {
  const fs::path folder = fs::temp_directory_path() / ("tvl-screenshots-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  for (const fs::directory_entry &entry : fs::directory_iterator(installed))
    if (entry.path().filename() == "VideoConverter.ini")
      fs::copy_file(entry.path(), folder / "VideoConverter.ini", fs::copy_options::overwrite_existing);
    else if (!fs::exists(folder / entry.path().filename()))
      fs::create_symlink(fs::absolute(entry.path()), folder / entry.path().filename());
  return folder;
}

bool Save(QWidget &window, const fs::path &file) {
  if (window.grab().save(QString::fromStdString(file.string())))
    return true;
  std::fprintf(stderr, "tvl-screenshots: cannot write %s\n", file.c_str());
  return false;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: tvl-screenshots <installation folder> <media folder> <output folder>\n");
    return 2;
  }
  const fs::path media = argv[2], out = argv[3];
  qputenv("QT_QPA_PLATFORM", "offscreen");
  TTvlApplication app(argc, argv);
  platform::SetMainThread(std::make_unique<platform::TQtDispatch>());
  const fs::path install = MakeInstallation(argv[1]);
  platform::SetExeFolder(install.string() + "/");
  auto dialogs = std::make_unique<platform::TScriptedDialogs>();
  platform::TScriptedDialogs &script = *dialogs;
  platform::SetDialogs(std::move(dialogs));

  bool saved = true, progressShot = false;
  {
    TTvlMainForm form;
    if (!form.LibrariesLoaded())
      return 1;
    form.show();
    // The third file goes away after it is queued, so its conversion fails.
    const fs::path gone = install / "holiday.flv";
    fs::copy_file(media / "clip.flv", gone, fs::copy_options::overwrite_existing);
    script.QueueFiles({(media / "clip25.avi").string(), (media / "clip2997.mp4").string(), gone.string()});
    form.actAddFile->trigger();
    // Files are probed in the background; the rows are in once adding has ended.
    while (form.Adding())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    fs::remove(gone);

    // The progress window is drawn once the current file has moved on.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      auto *progress = form.findChild<TConvertForm *>();
      if (progressShot || !progress || !progress->isVisible() || progress->pBarCur->value() <= 0)
        return;
      progressShot = true;
      saved = Save(*progress, out / "progress.png") && saved;
    });
    watch.start(20);
    form.actConvert->trigger();
    watch.stop();
    saved = Save(form, out / "queue.png") && saved;
  }
  fs::remove_all(install);
  if (!progressShot)
    std::fprintf(stderr, "tvl-screenshots: the progress window did not show any progress\n");
  return saved && progressShot ? 0 : 1;
}
