// Convert and Open folder from the main window: the run over the queue, the row texts afterwards, and
// a message whenever the command cannot start.
#include "MainFormFixture.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <unistd.h>
#include <utility>

#include "convert/ConvertFrm.h"
#include "convert/SizeTarget.h"
#include "platform/IniFile.h"

namespace {

using platform::TMsgIcon;

class ConvertCommand : public TMainFormFixture {
protected:
  std::string Out() const { return Install.Folder() + "out"; }
};

TEST_F(ConvertCommand, ACommandThatCannotStartSaysWhyAndConvertsNothing) {
  WriteSettings(Profiles(Out()));
  auto &form = Start();
  AddFiles({Media("clip25.avi")});

  QTest::keyClick(form.Output->cbbFormatEx, Qt::Key_Down); // the user's choice: the second profile
  ASSERT_EQ(form.Output->cbbFormatEx->currentIndex(), 1);
  form.Output->actConvert->trigger();
  ASSERT_EQ(Dialogs->Messages().size(), 1u);
  const std::string text = Dialogs->Messages()[0].Text;
  EXPECT_EQ(Dialogs->Messages()[0].Icon, TMsgIcon::Warning);
  for (const char *part : {"Broken Bitrate", "AudioBitrate", "256kbps"})
    EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
  EXPECT_TRUE(std::filesystem::is_empty(Out()));
  EXPECT_EQ(Column(4), QStringList({"-"}));
  EXPECT_EQ(form.TvlConvert->Engine.TaskTotal(), 0);
  // A run may end in a power-off, which ends the program before its window closes.
  EXPECT_EQ(platform::IniFile(Install.Folder() + "VideoConverter.ini").ReadInteger("Output", "Format", -1), 1)
      << "saved as Convert starts";

  // No profile to convert with.
  form.Output->cbbFormatEx->setCurrentIndex(-1);
  form.Output->actConvert->trigger();
  ASSERT_EQ(Dialogs->Messages().size(), 2u);
  EXPECT_EQ(Dialogs->Messages()[1].Text, "There is no output profile to convert with.");

  // An output folder two levels below anything that exists is not created.
  form.Output->cbbFormatEx->setCurrentIndex(0);
  form.Output->edtOutputFolder->setText(QString::fromStdString(Install.Folder() + "missing/deeper"));
  form.Output->actConvert->trigger();
  ASSERT_EQ(Dialogs->Messages().size(), 3u);
  EXPECT_EQ(Dialogs->Messages()[2].Text,
            "The output folder does not exist, please select another output folder.");
  EXPECT_EQ(Dialogs->Messages()[2].Icon, TMsgIcon::Warning);
  EXPECT_FALSE(std::filesystem::exists(Install.Path() / "missing"));

  // A folder nobody may write to, not even the superuser the tests may run as: named, with why.
  form.Output->edtOutputFolder->setText("/sys");
  form.Output->actConvert->trigger();
  ASSERT_EQ(Dialogs->Messages().size(), 4u);
  EXPECT_EQ(Dialogs->Messages()[3].Text, "The output folder \"/sys\" cannot be written (" +
                                             std::string(std::strerror(EACCES)) + "), please select another output folder.");
  EXPECT_EQ(Column(4), QStringList({"-"}));
}

TEST_F(ConvertCommand, ConvertsTheQueueIntoANewFolderAndWritesEachResultIntoItsRow) {
  WriteSettings(Profiles(Out()));
  auto &form = Start();
  form.TvlConvert->Engine.SetLogLevel(llQuiet);
  const std::string gone = Copy("clip.flv", "gone.flv");
  AddFiles({Media("clip25.avi"), gone, Media("clip.mpg")});
  std::filesystem::remove(gone); // its task cannot be set up
  ASSERT_FALSE(std::filesystem::exists(Out()));

  // The first events handled during the command come while the run is built: the window takes no
  // input then.
  bool enabledWhileBuilding = true;
  QTimer::singleShot(0, &form, [&] { enabledWhileBuilding = form.isEnabled(); });
  form.Output->actConvert->trigger();

  EXPECT_FALSE(enabledWhileBuilding);
  EXPECT_TRUE(form.isEnabled());
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Convert Completed.\n\n1 file(s) failed, 0 file(s) cancelled. "
                                                     "The Status column of the list tells why."});
  EXPECT_EQ(Column(4), QStringList({"Success", "Failed", "Success"}));
  EXPECT_EQ(Column(5), QStringList({"clip25.mpg", "", "clip.mpg"}));
  const QString reason = form.Queue->lvFileList->topLevelItem(1)->toolTip(4);
  EXPECT_FALSE(reason.isEmpty()) << "the row says why it failed";
  // The reason is reachable without a mouse: the list's context menu tells it for the selected row.
  form.Queue->lvFileList->setCurrentItem(form.Queue->lvFileList->topLevelItem(0));
  EXPECT_FALSE(form.Queue->actStatusDetails->isEnabled());
  form.Queue->lvFileList->setCurrentItem(form.Queue->lvFileList->topLevelItem(1));
  ASSERT_TRUE(form.Queue->actStatusDetails->isEnabled());
  EXPECT_TRUE(form.Queue->pm1->actions().contains(form.Queue->actStatusDetails));
  form.Queue->actStatusDetails->trigger();
  EXPECT_EQ(MessageTexts().back(), "gone.flv (Failed): " + reason.toStdString());
  EXPECT_GT(std::filesystem::file_size(Out() + "/clip25.mpg"), 1000u);
  EXPECT_GT(std::filesystem::file_size(Out() + "/clip.mpg"), 1000u);
  EXPECT_EQ(form.TvlConvert->Engine.TaskTotal(), 0) << "the run's tasks are gone";

  // A second run names around the first run's files and clears the old texts first.
  Copy("clip.flv", "gone.flv");
  form.Output->actConvert->trigger();
  EXPECT_EQ(Column(4), QStringList({"Success", "Success", "Success"}));
  EXPECT_EQ(Column(5), QStringList({"clip25_1.mpg", "gone.mpg", "clip_1.mpg"}));
  EXPECT_TRUE(form.Queue->lvFileList->topLevelItem(1)->toolTip(4).isEmpty());

  form.Output->actOpenFolder->trigger();
  EXPECT_EQ(Shell->Opened, std::vector<std::string>{Out()});
}

TEST_F(ConvertCommand, ClosingDuringARunAsksAndEndsTheRunFirst) {
  WriteSettings(Profiles(Out()));
  auto &form = Start();
  form.show();
  AddFiles({Media("clip25.avi"), Media("clip.mpg")});

  // While the run is built: answered No, the run goes on and the window stays.
  Dialogs->QueueAnswer(platform::TMsgResult::No);
  QTimer::singleShot(0, &form, [&] { form.close(); });
  form.Output->actConvert->trigger();
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(Column(4), QStringList({"Success", "Success"}));
  EXPECT_EQ(MessageTexts().front(), "Do you want to cancel the conversion?");

  // Answered Yes: no task starts, nothing is written, and the window closes after. Both files are
  // converted again, not only those that did not succeed.
  const auto before = Dialogs->Messages().size();
  Dialogs->QueueAnswer(platform::TMsgResult::No);
  Dialogs->QueueAnswer(platform::TMsgResult::Yes);
  QTimer::singleShot(0, &form, [&] { form.close(); });
  form.Output->actConvert->trigger();
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(MessageTexts()[before], "Convert the remaining files?");
  EXPECT_EQ(Dialogs->Messages().size(), before + 2) << "no completion message for a run never started";
  EXPECT_EQ(Column(4), QStringList({"-", "-"}));
  EXPECT_FALSE(std::filesystem::exists(Out() + "/clip25_1.mpg"));
  EXPECT_EQ(form.TvlConvert->Engine.TaskTotal(), 0);

  // While converting: the progress window's own Cancel, then the close once the tasks have ended.
  form.show();
  Dialogs->QueueAnswer(platform::TMsgResult::No);
  Dialogs->QueueAnswer(platform::TMsgResult::Yes);
  QTimer closer;
  closer.setInterval(5);
  QObject::connect(&closer, &QTimer::timeout, &form, [&] {
    if (form.findChild<TConvertForm *>()) {
      closer.stop();
      form.close();
    }
  });
  closer.start();
  form.Output->actConvert->trigger();
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.TvlConvert->Engine.TaskTotal(), 0) << "the tasks ended before the window closed";
  for (const QString &status : Column(4))
    EXPECT_TRUE(status == "Canceled" || status == "Success") << status.toStdString();
  EXPECT_EQ(MessageTexts().back().rfind("You have cancel current conversion.", 0), 0u) << MessageTexts().back();
}

TEST_F(ConvertCommand, FilesHandedOverDuringARunWaitForItAndTheProgressWindowStaysInFront) {
  WriteSettings(Profiles(Out()));
  auto &form = Start();
  form.show();
  AddFiles({Media("clip25.avi")});
  QString note;
  int rowsDuringRun = -1;
  bool progressInFront = false;
  QTimer handOver;
  handOver.setInterval(5);
  QObject::connect(&handOver, &QTimer::timeout, &form, [&] {
    auto *progress = form.findChild<TConvertForm *>();
    if (!progress || !progress->isVisible())
      return;
    handOver.stop();
    form.TakeHandedPaths({Media("clip.mpg")});
    note = progress->lblNote->text();
    rowsDuringRun = form.Queue->lvFileList->topLevelItemCount();
    progressInFront = QTest::qWaitFor([progress] { return QApplication::activeWindow() == progress; }, 2000);
  });
  handOver.start();
  form.Output->actConvert->trigger();
  EXPECT_EQ(note, "\"clip.mpg\" will be queued when the conversion is over.");
  EXPECT_EQ(rowsDuringRun, 1) << "the queue does not change under a run";
  EXPECT_TRUE(progressInFront);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Queue->lvFileList->topLevelItemCount() == 2; }, 60000));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Convert Completed."}) << "queued quietly";

  // Without a run the main window comes to the front and queues them at once.
  form.TakeHandedPaths({Media("clip.flv")});
  WaitAdded();
  EXPECT_EQ(Column(0), QStringList({"clip25.avi", "clip.mpg", "clip.flv"}));
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &form; }, 2000));
}

} // namespace

// Each row shows its estimated size with the chosen profile, the bar shows the total with the
// folder's free space, and a folder too small for the queue warns before anything is converted.
TEST_F(ConvertCommand, RowsShowTheirEstimatesAndAFolderTooSmallWarnsFirst) {
  WriteSettings(Profiles(Out()));
  auto &form = Start();
  AddFiles({Media("clip25.avi"), Media("tone.wav")});
  for (const QString &size : Column(6))
    EXPECT_TRUE(size.endsWith(" kB") || size.endsWith(" MB")) << size.toStdString();
  EXPECT_TRUE(form.Output->lblSizes->text().endsWith(" free")) << form.Output->lblSizes->text().toStdString();
  // The picture's size is measured by samples encoded in the background (the sound's follows from its
  // constant rate); its row and the total then show the measured size.
  TTvlConvert &convert = *form.TvlConvert;
  ASSERT_TRUE(QTest::qWaitFor([&] { return convert.Samples.size() == 1; }, 60000));
  EXPECT_EQ(Column(6)[0].toStdString(), MegabytesText(convert.EstimatedBytes(0, 0)));
  EXPECT_EQ(form.Output->lblSizes->text().section(" / ", 0, 0).toStdString(), MegabytesText(convert.EstimatedTotal(0)));
  // The samples may be in before the row is first read: the guess is worked out without them.
  const auto measured = std::exchange(convert.Samples, {});
  const int64_t guessed = convert.EstimatedBytes(0, 0);
  convert.Samples = measured;
  EXPECT_NE(Column(6)[0].toStdString(), MegabytesText(guessed)) << "the encoder misses its low bit rate on this picture";
  form.Output->FreeSpace = [] { return int64_t{1000}; };
  form.Queue->Changed();
  EXPECT_EQ(form.Output->lblSizes->text().section(" / ", 1), "1 kB free");
  Dialogs->QueueAnswer(platform::TMsgResult::No);
  form.Output->actConvert->trigger();
  ASSERT_EQ(Dialogs->Messages().size(), 1u);
  EXPECT_TRUE(Dialogs->Messages()[0].Text.starts_with("The files need about ")) << Dialogs->Messages()[0].Text;
  EXPECT_NE(Dialogs->Messages()[0].Text.find("but only 1 kB is free in \"" + Out() + "\". Convert anyway?"),
            std::string::npos);
  EXPECT_EQ(form.TvlConvert->Engine.TaskTotal(), 0);
  EXPECT_TRUE(!std::filesystem::exists(Out()) || std::filesystem::is_empty(Out()));
}

// A file with a target size is converted in two passes in the window too: the first ends without a
// word, the file fits under its target and fills at least nine tenths of it. A file whose first pass
// fails keeps that pass's reason, not the second pass's want of statistics.
TEST_F(ConvertCommand, AFileWithATargetSizeFitsIt) {
  WriteSettings(Profiles(Out()));
  auto &form = Start();
  form.TvlConvert->Engine.SetLogLevel(llQuiet);
  const std::string spoilt = Copy("scene.mp4", "in/spoilt.mp4");
  AddFiles({Media("scene.mp4"), spoilt});
  // Its streams still read, but every seventh byte of what they hold is spoilt.
  std::string data = TTempFolder::ReadFile(spoilt);
  const std::size_t from = data.find("mdat") + 64, to = data.find("moov");
  ASSERT_LT(from, to);
  for (std::size_t i = from; i + 8 < to; i += 7)
    data[i] = static_cast<char>(data[i] ^ 0x5a);
  Install.Write("in/spoilt.mp4", data);
  for (int p = 0; p < 2; ++p)
    form.TvlConvert->Files[p].TargetBytes = 200000;
  form.Queue->Changed();
  EXPECT_EQ(Column(6), QStringList({"200 kB", "200 kB"}));
  form.Output->actConvert->trigger();
  ASSERT_EQ(MessageTexts().size(), 1u);
  EXPECT_TRUE(MessageTexts()[0].starts_with("Convert Completed.")) << MessageTexts()[0];
  ASSERT_EQ(Column(4), QStringList({"Success", "Failed"}));
  const std::string reason = form.TvlConvert->Files[1].StatusText;
  std::printf("first pass failed: %s\n", reason.c_str());
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(reason.find("log file"), std::string::npos) << reason;
  const auto bytes = std::filesystem::file_size(Out() + "/scene.mpg");
  std::printf("window target 200000: %ju bytes\n", static_cast<uintmax_t>(bytes));
  EXPECT_LE(bytes, 200000u);
  EXPECT_GE(bytes, 180000u);

  // No place for the first pass at all (a file stands where its folder goes): that is what the
  // file is told.
  form.TvlConvert->Files[0].Status = csNone;
  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / ("tavrelle-passes-" + std::to_string(getpid()));
  std::ofstream(scratch.string()) << "in the way";
  form.Output->actConvert->trigger();
  std::filesystem::remove(scratch);
  ASSERT_EQ(Column(4), QStringList({"Failed", "Failed"}));
  const std::string why = form.TvlConvert->Files[0].StatusText;
  std::printf("no first pass: %s\n", why.c_str());
  EXPECT_NE(why.find(scratch.string()), std::string::npos) << why;
  EXPECT_EQ(why.find("log file"), std::string::npos) << why;
}
