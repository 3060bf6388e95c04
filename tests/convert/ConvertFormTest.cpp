#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <filesystem>

#include "ConvertFixture.h"
#include "convert/ConvertFrm.h"
#include "convert/ConvertHelpers.h"
#include "convert/RunningFiles.h"
#include "engine/Bitmap.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Notifier.h"
#include "platform/Power.h"
#include "platform/ScriptedDialogs.h"
#include "platform/Shell.h"

namespace fs = std::filesystem;
using platform::TMsgResult;

class TConvertFormTest : public TConvertTest {
protected:
  void SetUp() override {
    TConvertTest::SetUp();
    auto dialogs = std::make_unique<platform::TScriptedDialogs>();
    Dialogs = dialogs.get();
    platform::SetDialogs(std::move(dialogs));
    auto power = std::make_unique<platform::TRecordingPower>();
    PowerFake = power.get();
    platform::SetPower(std::move(power));
    auto shell = std::make_unique<platform::TRecordingShell>();
    ShellFake = shell.get();
    platform::SetShell(std::move(shell));
    auto notifier = std::make_unique<platform::TRecordingNotifier>();
    NotifierFake = notifier.get();
    platform::SetNotifier(std::move(notifier));
    auto clock = std::make_unique<platform::TScriptedClock>();
    ClockFake = clock.get();
    platform::SetClock(std::move(clock));
  }

  void TearDown() override {
    Driver.EndRun();
    platform::SetClock(nullptr);
  }

  // Queues clip25.avi, a file that disappears before the run, and clip.mpg.
  void QueueThreeWithOneBad() {
    ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
    ASSERT_EQ(Driver.AddFile(Copy("clip.flv", "gone.flv")), 1);
    ASSERT_EQ(Driver.AddFile(Media("clip.mpg")), 2);
    fs::remove(Temp.File("gone.flv"));
  }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto &m : Dialogs->Messages())
      texts.push_back(m.Text);
    return texts;
  }

  static std::string Text(const QLabel *label) { return label->text().toStdString(); }

  platform::TScriptedDialogs *Dialogs = nullptr;
  platform::TRecordingPower *PowerFake = nullptr;
  platform::TRecordingShell *ShellFake = nullptr;
  platform::TRecordingNotifier *NotifierFake = nullptr;
  platform::TScriptedClock *ClockFake = nullptr;
};

TEST_F(TConvertFormTest, ProgressMessagesMoveLabelsAndBars) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  ASSERT_EQ(Driver.AddFile(Media("clip15.mkv")), 1);
  ASSERT_EQ(Driver.AddFile(Media("clip.flv")), 2);
  Driver.Files[1].TrimDuration = 2000;
  Driver.Files[2].TrimDuration = 500; // kept length under a second
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out()));
  TConvertForm form(Driver, Out());
  form.FileCount = 3;

  form.FFmpegProgress(1, 0, 0, 1000, 0, 0, 0, 4000);
  QCoreApplication::processEvents();
  EXPECT_EQ(Text(form.lblIndex), "Current:2 / Total:3");
  EXPECT_EQ(Text(form.lblFileInfo), Out() + "clip15.mpg");
  EXPECT_EQ(Text(form.lblInfoLength), "Converted Length of Current file: 00:00:01 / 00:00:02");
  EXPECT_EQ(form.pBarCur->value(), 50);
  EXPECT_EQ(form.pBarAll->value(), 50); // (100 + 50) / 3

  form.FFmpegProgress(1, 0, 0, 2500, 0, 0, 0, 4000); // past the kept length: complete, no further
  QCoreApplication::processEvents();
  EXPECT_EQ(form.pBarCur->value(), 100);
  EXPECT_EQ(form.pBarAll->value(), 66);
  EXPECT_EQ(Text(form.lblInfoLength), "Converted Length of Current file: 00:00:02 / 00:00:02");

  form.FFmpegProgress(2, 0, 0, 400, 0, 0, 0, 4000); // under a second: the bars still move
  QCoreApplication::processEvents();
  EXPECT_EQ(Text(form.lblIndex), "Current:3 / Total:3");
  EXPECT_EQ(Text(form.lblInfoLength), "Converted Length of Current file: 00:00:00 / 00:00:00");
  EXPECT_EQ(form.pBarCur->value(), 80);
  EXPECT_EQ(form.pBarAll->value(), 93);

  form.FFmpegProgress(0, 0, 0, 3000, 0, 0, 0, 4000); // a late report of a task left behind
  QCoreApplication::processEvents();
  EXPECT_EQ(Text(form.lblIndex), "Current:3 / Total:3");
  EXPECT_EQ(Text(form.lblFileInfo), Out() + "clip.mpg");
}

// What arrives between two tasks: the last report of one, its end, the next one's first picture
// before its first report. Whatever the order, the window describes one task at a time.
TEST_F(TConvertFormTest, BetweenTwoTasksEverythingDescribesOneTask) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  ASSERT_EQ(Driver.AddFile(Media("clip15.mkv")), 1);
  Driver.Files[0].TrimDuration = 8400;
  Driver.Files[1].TrimDuration = 3000;
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out()));
  TConvertForm form(Driver, Out());
  TBitmap frame(4, 4);

  // A short file's only report comes at its end, past its whole seconds.
  form.FFmpegProgress(0, 0, 0, 8400, 0, 0, 0, 8400);
  QCoreApplication::processEvents();
  EXPECT_EQ(form.pBarCur->value(), 100);
  EXPECT_EQ(form.pBarAll->value(), 50);
  EXPECT_EQ(Text(form.lblInfoLength), "Converted Length of Current file: 00:00:08 / 00:00:08");
  form.FFmpegProgress(0, 0, 0, 4000, 0, 0, 0, 8400);
  form.FFmpegTerminate(0, true, false, ""); // its end shows it complete whatever came before
  QCoreApplication::processEvents();
  EXPECT_EQ(form.pBarCur->value(), 100);

  form.FFmpegPreviewBitmap(1, &frame, 1, 0); // the next task's picture before its report
  QCoreApplication::processEvents();
  EXPECT_EQ(form.ShownTask, 1);
  EXPECT_EQ(form.PictureTask, 1);
  EXPECT_EQ(Text(form.lblIndex), "Current:2 / Total:2");
  EXPECT_EQ(Text(form.lblFileInfo), Out() + "clip15.mpg");
  EXPECT_EQ(form.pBarCur->value(), 0);
  EXPECT_EQ(form.pBarAll->value(), 50);
  EXPECT_EQ(Text(form.lblInfoLength), "Converted Length of Current file: 00:00:00 / 00:00:03");

  form.FFmpegProgress(0, 0, 0, 8400, 0, 0, 0, 8400); // late: changes nothing
  form.FFmpegPreviewBitmap(0, &frame, 1, 0);          // late: not shown
  QCoreApplication::processEvents();
  EXPECT_EQ(form.PictureTask, 1);
  EXPECT_EQ(Text(form.lblFileInfo), Out() + "clip15.mpg");
  EXPECT_EQ(form.pBarCur->value(), 0);

  form.FFmpegProgress(1, 0, 0, 1500, 0, 0, 0, 3000);
  QCoreApplication::processEvents();
  EXPECT_EQ(form.pBarCur->value(), 50);
  EXPECT_EQ(form.pBarAll->value(), 75);
}

// A file that does not tell its length moves the bars by the share of it read; the engine's
// expected length (a guess from the container) does not count.
TEST_F(TConvertFormTest, AFileOfUnknownLengthShowsWhatWasConverted) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out()));
  Driver.Files[0].DurationMs = Driver.Files[0].TrimDuration = -1;
  TConvertForm form(Driver, Out());
  form.FFmpegProgress(0, 0, 0, 3000, 0, 0, 0, 4000);
  QCoreApplication::processEvents();
  EXPECT_EQ(Text(form.lblInfoLength), "Converted Length of Current file: 00:00:03 / --:--:--");
  EXPECT_EQ(form.pBarCur->value(), 0); // nothing read yet
  form.FFmpegTerminate(0, true, false, "");
  QCoreApplication::processEvents();
  EXPECT_EQ(form.pBarCur->value(), 100);
}

TEST_F(TConvertFormTest, PreviewFollowsTheOutputKind) {
  TConvertForm form(Driver, Out());
  EXPECT_FALSE(form.BeginRun(0, ".mp3")); // no task: nothing to wait for
  EXPECT_FALSE(form.chkPreview->isEnabled());
  EXPECT_FALSE(form.chkPreview->isChecked());
  EXPECT_FALSE(form.imgConverting->isHidden());
  EXPECT_TRUE(Driver.Engine.PreviewBitmap());

  EXPECT_FALSE(form.BeginRun(0, ".mpg"));
  EXPECT_TRUE(form.chkPreview->isEnabled());
  EXPECT_TRUE(form.chkPreview->isChecked());
  EXPECT_TRUE(form.imgConverting->isHidden());
  form.chkPreview->click();
  EXPECT_FALSE(Driver.Engine.PreviewBitmap());
  EXPECT_FALSE(form.imgConverting->isHidden());

  // The window keeps its own copy of a frame: the engine reuses its bitmap.
  TBitmap frame(3, 2);
  frame.ScanLine(1)[2 * 3 + 2] = 200; // red of the last pixel
  form.FFmpegPreviewBitmap(0, &frame, 1, 0);
  frame.ScanLine(1)[2 * 3 + 2] = 0;
  QCoreApplication::processEvents();
  ASSERT_EQ(form.FrameBitmap.size(), QSize(3, 2));
  EXPECT_EQ(qRed(form.FrameBitmap.pixel(2, 1)), 200);
}

TEST_F(TConvertFormTest, PauseFollowsTheRunNotTheFirstFile) {
  TConvertForm form(Driver, Out());
  form.State = TConvertForm::stConverting;
  form.FFmpegTerminate(0, true, false, ""); // the first of several files is done
  form.btnPause->click();
  EXPECT_EQ(form.State, TConvertForm::stPaused);
  EXPECT_EQ(form.btnPause->text(), "&Resume");
  EXPECT_EQ(form.windowTitle(), "Converting(Pause)");
  form.btnPause->click();
  EXPECT_EQ(form.State, TConvertForm::stConverting);
  EXPECT_EQ(form.windowTitle(), "Converting");

  form.FFmpegTerminate(-1, true, false, ""); // the whole run is over
  form.btnPause->click();
  EXPECT_EQ(form.State, TConvertForm::stEnded);
  EXPECT_EQ(form.btnPause->text(), "&Pause");
  QCoreApplication::processEvents(); // the end message closes the window
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Convert Completed."});
}

TEST_F(TConvertFormTest, CancelPausesFirstAndNoResumes) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  ASSERT_EQ(Driver.AddFile(Media("clip15.mkv")), 1);
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out()));
  TConvertForm form(Driver, Out());
  ASSERT_TRUE(form.BeginRun(2, ".mpg"));
  form.show();

  Dialogs->QueueAnswer(TMsgResult::No);
  form.btnCancel->click();
  ASSERT_EQ(Dialogs->Messages().size(), 1u);
  EXPECT_EQ(Dialogs->Messages()[0].Text, "Do you want to cancel the conversion?");
  EXPECT_EQ(Dialogs->Messages()[0].Buttons, platform::TMsgButtons::YesNo);
  EXPECT_EQ(form.State, TConvertForm::stConverting);
  EXPECT_FALSE(form.Canceled);

  form.btnPause->click(); // the first task has its thread: it stops at its next packet
  Dialogs->QueueAnswer(TMsgResult::Yes);
  form.btnCancel->click(); // already paused: asks without pausing again
  EXPECT_TRUE(form.Canceled);
  QTRY_VERIFY_WITH_TIMEOUT(form.isHidden(), 60000);
  EXPECT_EQ(MessageTexts().back().rfind("You have cancel current conversion.", 0), 0u);
  EXPECT_NE(MessageTexts().back().find("\n\n0 file(s) failed, 2 file(s) cancelled. The Status column of the list tells why."),
            std::string::npos)
      << MessageTexts().back();
  EXPECT_EQ(Driver.Files[0].Status, csCanceled);
  EXPECT_EQ(Driver.Files[1].Status, csCanceled);
  EXPECT_EQ(PowerFake->Requests, 0);
}

TEST_F(TConvertFormTest, FinishedRunPowersOffOpensFolderAndMarksEveryRow) {
  QueueThreeWithOneBad();
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out()));
  TConvertForm form(Driver, Out());
  form.chkShutdown->setChecked(true);
  form.chkOpenOutput->setChecked(true);
  Dialogs->QueueCountdown(true);
  // The queue is saved as each file ends: the one running then, and the statuses of those before it.
  std::vector<std::pair<int, std::vector<int32_t>>> told;
  form.OnFileEnded = [&](int running) {
    told.push_back({running, {Driver.Files[0].Status, Driver.Files[2].Status}});
  };
  ASSERT_TRUE(form.BeginRun(3, ".mpg"));
  // Kept awake while converting, and no longer once the run is over.
  using TInhibit = std::pair<std::string, std::string>;
  const std::vector<TInhibit> inhibits{{"Tavrelle Video Converter", "Converting videos"}};
  EXPECT_EQ(PowerFake->Inhibits, inhibits);
  EXPECT_TRUE(PowerFake->Inhibited);
  form.show();
  QTRY_VERIFY_WITH_TIMEOUT(form.isHidden(), 60000);
  EXPECT_FALSE(PowerFake->Inhibited);
  EXPECT_EQ(PowerFake->Releases, 1);

  EXPECT_TRUE(MessageTexts().empty()); // powering off: no box to wait on
  EXPECT_EQ(Dialogs->Countdowns(), std::vector<std::string>{"The computer will power off in 60 seconds."});
  EXPECT_EQ(PowerFake->Requests, 1);
  EXPECT_EQ(ShellFake->Opened, std::vector<std::string>{Out()});
  EXPECT_EQ(Driver.Files[0].Status, csSuccess);
  EXPECT_EQ(Driver.Files[1].Status, csFailed);
  EXPECT_EQ(Driver.Files[2].Status, csSuccess);
  EXPECT_GT(fs::file_size(Out() + "clip25.mpg"), 1000u);
  EXPECT_GT(fs::file_size(Out() + "clip.mpg"), 1000u);
  // Two ends close together may be told as one.
  using TTold = std::pair<int, std::vector<int32_t>>;
  ASSERT_GE(told.size(), 2u);
  EXPECT_EQ(told.front(), (TTold{0, {csNone, csNone}}));
  EXPECT_EQ(told.back(), (TTold{-1, {csSuccess, csSuccess}}));
  if (told.size() == 3) {
    EXPECT_EQ(told[1], (TTold{1, {csSuccess, csNone}}));
  }
}

TEST_F(TConvertFormTest, RunWithoutAnyTaskEndsAtOnce) {
  QueueThreeWithOneBad();
  fs::remove(Temp.File("out")); // not a folder any more: no output can be opened
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out()));
  ASSERT_EQ(Driver.Engine.TaskTotal(), 0);
  TConvertForm form(Driver, Out());
  form.RunConversion(3, ".mpg"); // returns without a modal loop
  for (int p = 0; p < 3; ++p)
    EXPECT_EQ(Driver.Files[p].Status, csFailed);
}

TEST_F(TConvertFormTest, TheCompletionMessageTellsHowManyDidNotSucceed) {
  TConvertForm form(Driver, Out());
  EXPECT_EQ(form.CompletionText(), "Convert Completed.");
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  ASSERT_EQ(Driver.AddFile(Media("clip15.mkv")), 1);
  ASSERT_EQ(Driver.AddFile(Media("clip.mpg")), 2);
  Driver.Files[0].Status = csSuccess;
  Driver.Files[1].Status = csSuccess;
  Driver.Files[2].Status = csSuccess;
  EXPECT_EQ(form.CompletionText(), "Convert Completed.");
  Driver.Files[1].Status = csFailed;
  EXPECT_EQ(form.CompletionText(),
            "Convert Completed.\n\n1 file(s) failed, 0 file(s) cancelled. The Status column of the list tells why.");
  Driver.Files[2].Status = csCanceled;
  form.Canceled = true;
  EXPECT_EQ(form.CompletionText(), "You have cancel current conversion.\n\n1 file(s) failed, 1 file(s) cancelled. "
                                   "The Status column of the list tells why.");
}

namespace {

// The window as the user sees it after each of its updates.
class TWatchedForm : public TConvertForm {
public:
  using TConvertForm::TConvertForm;
  struct TView {
    std::string Label, Name, Length;
    int Current, All, Shown, Picture;
  };
  std::vector<TView> Views;

protected:
  bool event(QEvent *e) override {
    const int type = static_cast<int>(e->type());
    const bool handled = TConvertForm::event(e);
    if (type == WM_CONVERT_PROGRESS || type == WM_CONVERT_PREVIEW)
      Views.push_back({lblIndex->text().toStdString(), lblFileInfo->text().toStdString(),
                       lblInfoLength->text().toStdString(), pBarCur->value(), pBarAll->value(), ShownTask,
                       PictureTask});
    return handled;
  }
};

} // namespace

TEST_F(TConvertFormTest, OverARunOfFiveFilesEveryUpdateDescribesOneTask) {
  for (int i = 0; i < 5; ++i)
    ASSERT_EQ(Driver.AddFile(Copy("clip25.avi", "file" + std::to_string(i) + ".avi")), i);
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out()));
  Driver.Engine.SetProgressInterval(100);
  TWatchedForm form(Driver, Out());
  ASSERT_TRUE(form.BeginRun(5, ".mpg"));
  form.show();
  QTRY_VERIFY_WITH_TIMEOUT(form.isHidden(), 120000);

  ASSERT_FALSE(form.Views.empty());
  int shown = -1;
  for (const auto &view : form.Views) {
    ASSERT_GE(view.Shown, shown) << "the window went back to an earlier task";
    shown = view.Shown;
    const TInputFile *file = Driver.FileOfTask(view.Shown);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(view.Label, "Current:" + std::to_string(view.Shown + 1) + " / Total:5");
    EXPECT_EQ(view.Name, file->OutputOptions.FileName);
    EXPECT_TRUE(view.Picture == -1 || view.Picture == view.Shown) << view.Label << " picture of " << view.Picture;
    EXPECT_EQ(view.All, (view.Shown * 100 + view.Current) / 5) << view.Label;
    const std::string total = FormatSeconds(static_cast<int32_t>(file->TrimDuration / 1000));
    EXPECT_EQ(view.Length.substr(view.Length.size() - total.size()), total);
    if (view.Current == 100) {
      EXPECT_EQ(view.Length, "Converted Length of Current file: " + total + " / " + total);
    }
  }
  EXPECT_EQ(form.Views.back().Shown, 4);
  EXPECT_EQ(form.Views.back().All, 100);
  for (int p = 0; p < 5; ++p)
    EXPECT_EQ(Driver.Files[p].Status, csSuccess);
}

// Powering off never forces: the user may cancel a countdown, and the system may refuse.
TEST_F(TConvertFormTest, PowerOffFollowsACancellableCountdownAndReportsARefusal) {
  const auto finishRun = [this](bool countdownRunsOut) {
    TConvertForm form(Driver, Out());
    form.chkShutdown->setChecked(true);
    form.chkOpenOutput->setChecked(true);
    Dialogs->QueueCountdown(countdownRunsOut);
    form.FFmpegTerminate(-1, true, false, "");
    QCoreApplication::processEvents();
  };
  finishRun(false);
  EXPECT_EQ(Dialogs->Countdowns().size(), 1u);
  EXPECT_EQ(PowerFake->Requests, 0);
  EXPECT_TRUE(MessageTexts().empty());
  EXPECT_EQ(ShellFake->Opened, std::vector<std::string>{Out()}); // the folder opens all the same

  PowerFake->Refusal = "Operation inhibited";
  finishRun(true);
  EXPECT_EQ(PowerFake->Requests, 1);
  ASSERT_EQ(Dialogs->Messages().size(), 1u);
  EXPECT_EQ(Dialogs->Messages()[0].Text, "The computer was not powered off: Operation inhibited");
  EXPECT_EQ(Dialogs->Messages()[0].Icon, platform::TMsgIcon::Warning);
}

TEST_F(TConvertFormTest, TheDesktopIsToldHowARunWentOnlyWhenTheProgramIsNotActive) {
  QueueThreeWithOneBad();
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out()));
  {
    TConvertForm form(Driver, Out());
    ASSERT_TRUE(form.BeginRun(3, ".mpg"));
    QApplication::setActiveWindow(nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(!PowerFake->Inhibited, 60000);
  }
  using TShown = std::pair<std::string, std::string>;
  const std::vector<TShown> shown{
      {"Tavrelle Video Converter", "Conversion finished: 2 succeeded, 1 failed."}};
  EXPECT_EQ(NotifierFake->Shown, shown);

  TConvertForm form(Driver, Out());
  form.show();
  QApplication::setActiveWindow(&form);
  form.FFmpegTerminate(-1, true, false, "");
  QCoreApplication::processEvents();
  EXPECT_EQ(NotifierFake->Shown.size(), 1u);
}

TEST_F(TConvertFormTest, TimeLabelShowsElapsedRemainingAndSpeedFromTheClock) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  ASSERT_EQ(Driver.AddFile(Media("clip15.mkv")), 1);
  Driver.Files[0].TrimDuration = Driver.Files[1].TrimDuration = 2000; // the share is of the kept length
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out()));
  Driver.Engine.PauseTasks(); // held before it starts: the test's reports are the only ones
  TConvertForm form(Driver, Out());
  ClockFake->Now = 5000;
  ASSERT_TRUE(form.BeginRun(2, ".mpg"));
  EXPECT_EQ(Text(form.lblTime), "Elapsed: 00:00:00   Remaining: --:--   Speed: --");

  ClockFake->Advance(10000);
  form.FFmpegProgress(0, 0, 0, 1000, 0, 0, 0, 2000); // half of the first of two files
  QCoreApplication::processEvents();
  EXPECT_EQ(Text(form.lblTime), "Elapsed: 00:00:10   Remaining: 00:00:30   Speed: 0.1x");

  ClockFake->Advance(10000);
  form.FFmpegProgress(1, 0, 0, 1000, 0, 0, 0, 2000);
  QCoreApplication::processEvents();
  EXPECT_EQ(Text(form.lblTime), "Elapsed: 00:00:20   Remaining: 00:00:07   Speed: 0.1x");
  Driver.Engine.StopTasks();
  QTRY_VERIFY_WITH_TIMEOUT(form.State == TConvertForm::stEnded, 60000);
}

TEST_F(TConvertFormTest, FilesConvertingAtOnceHaveARowEachAndTheWindowDescribesTheChosenOne) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  ASSERT_EQ(Driver.AddFile(Media("clip15.mkv")), 1);
  ASSERT_EQ(Driver.AddFile(Media("clip.flv")), 2);
  Driver.Files[0].TrimDuration = 4000;
  Driver.Files[1].TrimDuration = 2000;
  Driver.Files[2].TrimDuration = 4000;
  Driver.AllowSimultaneous = true;
  Profiles.Simultaneous = "2";
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out()));
  TConvertForm form(Driver, Out());
  ASSERT_FALSE(form.lstRunning->isHidden());
  EXPECT_GT(form.btnCancel->y(), form.lstRunning->geometry().bottom()) << "the rows push the buttons down";
  TBitmap frame(4, 4);

  form.FFmpegProgress(0, 0, 0, 1000, 0, 0, 0, 4000);
  form.FFmpegProgress(1, 0, 0, 1000, 0, 0, 0, 2000);
  QCoreApplication::processEvents();
  EXPECT_EQ(form.lstRunning->topLevelItemCount(), 2);
  EXPECT_EQ(Text(form.lblIndex), "Current:1 / Total:3"); // the first running file
  EXPECT_EQ(form.pBarCur->value(), 25);
  EXPECT_EQ(form.pBarAll->value(), 25); // (25 + 50 + 0) / 3: the second is not taken as done

  form.FFmpegTerminate(0, true, false, "");
  form.FFmpegProgress(2, 0, 0, 2000, 0, 0, 0, 4000);
  QCoreApplication::processEvents();
  ASSERT_EQ(form.lstRunning->topLevelItemCount(), 2);
  EXPECT_EQ(form.lstRunning->topLevelItem(0)->text(0).toStdString(), Out() + "clip15.mpg");
  EXPECT_EQ(Text(form.lblIndex), "Current:2 / Total:3");
  EXPECT_EQ(form.pBarAll->value(), 66); // (100 + 50 + 50) / 3

  // A click on a row describes that file, and only its pictures are shown.
  QTreeWidgetItem *third = form.lstRunning->topLevelItem(1);
  QTest::mouseClick(form.lstRunning->viewport(), Qt::LeftButton, {},
                    form.lstRunning->visualItemRect(third).center());
  EXPECT_EQ(Text(form.lblFileInfo), Out() + "clip.mpg");
  EXPECT_EQ(form.pBarCur->value(), 50);
  form.FFmpegPreviewBitmap(1, &frame, 1, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(form.PictureTask, -1);
  form.FFmpegPreviewBitmap(2, &frame, 1, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(form.PictureTask, 2);
}
