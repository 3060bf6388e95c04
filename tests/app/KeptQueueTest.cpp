// The queue of the main window across starts: saved after every change, restored at the next start,
// a run that was cut off continued; and the commands on several rows at once with their undo.
#include "MainFormFixture.h"
#include "convert/QueueStore.h"

#include <QAction>
#include <QTest>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using platform::TMsgResult;

class KeptQueue : public TMainFormFixture {
protected:
  std::string Out() const { return Install.Folder() + "out/"; }
  std::string QueueFile() const { return Install.File("Queue.ini"); }
  TRestoredQueue Saved() const { return TQueueStore(QueueFile()).Load(); }
  void Select(const std::vector<int> &rows) {
    Form->Queue->lvFileList->setCurrentItem(Form->Queue->lvFileList->topLevelItem(rows.front()));
    for (const int row : rows)
      Form->Queue->lvFileList->topLevelItem(row)->setSelected(true);
  }
};

TEST_F(KeptQueue, TheQueueIsSavedAsItChangesAndComesBackWithMissingFilesMarked) {
  WriteSettings(Profiles(Out()));
  Start();
  const std::string gone = Copy("clip15.mkv", "gone \"one\".mkv");
  AddFiles({Media("clip25.avi"), gone, Media("clip2997.mp4")});
  // Saved already: a kill now loses nothing.
  EXPECT_EQ(Saved().Files.size(), 3u);
  Form->TvlConvert->Files[0].TrimStart = 500;
  Form->TvlConvert->Files[0].TrimDuration = 1000;
  Select({2});
  Form->Queue->actMoveUp->trigger();
  EXPECT_EQ(Saved().Files[1]->FileName, Media("clip2997.mp4"));

  Form.reset();
  fs::remove(gone);
  Start();
  EXPECT_EQ(Column(0), QStringList({"clip25.avi", "clip2997.mp4", "gone \"one\".mkv"}));
  EXPECT_EQ(Column(3)[0], "00:00:01");
  EXPECT_EQ(Column(4), QStringList({"-", "-", "Missing"}));
  EXPECT_EQ(Form->Queue->lvFileList->topLevelItem(2)->toolTip(4), "The file no longer exists.");
  EXPECT_EQ(Form->TvlConvert->Files[0].TrimStart, 500);
  // Remove works on it, and so do the later starts.
  Select({2});
  Form->Queue->actRemoveFile->trigger();
  Form.reset();
  Start();
  EXPECT_EQ(Column(0), QStringList({"clip25.avi", "clip2997.mp4"}));
}

TEST_F(KeptQueue, ADamagedQueueFileIsKeptAsideAndTheProgramStartsEmpty) {
  Install.Write("Queue.ini", "[Queue]\nCount=lots\n");
  Start();
  EXPECT_EQ(Form->Queue->lvFileList->topLevelItemCount(), 0);
  ASSERT_EQ(MessageTexts().size(), 1u);
  EXPECT_NE(MessageTexts()[0].find("kept as \"" + QueueFile() + ".bad\""), std::string::npos);
  EXPECT_EQ(Install.Read("Queue.ini.bad"), "[Queue]\nCount=lots\n");
}

// Killed while converting the second of three files: the next start offers to go on; the first is
// not converted again, the second starts over without its partial output.
TEST_F(KeptQueue, AnInterruptedRunGoesOnWhenTheUserSaysSo) {
  WriteSettings(Profiles(Out()));
  fs::create_directories(Out());
  std::ofstream(Out() + "clip25.mpg") << "converted before";
  std::ofstream(Out() + ".clip.mpg.part") << "half";
  TInputFileList files;
  for (const char *name : {"clip25.avi", "clip.mpg", "clip2997.mp4"}) {
    auto file = std::make_unique<TInputFile>();
    file->FileName = Media(name);
    files.Add(std::move(file));
  }
  files[0].Status = csSuccess;
  files[0].OutputOptions.FileName = Out() + "clip25.mpg";
  files[1].OutputOptions.FileName = Out() + "clip.mpg";
  std::string error;
  ASSERT_TRUE(TQueueStore(QueueFile()).Save(files, {1, 0, Out()}, error));

  Dialogs->QueueAnswer(TMsgResult::No);
  Start();
  ASSERT_TRUE(QTest::qWaitFor([this] { return !MessageTexts().empty(); }, 5000));
  EXPECT_EQ(MessageTexts()[0].rfind("The last conversion was interrupted.", 0), 0u);
  EXPECT_EQ(Saved().Run.Running, -1) << "declined: the queue stays, the run is over";
  EXPECT_EQ(Column(4), QStringList({"Success", "-", "-"}));
  EXPECT_FALSE(fs::exists(Out() + ".clip.mpg.part"));

  Form.reset();
  ASSERT_TRUE(TQueueStore(QueueFile()).Save(files, {1, 0, Out()}, error));
  Dialogs->QueueAnswer(TMsgResult::Yes);
  Start();
  ASSERT_TRUE(QTest::qWaitFor([this] { return Column(4) == QStringList({"Success", "Success", "Success"}); }, 60000));
  EXPECT_EQ(Install.Read("out/clip25.mpg"), "converted before");
  EXPECT_GT(fs::file_size(Out() + "clip.mpg"), 1000u);
  EXPECT_GT(fs::file_size(Out() + "clip2997.mpg"), 1000u);
  EXPECT_EQ(Saved().Run.Running, -1);

  // Convert after it: the remaining files only when asked for, here all again.
  Dialogs->QueueAnswer(TMsgResult::No);
  Form->Output->actConvert->trigger();
  EXPECT_EQ(MessageTexts().back().rfind("Convert Completed.", 0), 0u);
  EXPECT_TRUE(fs::exists(Out() + "clip25_1.mpg"));
}

TEST_F(KeptQueue, SeveralRowsMoveAndGoTogetherAndComeBackWithUndo) {
  WriteSettings(Profiles(Out()));
  Start().show();
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  AddFiles({Media("clip25.avi"), Media("clip.mpg"), Media("clip2997.mp4"), Media("clip15.mkv")});
  Select({3, 1});
  Form->Queue->actMoveUp->trigger();
  EXPECT_EQ(Column(0), QStringList({"clip.mpg", "clip25.avi", "clip15.mkv", "clip2997.mp4"}));
  EXPECT_EQ(Records(), Column(0));
  // The current row (Edit and the preview take it) moved with the selection.
  EXPECT_EQ(Form->Queue->SelectedIndex, 2);

  Form->Queue->actRemoveFile->trigger();
  EXPECT_EQ(Column(0), QStringList({"clip25.avi", "clip2997.mp4"}));
  EXPECT_TRUE(Form->Queue->actUndo->isEnabled());
  QTest::keyClick(Form->Queue->lvFileList, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Column(0), QStringList({"clip.mpg", "clip25.avi", "clip15.mkv", "clip2997.mp4"}));
  EXPECT_EQ(Records(), Column(0));
  EXPECT_FALSE(Form->Queue->actUndo->isEnabled());

  Form->Queue->actClear->trigger();
  EXPECT_EQ(Form->Queue->lvFileList->topLevelItemCount(), 0);
  EXPECT_TRUE(Saved().Files.empty());
  Form->Queue->actUndo->trigger(); // the popup menu's Undo
  EXPECT_EQ(Records(), QStringList({"clip.mpg", "clip25.avi", "clip15.mkv", "clip2997.mp4"}));
  EXPECT_EQ(Saved().Files.size(), 4u);
  EXPECT_TRUE(MessageTexts().empty()) << "nothing asks before removing";
}

} // namespace
