// Draws the README's pictures of the real windows: the main window with a converted queue, the
// progress window during that conversion, the preview playing a queued file, the edit window with
// a marked part and the settings dialog. The files come through scripted dialogs, the way the tests
// queue them; the windows are drawn offscreen, so no display is needed.
// Usage: tvl-screenshots <installation folder> <media folder> <output folder>
#include "app/TvlApplication.h"
#include "app/OutputBar.h"
#include "app/PreviewPanel.h"
#include "app/QueuePanel.h"
#include "app/TvlMainFrm.h"
#include "convert/ConvertFrm.h"
#include "edit/EditFrm.h"
#include "edit/TrackBar.h"
#include "edit/VideoPanel.h"
#include "platform/Dialogs.h"
#include "platform/ExeFolder.h"
#include "platform/MainThread.h"
#include "platform/ScriptedDialogs.h"
#include "platform/qt/QtDispatch.h"
#include "profiles/SettingFrm.h"
#include "profiles/tvlIniUnt.h"

#include <QAction>
#include <QCoreApplication>
#include <QEventLoop>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <QPixmap>
#include <QProgressBar>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A private copy of the installation, so the settings the window writes when it closes stay there.
fs::path MakeInstallation(const fs::path &installed) {
  const fs::path folder = fs::temp_directory_path() / ("tvl-screenshots-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  for (const fs::directory_entry &entry : fs::directory_iterator(installed)) {
    const fs::path name = entry.path().filename();
    // The queue of whoever used the program there is not part of the pictures.
    // Nor are the outputs of earlier runs, which would give the new ones numbered names.
    if (name.string().starts_with("Queue.ini") || name == "output")
      continue;
    if (name == "VideoConverter.ini")
      fs::copy_file(entry.path(), folder / name, fs::copy_options::overwrite_existing);
    else if (!fs::exists(folder / name))
      fs::create_symlink(fs::absolute(entry.path()), folder / name);
  }
  return folder;
}

bool Save(QWidget &window, const fs::path &file) {
  if (window.grab().save(QString::fromStdString(file.string())))
    return true;
  std::fprintf(stderr, "tvl-screenshots: cannot write %s\n", file.c_str());
  return false;
}

// Runs the windows' events until the condition holds or the time (ten seconds) has passed.
bool ProcessUntil(const std::function<bool()> &condition, int ms = 10000) {
  QDeadlineTimer deadline(ms);
  while (!condition() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
  return condition();
}

// Plays the queue's second file in the preview and draws the window while it plays.
bool PreviewShot(TTvlMainForm &form, const fs::path &file) {
  form.Queue->lvFileList->setCurrentItem(form.Queue->lvFileList->topLevelItem(1));
  form.Preview->actPlay->trigger();
  const bool playing = ProcessUntil([&] {
    return !form.Preview->pnlPreviewPlay->Picture().isNull() && form.Preview->tbarPreview->value() > form.Preview->tbarPreview->maximum() / 3;
  });
  if (!playing) {
    std::fprintf(stderr, "tvl-screenshots: the preview did not play\n");
    return false;
  }
  // The bar and the buttons are drawn at the moment of the picture.
  form.Preview->fplyrPreview.Pause();
  ProcessUntil([&] { return form.Preview->PlayState == psPause; });
  const bool saved = Save(form, file);
  form.Preview->actStop->trigger();
  return saved;
}

// Opens the edit window on the selected file, marks a part and draws the window.
bool EditShot(TTvlMainForm &form, const fs::path &file) {
  bool saved = false;
  QTimer::singleShot(0, [&] {
    auto *edit = qobject_cast<TEditForm *>(QApplication::activeModalWidget());
    if (!edit)
      return;
    if (ProcessUntil([&] { return !edit->pnlEditPlay->Picture().isNull() && edit->tbarEdit->value() > 600; })) {
      edit->fplyrEdit.Pause();
      ProcessUntil([&] { return edit->LastState == psPause; });
      const int maximum = edit->tbarEdit->maximum();
      edit->tbarEdit->setValue(maximum / 4);
      edit->btnStart->click();
      edit->tbarEdit->setValue(maximum * 3 / 4);
      edit->btnEnd->click();
      edit->tbarEdit->setValue(maximum * 2 / 5);
      edit->cbbFrameAspectRatio->setCurrentIndex(2);
      saved = Save(*edit, file);
    }
    edit->btnCancel->click();
  });
  form.Queue->actEdit->trigger();
  if (!saved)
    std::fprintf(stderr, "tvl-screenshots: the edit window did not play\n");
  return saved;
}

// Opens the settings dialog of the chosen profile and draws it.
bool SettingShot(TTvlMainForm &form, const fs::path &file) {
  bool saved = false;
  QTimer::singleShot(0, [&] {
    auto *dialog = qobject_cast<TSettingForm *>(QApplication::activeModalWidget());
    if (!dialog)
      return;
    // The dialog takes its final size once its layout has measured the skin's lists.
    ProcessUntil([] { return false; }, 300);
    saved = Save(*dialog, file);
    dialog->reject();
  });
  form.Output->actFormatSetting->trigger();
  if (!saved)
    std::fprintf(stderr, "tvl-screenshots: the settings dialog did not open\n");
  return saved;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: tvl-screenshots <installation folder> <media folder> <output folder>\n");
    return 2;
  }
  const fs::path media = argv[2], out = argv[3];
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The players play without a sound card.
  if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
    qputenv("SDL_AUDIODRIVER", "dummy");
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
    // Streams that fit the profile would be copied, and copied streams give no pictures to show.
    IniOptions.CopyStreams = false;
    // The third file goes away after it is queued, so its conversion fails.
    const fs::path gone = install / "holiday.flv";
    fs::copy_file(media / "clip.flv", gone, fs::copy_options::overwrite_existing);
    script.QueueFiles({(media / "clip25.avi").string(), (media / "clip2997.mp4").string(), gone.string()});
    form.Queue->actAddFile->trigger();
    // Files are probed in the background; the rows are in once adding has ended.
    while (form.Queue->Adding())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    fs::remove(gone);

    // The progress window is drawn while it shows a picture, again until the current file has moved
    // on: the clips convert in a moment, and pictures come only now and then.
    bool pictured = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      auto *progress = form.findChild<TConvertForm *>();
      if (progressShot || !progress || !progress->isVisible() || progress->PictureTask < 0)
        return;
      pictured = Save(*progress, out / "progress.png");
      progressShot = progress->pBarCur->value() > 0;
    });
    watch.start(20);
    form.Output->actConvert->trigger();
    watch.stop();
    progressShot = progressShot || pictured;
    saved = Save(form, out / "queue.png") && saved;
    saved = PreviewShot(form, out / "preview.png") && saved;
    saved = EditShot(form, out / "edit.png") && saved;
    saved = SettingShot(form, out / "settings.png") && saved;
  }
  fs::remove_all(install);
  if (!progressShot)
    std::fprintf(stderr, "tvl-screenshots: the progress window did not show any progress\n");
  return saved && progressShot ? 0 : 1;
}
