// The edit window and the Edit command: the marks and their markers, playing the marked part, and
// what reaches the file's record and the next conversion.
#include "../MediaFrames.h"
#include "PlaybackFixture.h"
#include "convert/ConvertHelpers.h"
#include "edit/EditFrm.h"
#include "edit/TrackList.h"
#include "edit/TargetSizeBox.h"
#include "edit/TrackBar.h"
#include "edit/VideoPanel.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

class EditWindow : public TPlaybackFixture {
protected:
  // The edit window on the queue's first file, prepared as the Edit command prepares it.
  std::unique_ptr<TEditForm> Prepare(const std::string &file) {
    StartWith({file});
    auto edit = std::make_unique<TEditForm>(*Form->TvlConvert, Form.get());
    edit->Prepare(0);
    return edit;
  }
  static bool WaitFor(TEditForm &edit, TPlayState state) {
    return ProcessUntil([&] { return edit.LastState == state; });
  }
  // Stops the playback so that the bar keeps the values the test gives it.
  static void Halt(TEditForm &edit) {
    edit.btnStop->click();
    ASSERT_TRUE(WaitFor(edit, psStop));
  }
  static void MarkAt(TEditForm &edit, int value, QPushButton *button) {
    edit.tbarEdit->setValue(value);
    button->click();
  }
  static int Left(const TEditForm &edit, int64_t mark) {
    return edit.tbarEdit->x() + edit.tbarEdit->HalfThumb() + static_cast<int>(mark * edit.PixelsPerUnit);
  }
  TInputFile &Record() const { return Form->TvlConvert->Files[0]; }
  // Play Section over the marks given, with the positions the window is told kept in positions.
  static void PlaySection(TEditForm &edit, int64_t in, int64_t out, std::vector<int64_t> &positions) {
    auto position = edit.fplyrEdit.OnPosition;
    edit.fplyrEdit.OnPosition = [&positions, position](TCustomPlayer *p, int64_t pts) {
      positions.push_back(pts);
      position(p, pts);
    };
    edit.MarkIn = in;
    edit.MarkOut = out;
    edit.btnPlaySection->click();
  }
};

TEST_F(EditWindow, OpensOnTheFileWithTheStoredChoicesAndTheWholeLength) {
  auto edit = Prepare(Media("clip25.avi"));
  EXPECT_EQ(edit->windowTitle(), "Edit");
  EXPECT_EQ(edit->cbbFrameAspectRatio->count(), 5);
  EXPECT_EQ(edit->cbbFrameAspectRatio->itemText(0), "Keep orginal");
  EXPECT_EQ(edit->cbbFrameAspectRatio->itemText(4), "Pan&Scan(47:20)");
  EXPECT_EQ(edit->btnPlaySection->toolTip(), "Play Section");
  EXPECT_EQ(edit->grpTrim->title(), "Trim");

  ASSERT_TRUE(WaitFor(*edit, psPlay));
  const TInputFile &file = Record();
  EXPECT_NEAR(edit->EditDuration, 2000000, 100000);
  EXPECT_EQ(edit->tbarEdit->maximum(), edit->EditDuration / 1000);
  EXPECT_DOUBLE_EQ(edit->PixelsPerUnit, 397.0 / edit->tbarEdit->maximum());
  EXPECT_EQ(edit->FrameWidth, 160);
  EXPECT_EQ(edit->lblEnd->text(), "00:00:02");
  // Never trimmed: the start shows as 0, the end is the stored length.
  EXPECT_EQ(edit->MarkIn, -1);
  EXPECT_EQ(edit->MarkOut, file.DurationMs - 1);
  EXPECT_EQ(edit->edtStartTime->text(), "00:00:00");
  EXPECT_EQ(edit->edtEndTime->text(), QString::fromStdString(FormatSeconds((file.DurationMs - 1) / 1000)));
  EXPECT_EQ(edit->imgSelStart->x(), Left(*edit, -1));
  EXPECT_EQ(edit->imgSelEnd->x(), Left(*edit, edit->MarkOut) - 16 - 20);
  EXPECT_TRUE(ProcessUntil([&] { return !edit->pnlEditPlay->Picture().isNull(); }));
  EXPECT_FALSE(edit->btnPlay->isEnabled());
}

TEST_F(EditWindow, LongFilesKeepTheirMillisecondsAndUnknownLengthsKeepTheMarkersAtTheStart) {
  auto edit = Prepare(Media("clip25.avi"));
  Halt(*edit);
  int width = 0, height = 0;
  const int64_t minutes90 = 90 * 60 * int64_t{1000000};
  edit->fplyrEdit.OnFileOpen(&edit->fplyrEdit, minutes90, 720, 576, width, height);
  EXPECT_EQ(width, 400);
  EXPECT_EQ(height, 300);
  EXPECT_EQ(edit->tbarEdit->maximum(), 5400000);
  EXPECT_EQ(edit->lblEnd->text(), "01:30:00");
  edit->fplyrEdit.OnPosition(&edit->fplyrEdit, minutes90 - 1000);
  EXPECT_EQ(edit->tbarEdit->value(), 5399999);

  // An image sequence or a stream without a length: no division by a zero maximum.
  edit->fplyrEdit.OnFileOpen(&edit->fplyrEdit, 0, 160, 120, width, height);
  EXPECT_EQ(edit->PixelsPerUnit, 0);
  EXPECT_FALSE(edit->tbarEdit->SliderVisible());
  MarkAt(*edit, 0, edit->btnEnd);
  EXPECT_EQ(edit->imgSelEnd->x(), edit->tbarEdit->x() + edit->tbarEdit->HalfThumb() - 16);
}

TEST_F(EditWindow, MarksStayInOrderAndResetSelectsTheWholeFile) {
  auto edit = Prepare(Media("clip25.avi"));
  Halt(*edit);
  MarkAt(*edit, 1000, edit->btnStart);
  EXPECT_EQ(edit->MarkIn, 1000);
  EXPECT_EQ(edit->edtStartTime->text(), "00:00:01");
  EXPECT_EQ(edit->imgSelStart->x(), Left(*edit, 1000));
  MarkAt(*edit, 500, edit->btnEnd); // left of Mark In
  EXPECT_EQ(edit->MarkOut, 1050);
  EXPECT_EQ(edit->imgSelEnd->x(), Left(*edit, 1050) - 16);
  MarkAt(*edit, 1500, edit->btnStart); // right of Mark Out
  EXPECT_EQ(edit->MarkIn, 1000);

  // Near the start Mark In can fall below zero.
  MarkAt(*edit, 0, edit->btnStart);
  MarkAt(*edit, 30, edit->btnEnd);
  MarkAt(*edit, 40, edit->btnStart);
  EXPECT_EQ(edit->MarkIn, -20);

  edit->btnResetTrim->click();
  EXPECT_EQ(edit->MarkIn, 0);
  EXPECT_EQ(edit->MarkOut, edit->tbarEdit->maximum());
  EXPECT_EQ(edit->edtStartTime->text(), "00:00:00");
  EXPECT_EQ(edit->edtEndTime->text(), "00:00:02");
  EXPECT_EQ(edit->imgSelStart->x(), edit->tbarEdit->x() + edit->tbarEdit->HalfThumb());
  EXPECT_EQ(edit->imgSelEnd->x(),
            edit->tbarEdit->x() + edit->tbarEdit->HalfThumb() + edit->tbarEdit->width() - 16 - 20);
}

TEST_F(EditWindow, KeysPlayPauseAndMark) {
  auto edit = Prepare(Media("long.avi"));
  edit->show();
  edit->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(edit.get()));
  ASSERT_TRUE(WaitFor(*edit, psPlay));
  QTest::keyClick(edit.get(), Qt::Key_Space);
  ASSERT_TRUE(WaitFor(*edit, psPause));
  edit->tbarEdit->setValue(700);
  QTest::keyClick(edit.get(), Qt::Key_I);
  edit->tbarEdit->setValue(1300);
  QTest::keyClick(edit.get(), Qt::Key_O);
  EXPECT_EQ(edit->MarkIn, 700);
  EXPECT_EQ(edit->MarkOut, 1300);
  QTest::keyClick(edit.get(), Qt::Key_Space);
  EXPECT_TRUE(WaitFor(*edit, psResume));
}

TEST_F(EditWindow, PlaySectionResumesAPausedPlaybackAtMarkInAndStopsAfterMarkOut) {
  auto edit = Prepare(Media("clip25.avi"));
  ASSERT_TRUE(WaitFor(*edit, psPlay));
  int opened = 0;
  auto open = edit->fplyrEdit.OnFileOpen;
  edit->fplyrEdit.OnFileOpen = [&](TCustomPlayer *p, int64_t d, int w, int h, int &sw, int &sh) {
    ++opened;
    open(p, d, w, h, sw, sh);
  };
  // The bar pauses while pressed.
  QTest::mousePress(edit->tbarEdit, Qt::LeftButton, Qt::NoModifier, QPoint(10, edit->tbarEdit->height() / 2));
  ASSERT_TRUE(WaitFor(*edit, psPause));
  std::vector<int64_t> positions;
  PlaySection(*edit, 1200, 1600, positions);
  ASSERT_TRUE(WaitFor(*edit, psResume));
  EXPECT_EQ(opened, 0) << "the paused playback goes on; the file is not opened again";
  // Past Mark Out the window stops its player through its own message.
  ASSERT_TRUE(WaitFor(*edit, psStop));
  ASSERT_FALSE(positions.empty());
  // Sought to Mark In: no picture between the paused place (0.1 s) and the key frame before Mark In
  // (one in 12 at 25 per second) was shown.
  for (const int64_t pts : positions)
    EXPECT_FALSE(pts > 250000 && pts < 1200000 - 480000) << pts;
  EXPECT_GT(positions.back(), 1600000);
  EXPECT_LT(positions.back(), 1900000) << "stopped soon after Mark Out";
  EXPECT_EQ(edit->fplyrEdit.CurrentContext(), nullptr);
  EXPECT_TRUE(edit->btnPlay->isEnabled());
  EXPECT_FALSE(edit->btnStop->isEnabled());
  QTest::mouseRelease(edit->tbarEdit, Qt::LeftButton, Qt::NoModifier, QPoint(10, edit->tbarEdit->height() / 2));
  // Released on a stopped player: the file plays again from the bar's place.
  EXPECT_TRUE(WaitFor(*edit, psPlay));
  EXPECT_EQ(opened, 1);
}

// From a stopped player too, Play Section plays the marked part and stops after Mark Out.
TEST_F(EditWindow, PlaySectionFromAStoppedPlayerPlaysTheMarkedPart) {
  auto edit = Prepare(Media("clip25.avi"));
  Halt(*edit);
  std::vector<int64_t> positions;
  PlaySection(*edit, 1200, 1600, positions);
  ASSERT_TRUE(WaitFor(*edit, psPlay));
  ASSERT_TRUE(WaitFor(*edit, psStop));
  ASSERT_FALSE(positions.empty());
  EXPECT_GT(positions.back(), 1600000);
  EXPECT_LT(positions.back(), 1900000) << "stopped soon after Mark Out";
  // Pictures of the section were shown (a loaded machine may drop some late ones), not only one past it.
  EXPECT_GE(std::count_if(positions.begin(), positions.end(), [](int64_t pts) { return pts > 1100000; }), 2);
}

// A click on the bar of a stopped player plays from there: the marks land where the user clicked.
TEST_F(EditWindow, AClickOnTheBarOfAStoppedPlayerMovesThePosition) {
  auto edit = Prepare(Media("clip25.avi"));
  edit->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(edit.get()));
  Halt(*edit);
  const QPoint at(edit->tbarEdit->width() * 3 / 4, edit->tbarEdit->height() / 2);
  QTest::mouseClick(edit->tbarEdit, Qt::LeftButton, Qt::NoModifier, at);
  ASSERT_TRUE(WaitFor(*edit, psPlay));
  EXPECT_TRUE(ProcessUntil([&] { return edit->tbarEdit->value() > 1200; })) << edit->tbarEdit->value();
  edit->btnStart->click();
  EXPECT_GT(edit->MarkIn, 1200);
}

class EditCommand : public EditWindow {
protected:
  // Runs Edit on the selected row; the action runs in the window before OK.
  void EditWith(const std::function<void(TEditForm &)> &action) {
    OnModal<TEditForm>([action](TEditForm &edit) {
      action(edit);
      edit.btnOK->click();
    });
    Form->Queue->actEdit->trigger();
  }
  QString Trimmed() const { return Form->Queue->lvFileList->topLevelItem(0)->text(3); }
};

TEST_F(EditCommand, OkStoresTheSelectionAndTheAspectChoice) {
  StartWith({Media("clip25.avi")});
  const int64_t length = Record().DurationMs;
  // Untouched: nothing changes, the file stays untrimmed.
  bool previewStopped = false;
  Form->Preview->actPlay->trigger();
  ASSERT_TRUE(WaitForState(psPlay));
  EditWith([&](TEditForm &edit) {
    previewStopped = Form->Preview->fplyrPreview.CurrentContext() == nullptr;
    ASSERT_TRUE(WaitFor(edit, psPlay)) << "the edit window plays";
  });
  EXPECT_TRUE(previewStopped) << "one playback at a time";
  EXPECT_EQ(Record().TrimStart, -1);
  EXPECT_EQ(Record().TrimDuration, length);

  EditWith([](TEditForm &edit) {
    edit.MarkIn = 1500;
    edit.MarkOut = 500;
    edit.cbbFrameAspectRatio->setCurrentIndex(2);
    edit.TargetSize->cbbTargetSize->setCurrentText("12.5");
  });
  EXPECT_EQ(Record().TargetBytes, 12500000);
  EXPECT_EQ(Record().TrimStart, 500);
  EXPECT_EQ(Record().TrimDuration, 1000);
  EXPECT_EQ(Record().AspectIndex, 2);
  EXPECT_EQ(Trimmed(), "00:00:01");
  EXPECT_TRUE(MessageTexts().empty());

  // Reopened on the stored trim.
  EditWith([](TEditForm &edit) {
    EXPECT_EQ(edit.MarkIn, 500);
    EXPECT_EQ(edit.MarkOut, 1500);
    EXPECT_EQ(edit.cbbFrameAspectRatio->currentIndex(), 2);
    EXPECT_EQ(edit.TargetSize->cbbTargetSize->currentText(), "12.5");
    // "None" or a text that is no size: no target.
    for (const char *none : {"None", "big", "-8", "0"}) {
      edit.TargetSize->cbbTargetSize->setCurrentText(none);
      EXPECT_EQ(edit.TargetSize->Bytes(), 0) << none;
    }
  });
  EXPECT_EQ(Record().TargetBytes, 0);
}

TEST_F(EditCommand, TheTrackListStoresTheTracksKeptAndTheTooltipTellsThem) {
  StartWith({Media("film.mkv")});
  EditWith([](TEditForm &edit) {
    ASSERT_EQ(edit.lstTracks->topLevelItemCount(), 4);
    const QTreeWidgetItem *commentary = edit.lstTracks->topLevelItem(1);
    EXPECT_EQ(commentary->text(0), "Audio 2");
    EXPECT_EQ(commentary->text(1), "fre");
    EXPECT_EQ(commentary->text(2), "Commentary");
    EXPECT_EQ(commentary->checkState(0), Qt::Checked);
    edit.lstTracks->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    edit.lstTracks->topLevelItem(3)->setCheckState(0, Qt::Unchecked);
  });
  EXPECT_EQ(Record().AudioChoice, "2");
  EXPECT_EQ(Record().SubtitleChoice, "1");
  EXPECT_TRUE(Form->Queue->lvFileList->topLevelItem(0)->toolTip(0).endsWith("\n1 audio, 1 subtitle"));
  // Reopened on the stored choice.
  EditWith([](TEditForm &edit) {
    EXPECT_EQ(edit.lstTracks->topLevelItem(0)->checkState(0), Qt::Unchecked);
    // One subtitle track at most is burned in.
    edit.lstTracks->topLevelItem(2)->setCheckState(5, Qt::Checked);
    edit.lstTracks->topLevelItem(3)->setCheckState(5, Qt::Checked);
    EXPECT_EQ(edit.lstTracks->topLevelItem(2)->checkState(5), Qt::Unchecked);
    EXPECT_FALSE(edit.lstTracks->topLevelItem(0)->data(5, Qt::CheckStateRole).isValid());
  });
  EXPECT_EQ(Record().SubtitleChoice, "burn:2");
  EXPECT_TRUE(Form->Queue->lvFileList->topLevelItem(0)->toolTip(0).endsWith("\n1 audio, 1 subtitle burned in"));
  EditWith([](TEditForm &edit) { EXPECT_EQ(edit.lstTracks->topLevelItem(3)->checkState(5), Qt::Checked); });

  // A restored record reads its tracks for the window; of a choice naming a track the file no
  // longer has, those still there stay checked.
  Record().Tracks.clear();
  Record().TracksRead = false;
  Record().AudioChoice = "2,3";
  EditWith([](TEditForm &edit) {
    ASSERT_EQ(edit.lstTracks->topLevelItemCount(), 4);
    EXPECT_EQ(edit.lstTracks->topLevelItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(edit.lstTracks->topLevelItem(1)->checkState(0), Qt::Checked);
  });
  EXPECT_EQ(Record().AudioChoice, "2");
  EXPECT_EQ(Record().SubtitleChoice, "burn:2");
}

// Space is the focused control's when that control takes it (here Cancel), and the window's playback
// ends as the window closes, before anything that follows it.
TEST_F(EditCommand, SpaceOnCancelClosesTheWindowAndThePlaybackEndsWithIt) {
  StartWith({Media("clip25.avi")});
  bool rejected = false, stopped = false;
  OnModal<TEditForm>([&](TEditForm &edit) {
    ASSERT_TRUE(WaitFor(edit, psPlay));
    edit.btnCancel->setFocus();
    QTest::keyClick(edit.btnCancel, Qt::Key_Space);
    rejected = edit.result() == QDialog::Rejected && !edit.isVisible();
    stopped = edit.fplyrEdit.CurrentContext() == nullptr;
    if (edit.isVisible())
      edit.reject();
  });
  Form->Queue->actEdit->trigger();
  EXPECT_TRUE(rejected);
  EXPECT_TRUE(stopped);
}

TEST_F(EditCommand, MarksAtOnePlaceTrimToTheEndAndATrimPastTheEndIsRefused) {
  StartWith({Media("clip25.avi")});
  const TInputFile before = Record();
  // Marks at one place: length 0, which converts from Mark In to the end, and shows that length.
  EditWith([](TEditForm &edit) {
    edit.MarkIn = edit.MarkOut = 800;
    edit.cbbFrameAspectRatio->setCurrentIndex(1);
  });
  EXPECT_TRUE(MessageTexts().empty());
  EXPECT_EQ(Record().TrimStart, 800);
  EXPECT_EQ(Record().TrimDuration, 0);
  EXPECT_EQ(OutputLengthMs(Record()), before.DurationMs - 800);
  EXPECT_EQ(Trimmed(), QString::fromStdString(FormatSeconds(static_cast<int32_t>((before.DurationMs - 800) / 1000))));
  EXPECT_EQ(Record().AspectIndex, 1);

  EditWith([&](TEditForm &edit) {
    edit.MarkIn = before.DurationMs + 10;
    edit.MarkOut = before.DurationMs + 500;
  });
  ASSERT_EQ(MessageTexts().size(), 1u);
  EXPECT_EQ(MessageTexts()[0], "The trim was not changed: it starts after the end of the file.");
  EXPECT_EQ(Record().TrimDuration, 0);
}

TEST_F(EditCommand, AMarkedPartIsWhatTheNextConvertConverts) {
  const std::string out = Install.Folder() + "out";
  WriteSettings(Profiles(out));
  StartWith({Media("long.avi")});
  Form->TvlConvert->Engine.SetLogLevel(llQuiet);
  EditWith([&](TEditForm &edit) {
    Halt(edit);
    MarkAt(edit, 65000, edit.btnStart);
    MarkAt(edit, 75000, edit.btnEnd);
  });
  EXPECT_EQ(Record().TrimStart, 65000);
  EXPECT_EQ(Record().TrimDuration, 10000);
  EXPECT_EQ(Trimmed(), "00:00:10");

  Form->Output->actConvert->trigger();
  ASSERT_EQ(MessageTexts(), std::vector<std::string>{"Convert Completed."});
  const std::string output = out + "/long.mpg";
  // Ten seconds of pictures: the container's own length is only an estimate for this format.
  EXPECT_GT(MeanLumaAt(output, 9.9), 0);
  EXPECT_LT(MeanLumaAt(output, 10.1), 0);
  // The output starts on the source's picture at 65 s; its neighbours half a second away differ.
  const double first = MeanLumaAt(output, 0);
  EXPECT_NEAR(first, MeanLumaAt(Media("long.avi"), 65), 1.5);
  EXPECT_GT(std::abs(first - MeanLumaAt(Media("long.avi"), 64.5)), 1.5);
  EXPECT_GT(std::abs(first - MeanLumaAt(Media("long.avi"), 65.5)), 1.5);
}

} // namespace
