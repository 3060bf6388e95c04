// The queue commands of the main window: rows and records stay in step, selection follows the rules,
// and every refusal is told to the user.
#include "MainFormFixture.h"
#include "convert/ConvertHelpers.h"

#include <QAction>
#include <QLabel>
#include <QTest>

namespace {

using platform::TMsgIcon;

class Queue : public TMainFormFixture {};

TEST_F(Queue, AddFilesQueuesWhatProbesWellAndTellsAboutTheRest) {
  auto &form = Start();
  const std::string bad = Media("text.avi");
  AddFiles({Media("clip25.avi"), bad, Media("clip2997.mp4")});

  const auto messages = Dialogs->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].Text, "Load failed.\"" + bad + "\" is unsupported.");
  EXPECT_EQ(messages[0].Caption, "Tavrelle Video Converter");
  EXPECT_EQ(messages[0].Icon, TMsgIcon::Warning);

  EXPECT_EQ(Column(0), QStringList({"clip25.avi", "clip2997.mp4"}));
  EXPECT_EQ(Records(), Column(0));
  const QTreeWidgetItem *row = form.Queue->lvFileList->topLevelItem(1);
  for (int c = 1; c < 6; ++c)
    EXPECT_EQ(row->text(c), QStringList({"", "mp4", "00:00:02", "00:00:02", "-", ""})[c]) << c;
  EXPECT_EQ(row->textAlignment(1) & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  EXPECT_EQ(row->textAlignment(3) & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
  // The last file added is selected and named in the preview caption.
  EXPECT_EQ(SelectedRow(), 1);
  EXPECT_EQ(form.Queue->SelectedIndex, 1);
  EXPECT_EQ(form.Preview->lblPreviewInfo->text(), "Preview:clip2997.mp4");
  EXPECT_TRUE(form.Queue->actRemoveFile->isEnabled());
  EXPECT_TRUE(form.Output->actConvert->isEnabled());
  EXPECT_TRUE(form.Queue->actMoveUp->isEnabled());
  EXPECT_FALSE(form.Queue->actMoveDown->isEnabled());

  // A path already queued and a device are refused, the device saying what it is, all in one message
  // after the new file; the queue keeps the new one only.
  AddFiles({Media("clip25.avi"), "/dev/zero", Media("clip.mpg"), Media("clip2997.mp4")});
  ASSERT_EQ(Dialogs->Messages().size(), 2u);
  EXPECT_EQ(Dialogs->Messages()[1].Text, "\"" + Media("clip25.avi") + "\" is already existing.\n"
                                         "/dev/zero: is a character device, not a regular file\n"
                                         "\"" + Media("clip2997.mp4") + "\" is already existing.");
  EXPECT_EQ(Records(), QStringList({"clip25.avi", "clip2997.mp4", "clip.mpg"}));
  EXPECT_EQ(SelectedRow(), 2);

  // A cancelled dialog changes nothing.
  form.Queue->actAddFile->trigger();
  WaitAdded();
  EXPECT_EQ(Column(0).size(), 3);
  EXPECT_EQ(Dialogs->Messages().size(), 2u);
}

TEST_F(Queue, TheOpenFileDialogOffersFourFiltersAndSeveralFiles) {
  Start().Queue->actAddFile->trigger();
  ASSERT_EQ(Dialogs->FileRequests().size(), 1u);
  const auto request = Dialogs->FileRequests()[0];
  EXPECT_TRUE(request.Multiple);
  EXPECT_EQ(request.FilterIndex, 0);
  ASSERT_EQ(request.Filters.size(), 4u);
  EXPECT_EQ(request.Filters[0].Patterns, std::string(VideoExtensions) + AudioExtensions);
  EXPECT_EQ(request.Filters[1].Caption, "Video Files");
  EXPECT_EQ(request.Filters[2].Patterns, AudioExtensions);
  EXPECT_EQ(platform::FilterText(request.Filters[3]), "All Files (*)") << "names without a dot are files too";
}

TEST_F(Queue, RowImagesFollowWhatTheFileHolds) {
  auto &form = Start();
  AddFiles({Copy("clip2997.mp4", "in/a.mp"), Copy("clip2997.mp4", "in/noext"), Media("tone.mp3"),
            Media("clip15.mkv"), Copy("tone.mp3", "in/song.webm")});
  ASSERT_EQ(Column(1), QStringList({"mp", "", "mp3", "mkv", "webm"}));
  const auto image = [&](int p) { return form.Queue->lvFileList->topLevelItem(p)->icon(0).cacheKey(); };
  EXPECT_EQ(image(0), form.il1[1].cacheKey());
  EXPECT_EQ(image(1), form.il1[1].cacheKey()) << "a video without an extension";
  EXPECT_EQ(image(2), form.il1[0].cacheKey());
  EXPECT_EQ(image(3), form.il1[1].cacheKey());
  EXPECT_EQ(image(4), form.il1[0].cacheKey()) << "sound only, whatever the name says";
}

TEST_F(Queue, AddFolderQueuesVideosDepthFirstInNameOrderAndCountsFailures) {
  auto &form = Start();
  // Names the file system lists in hash order: mixed case, numbers of different widths, a
  // sub-folder between files.
  Copy("clip25.avi", "tree/clip10.avi");
  Copy("clip25.avi", "tree/Clip9.avi");
  Copy("clip25.avi", "tree/one.avi");
  Copy("clip15.mkv", "tree/sub/two.mkv");
  Copy("clip.mpg", "tree/sub/three.mpg");
  Copy("clip.flv", "tree/sub/deeper/four.flv");
  Copy("tone.mp3", "tree/sub/tone.mp3");
  Copy("clip2997.mp4", "tree/video2.mp4");
  Copy("text.avi", "tree/bad.avi");
  // A hidden folder named like a video is tried as a file, and fails.
  Copy("clip25.avi", "tree/.hidden.avi/inside.avi");

  AddFolder(Install.Folder() + "tree");

  // The summary names the files that failed, in the order they were tried.
  const std::string tree = Install.Folder() + "tree/";
  ASSERT_EQ(MessageTexts(), std::vector<std::string>{"7 file(s) loaded, 2 file(s) failed.\n\n" + tree +
                                                     ".hidden.avi: is a folder, not a regular file\n"
                                                     "Load failed.\"" + tree + "bad.avi\" is unsupported."});
  EXPECT_EQ(Dialogs->Messages()[0].Icon, TMsgIcon::Warning);
  EXPECT_EQ(Column(0), QStringList({"Clip9.avi", "clip10.avi", "one.avi", "four.flv", "three.mpg", "two.mkv",
                                    "video2.mp4"}));
  EXPECT_EQ(Records(), Column(0));
  EXPECT_EQ(SelectedRow(), 0);
  EXPECT_EQ(form.Queue->SelectedIndex, 0);

  // A second folder's files go behind; the first of them is selected.
  Copy("clip2997.mp4", "more/five.mp4");
  AddFolder(Install.Folder() + "more/");
  EXPECT_EQ(Column(0).last(), "five.mp4");
  EXPECT_EQ(SelectedRow(), 7);

  // A folder without usable videos still reports, with nothing selected anew.
  std::filesystem::create_directory(Install.Path() / "empty");
  AddFolder(Install.Folder() + "empty");
  EXPECT_EQ(MessageTexts().back(), "0 file(s) loaded, 0 file(s) failed.");
  EXPECT_EQ(Dialogs->Messages().back().Icon, TMsgIcon::Information);
  EXPECT_EQ(Column(0).size(), 8);
  EXPECT_EQ(SelectedRow(), 7);
}

TEST_F(Queue, MoveRemoveAndClearKeepRowsRecordsAndSelectionInStep) {
  auto &form = Start();
  AddFiles({Copy("clip25.avi", "a.avi"), Copy("clip25.avi", "b.avi"), Copy("clip25.avi", "c.avi")});

  form.Queue->lvFileList->setCurrentItem(form.Queue->lvFileList->topLevelItem(1));
  form.Queue->actMoveUp->trigger();
  EXPECT_EQ(Column(0), QStringList({"b.avi", "a.avi", "c.avi"}));
  EXPECT_EQ(Records(), Column(0));
  EXPECT_EQ(SelectedRow(), 0);
  EXPECT_EQ(form.Queue->SelectedIndex, 0);
  EXPECT_FALSE(form.Queue->actMoveUp->isEnabled());
  EXPECT_EQ(form.Queue->lvFileList->topLevelItem(0)->icon(0).cacheKey(), form.il1[1].cacheKey());
  EXPECT_EQ(form.Queue->lvFileList->topLevelItem(0)->text(2), "00:00:02");

  form.Queue->actMoveDown->trigger();
  form.Queue->actMoveDown->trigger();
  EXPECT_EQ(Column(0), QStringList({"a.avi", "c.avi", "b.avi"}));
  EXPECT_EQ(Records(), Column(0));
  EXPECT_EQ(SelectedRow(), 2);
  EXPECT_FALSE(form.Queue->actMoveDown->isEnabled());
  form.Queue->actMoveDown->trigger(); // disabled: nothing moves
  EXPECT_EQ(Records(), QStringList({"a.avi", "c.avi", "b.avi"}));

  // Removing the last row selects the new last row.
  form.Queue->actRemoveFile->trigger();
  EXPECT_EQ(Column(0), QStringList({"a.avi", "c.avi"}));
  EXPECT_EQ(Records(), Column(0));
  EXPECT_EQ(SelectedRow(), 1);
  EXPECT_EQ(form.Preview->lblPreviewInfo->text(), "Preview:c.avi");

  // The Delete key in the list removes the selected row; the next row takes its place.
  form.Queue->lvFileList->setCurrentItem(form.Queue->lvFileList->topLevelItem(0));
  QTest::keyClick(form.Queue->lvFileList, Qt::Key_Delete);
  EXPECT_EQ(Records(), QStringList({"c.avi"}));
  EXPECT_EQ(SelectedRow(), 0);

  // Removing the only row leaves nothing selected and the queue actions off.
  form.Queue->actRemoveFile->trigger();
  EXPECT_EQ(form.Queue->lvFileList->topLevelItemCount(), 0);
  EXPECT_EQ(form.TvlConvert->Files.Count(), 0);
  for (QAction *action : {form.Queue->actRemoveFile, form.Queue->actClear, form.Output->actConvert, form.Queue->actEdit})
    EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();
  QTest::keyClick(form.Queue->lvFileList, Qt::Key_Delete); // nothing to remove
  EXPECT_EQ(Dialogs->Messages().size(), 0u);

  AddFiles({Copy("clip25.avi", "d.avi"), Copy("clip25.avi", "e.avi")});
  form.Queue->actClear->trigger();
  EXPECT_EQ(form.Queue->lvFileList->topLevelItemCount(), 0);
  EXPECT_EQ(form.TvlConvert->Files.Count(), 0);
  EXPECT_EQ(form.Queue->SelectedIndex, -1);
  EXPECT_EQ(form.Preview->lblPreviewInfo->text(), "Preview:");
  // A cleared path may be queued again.
  AddFiles({Install.Folder() + "d.avi"});
  EXPECT_EQ(Records(), QStringList({"d.avi"}));
}

TEST_F(Queue, SelectedIndexStaysWhenTheSelectionGoes) {
  auto &form = Start();
  AddFiles({Copy("clip25.avi", "a.avi"), Copy("clip25.avi", "b.avi")});
  form.Queue->lvFileList->setCurrentItem(form.Queue->lvFileList->topLevelItem(0));
  form.Queue->lvFileList->clearSelection();
  EXPECT_EQ(form.Queue->SelectedIndex, 0);
  EXPECT_EQ(form.Preview->lblPreviewInfo->text(), "Preview:a.avi");
  EXPECT_FALSE(form.Queue->actRemoveFile->isEnabled());
  EXPECT_FALSE(form.Preview->actPlay->isEnabled());
}

TEST_F(Queue, FilesAreProbedInTheBackgroundAndTheQueueIsNotEditedMeanwhile) {
  auto &form = Start();
  AddFiles({Copy("clip25.avi", "first.avi"), Copy("clip25.avi", "second.avi")});
  form.Queue->lvFileList->setCurrentItem(form.Queue->lvFileList->topLevelItem(0));

  std::vector<std::string> paths;
  QStringList want{"first.avi", "second.avi"};
  for (int i = 0; i < 12; ++i) {
    paths.push_back(Copy("clip25.avi", "many/f" + std::to_string(i) + ".avi"));
    want << QString("f%1.avi").arg(i);
  }
  const std::string bad = Media("text.avi");
  paths.insert(paths.begin() + 5, bad);
  Copy("clip2997.mp4", "later/z.mp4");
  form.Queue->AddFiles(paths);
  // A request made meanwhile waits its turn.
  form.Queue->AddFolder(Install.Folder() + "later");

  // Rows come from the window's own loop: none yet, and the queue cannot be edited or converted.
  EXPECT_TRUE(form.Queue->Adding());
  EXPECT_EQ(Column(0).size(), 2);
  EXPECT_FALSE(form.Queue->pnlAdding->isHidden());
  EXPECT_TRUE(form.Queue->actStopAdding->isEnabled());
  for (QAction *action : {form.Queue->actRemoveFile, form.Queue->actClear, form.Output->actConvert, form.Queue->actMoveDown})
    EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();
  QTest::keyClick(form.Queue->lvFileList, Qt::Key_Delete);
  WaitAdded();

  EXPECT_EQ(Column(0), want << "z.mp4");
  EXPECT_EQ(Records(), Column(0));
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Load failed.\"" + bad + "\" is unsupported.",
                                                      "1 file(s) loaded, 0 file(s) failed."}));
  EXPECT_EQ(SelectedRow(), 14);
  EXPECT_TRUE(form.Queue->pnlAdding->isHidden());
  EXPECT_FALSE(form.Queue->actStopAdding->isEnabled());
  EXPECT_TRUE(form.Queue->actRemoveFile->isEnabled());
}

TEST_F(Queue, StoppingAnAddKeepsWhatIsInAndStillCounts) {
  auto &form = Start();
  QStringList all;
  for (int i = 1; i <= 30; ++i) {
    Copy("clip25.avi", "big/clip" + std::to_string(i) + ".avi");
    all << QString("clip%1.avi").arg(i);
  }
  form.Queue->AddFolder(Install.Folder() + "big");
  form.Queue->AddFiles({Media("clip2997.mp4")}); // waiting: dropped by the stop
  form.Queue->actStopAdding->trigger();
  WaitAdded();

  const QStringList rows = Column(0);
  EXPECT_LE(rows.size(), 30);
  EXPECT_EQ(rows, all.mid(0, rows.size()));
  EXPECT_EQ(Records(), rows);
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{std::to_string(rows.size()) + " file(s) loaded, 0 file(s) failed."});
}

} // namespace
