// How files reach the queue from the desktop: paths handed to the window (command line, second
// start), drops on the list, the folders the dialogs start in, and the full path of a cut-off name.
#include "MainFormFixture.h"

#include <QLabel>
#include <QAction>
#include <QMessageBox>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace {

class DesktopQueue : public TMainFormFixture {
protected:
  // A synthetic drag over the list and, when it is accepted, the drop: what a file manager sends.
  bool Drop(const QList<QUrl> &urls) {
    QMimeData data;
    data.setUrls(urls);
    QWidget *viewport = Form->Queue->lvFileList->viewport();
    const QPoint at = viewport->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    if (!enter.isAccepted())
      return false;
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    return drop.isAccepted();
  }
};

TEST_F(DesktopQueue, HandedPathsQueueFilesAsAddFilesAndFoldersAsAddFolder) {
  auto &form = Start();
  Copy("clip25.avi", "tree/one.avi");
  Copy("clip15.mkv", "tree/sub/two.mkv");
  const std::string bad = Media("text.avi");
  form.Queue->QueuePaths({Media("clip2997.mp4"), Install.Folder() + "tree", bad, Media("clip.flv")});
  WaitAdded();

  EXPECT_EQ(Column(0), QStringList({"clip2997.mp4", "one.avi", "two.mkv", "clip.flv"}));
  EXPECT_EQ(Records(), Column(0));
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"2 file(s) loaded, 0 file(s) failed.",
                                                      "Load failed.\"" + bad + "\" is unsupported."}));
  EXPECT_EQ(SelectedRow(), 3); // the last file added, as Add Files leaves it
  EXPECT_TRUE(form.Output->actConvert->isEnabled());
}

TEST_F(DesktopQueue, PathsArrivingWhileADialogIsOpenWaitForItToClose) {
  auto &form = Start();
  QMessageBox box; // stands for a run's progress window or any message
  QTimer::singleShot(0, &box, [&] {
    form.Queue->QueuePaths({Media("clip25.avi")});
    EXPECT_EQ(form.Queue->lvFileList->topLevelItemCount(), 0); // not under the open dialog
    box.reject();
  });
  box.exec();
  QTRY_COMPARE_WITH_TIMEOUT(form.Queue->lvFileList->topLevelItemCount(), 1, 10000);
}

TEST_F(DesktopQueue, DroppedFilesAndFoldersAreQueuedOtherDropsRefused) {
  auto &form = Start();
  Copy("clip25.avi", "dropped/one.avi");
  EXPECT_FALSE(Drop({QUrl("https://example.invalid/clip.avi")}));
  EXPECT_TRUE(Drop({QUrl::fromLocalFile(QString::fromStdString(Media("clip15.mkv"))),
                    QUrl::fromLocalFile(QString::fromStdString(Install.Folder() + "dropped"))}));
  // Queued once the drop is over, so the dragging program never waits on our messages.
  QTRY_COMPARE_WITH_TIMEOUT(form.Queue->lvFileList->topLevelItemCount(), 2, 10000);
  EXPECT_EQ(Column(0), QStringList({"clip15.mkv", "one.avi"}));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"1 file(s) loaded, 0 file(s) failed."});
}

TEST_F(DesktopQueue, DialogsStartInTheFolderUsedLastAcrossStarts) {
  Start();
  const std::string home = QDir::homePath().toStdString();
  AddFiles({Copy("clip25.avi", "first/a.avi")});
  Dialogs->QueueFolder(Install.Folder() + "first");
  Form->Queue->actAddFolder->trigger();
  Form.reset(); // the settings are written when the window goes
  IniOptions = TIniOptions{};

  Start();
  Dialogs->QueueFiles({Copy("clip25.avi", "second/b.avi")});
  Form->Queue->actAddFile->trigger();
  Form->Queue->actAddFolder->trigger(); // cancelled
  const auto files = Dialogs->FileRequests();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].InitialFolder, home); // nothing used yet: home, not the program's folder
  EXPECT_EQ(files[1].InitialFolder, Install.Folder() + "first");
  const auto folders = Dialogs->FolderRequests();
  ASSERT_EQ(folders.size(), 2u);
  EXPECT_EQ(folders[0], Install.Folder() + "first"); // where the files came from
  EXPECT_EQ(folders[1], Install.Folder() + "second");
}

TEST_F(DesktopQueue, CutOffNamesShowTheirFullPathsAsTooltipsAndControlCharactersAsEscapes) {
  auto &form = Start();
  const std::string path = Copy("clip25.avi", "a rather long folder name/and a long file name.avi");
  AddFiles({path});
  // Under the path: the tracks the output keeps.
  EXPECT_EQ(form.Queue->lvFileList->topLevelItem(0)->toolTip(0).toStdString(), path + "\n1 audio");

  AddFiles({Copy("clip25.avi", "odd/two\nlines\x01.avi")});
  const QTreeWidgetItem *row = form.Queue->lvFileList->topLevelItem(1);
  EXPECT_EQ(row->text(0).toStdString(), "two\\nlines\\x01.avi");
  EXPECT_EQ(row->toolTip(0).toStdString(), Install.Folder() + "odd/two\\nlines\\x01.avi\n1 audio");
  EXPECT_EQ(form.Preview->lblPreviewInfo->text().toStdString(), "Preview:two\\nlines\\x01.avi");
}

} // namespace
