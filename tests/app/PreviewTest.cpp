// The preview area of the main window: Play, Stop, Previous, Next and the position bar follow the
// player's states; snapshots save the picture on screen; the snapshot options choose how.
#include "PlaybackFixture.h"
#include "edit/SnapShotFrm.h"
#include "edit/TrackBar.h"
#include "edit/VideoPanel.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <fstream>

namespace {

namespace fs = std::filesystem;

class Preview : public TPlaybackFixture {
protected:
  void Select(int row) { Form->Queue->lvFileList->setCurrentItem(Form->Queue->lvFileList->topLevelItem(row)); }
  void DoubleClick(int row) {
    auto *item = Form->Queue->lvFileList->topLevelItem(row);
    emit Form->Queue->lvFileList->itemDoubleClicked(item, 0);
  }
  QPoint BarPoint(double fraction) const {
    const TTrackBar *bar = Form->Preview->tbarPreview;
    const int half = bar->HalfThumb();
    return QPoint(half + static_cast<int>((bar->width() - 2 * half) * fraction), bar->height() / 2);
  }
  bool WaitForPicture() {
    return ProcessUntil([&] { return !Form->Preview->pnlPreviewPlay->Picture().isNull(); });
  }
};

TEST_F(Preview, PlayOpensThenPausesAndResumesAndStopEndsIt) {
  // A long file: the playback must not end on its own while the test works on it.
  auto &form = StartWith({Media("long.avi"), Media("clip2997.mp4")});
  Select(0);
  EXPECT_FALSE(form.Preview->actSnapshot->isEnabled());
  form.Preview->actPlay->trigger();
  ASSERT_TRUE(WaitForState(psPlay));
  // The buttons follow the player's own state event, which comes after the file-open event.
  ASSERT_TRUE(ProcessUntil([&] { return form.Preview->actStop->isEnabled(); }));
  EXPECT_EQ(form.Preview->lblPreviewInfo->text(), "Preview:long.avi");
  EXPECT_NEAR(form.Preview->PreviewDuration, 80000000, 1000000);
  EXPECT_EQ(form.Preview->tbarPreview->maximum(), form.Preview->PreviewDuration);
  EXPECT_TRUE(form.Preview->tbarPreview->SliderVisible());
  EXPECT_TRUE(form.Preview->imgPreview->isHidden());
  EXPECT_TRUE(form.Preview->actStop->isEnabled());
  EXPECT_TRUE(form.Preview->actSnapshot->isEnabled());
  ASSERT_TRUE(WaitForPicture());
  EXPECT_EQ(form.Preview->pnlPreviewPlay->Picture().size(), QSize(280, 220)) << "the picture fills the panel";

  DoubleClick(0);
  ASSERT_TRUE(WaitForState(psPause));
  DoubleClick(0);
  ASSERT_TRUE(WaitForState(psResume));
  EXPECT_TRUE(ProcessUntil([&] { return form.Preview->tbarPreview->value() > 0; }));

  form.Preview->actStop->trigger();
  ASSERT_TRUE(WaitForState(psStop));
  EXPECT_EQ(form.Preview->fplyrPreview.CurrentContext(), nullptr);
  EXPECT_TRUE(form.Preview->pnlPreviewPlay->Picture().isNull()) << "the panel shows its background again";
  EXPECT_TRUE(form.Preview->imgPreview->isVisible() || !form.isVisible());
  EXPECT_FALSE(form.Preview->imgPreview->isHidden());
  EXPECT_EQ(form.Preview->tbarPreview->value(), 0);
  EXPECT_TRUE(form.Preview->actPlay->isEnabled());
  EXPECT_FALSE(form.Preview->actSnapshot->isEnabled());
}

TEST_F(Preview, TheBarPausesWhilePressedAndSeeksOnRelease) {
  auto &form = StartWith({Media("long.avi")});
  form.Preview->actPlay->trigger();
  ASSERT_TRUE(WaitForState(psPlay));
  ASSERT_TRUE(WaitForPicture());

  QTest::mousePress(form.Preview->tbarPreview, Qt::LeftButton, Qt::NoModifier, BarPoint(0.75));
  ASSERT_TRUE(WaitForState(psPause));
  const int pressed = form.Preview->tbarPreview->value();
  EXPECT_NEAR(pressed, form.Preview->tbarPreview->maximum() * 0.75, form.Preview->tbarPreview->maximum() * 0.1);
  QTest::mouseRelease(form.Preview->tbarPreview, Qt::LeftButton, Qt::NoModifier, BarPoint(0.75));
  ASSERT_TRUE(WaitForState(psResume));
  // Played on from where the bar was let go, not from the start.
  EXPECT_TRUE(ProcessUntil([&] { return form.Preview->tbarPreview->value() > pressed; }));

  // On a stopped preview a release opens the file first, then seeks.
  form.Preview->actStop->trigger();
  ASSERT_TRUE(WaitForState(psStop));
  QTest::mousePress(form.Preview->tbarPreview, Qt::LeftButton, Qt::NoModifier, BarPoint(0.5));
  QTest::mouseRelease(form.Preview->tbarPreview, Qt::LeftButton, Qt::NoModifier, BarPoint(0.5));
  ASSERT_TRUE(WaitForState(psPlay));
  EXPECT_TRUE(ProcessUntil([&] { return form.Preview->tbarPreview->value() >= form.Preview->tbarPreview->maximum() * 0.45; }));
}

TEST_F(Preview, TheBarHoldsFilesLongerThanItsRange) {
  auto &form = Start();
  // What the player reports for a three-hour file, in microseconds.
  const int64_t hours3 = 3 * 3600 * int64_t{1000000};
  int width = 0, height = 0;
  form.Preview->fplyrPreview.OnFileOpen(&form.Preview->fplyrPreview, hours3, 720, 576, width, height);
  EXPECT_EQ(width, 280);
  EXPECT_EQ(height, 220);
  EXPECT_EQ(form.Preview->PreviewDuration, hours3);
  EXPECT_EQ(form.Preview->tbarPreview->maximum(), INT32_MAX);
  form.Preview->fplyrPreview.OnPosition(&form.Preview->fplyrPreview, hours3 / 2);
  EXPECT_NEAR(form.Preview->tbarPreview->value(), INT32_MAX / 2, 1);
  form.Preview->fplyrPreview.OnPosition(&form.Preview->fplyrPreview, hours3);
  EXPECT_EQ(form.Preview->tbarPreview->value(), INT32_MAX);
  EXPECT_EQ(MulDiv64(hours3, form.Preview->tbarPreview->value(), form.Preview->tbarPreview->maximum()), hours3)
      << "the seek of a bar at its end";

  // No length: no thumb to drag.
  form.Preview->fplyrPreview.OnFileOpen(&form.Preview->fplyrPreview, 0, 160, 120, width, height);
  EXPECT_FALSE(form.Preview->tbarPreview->SliderVisible());
}

TEST_F(Preview, PreviousAndNextMoveThroughTheQueueAndPlay) {
  auto &form = StartWith({Media("clip25.avi"), Media("clip2997.mp4"), Media("clip15.mkv")});
  Select(0);
  EXPECT_FALSE(form.Preview->actPrevious->isEnabled());
  EXPECT_TRUE(form.Preview->actNext->isEnabled());
  form.Preview->actNext->trigger();
  ASSERT_TRUE(WaitForState(psPlay));
  EXPECT_EQ(form.Queue->SelectedIndex, 1);
  EXPECT_EQ(form.Preview->lblPreviewInfo->text(), "Preview:clip2997.mp4");
  EXPECT_EQ(form.Preview->fplyrPreview.FileName(), Media("clip2997.mp4"));

  form.Preview->actNext->trigger();
  ASSERT_TRUE(ProcessUntil([&] { return form.Preview->fplyrPreview.FileName() == Media("clip15.mkv"); }));
  EXPECT_FALSE(form.Preview->actNext->isEnabled()) << "no row below the last";
  form.Preview->actPrevious->trigger();
  ASSERT_TRUE(ProcessUntil([&] { return form.Preview->fplyrPreview.FileName() == Media("clip2997.mp4"); }));
  EXPECT_TRUE(form.Preview->actPrevious->isEnabled());
}

TEST_F(Preview, RemoveAndConvertStopThePreview) {
  auto &form = StartWith({Media("clip2997.mp4"), Media("long.avi")});
  form.Preview->actPlay->trigger();
  ASSERT_TRUE(WaitForState(psPlay));
  form.Queue->actRemoveFile->trigger();
  EXPECT_EQ(form.Preview->fplyrPreview.CurrentContext(), nullptr);
  ASSERT_TRUE(WaitForState(psStop));

  form.Preview->actPlay->trigger();
  ASSERT_TRUE(WaitForState(psPlay));
  // A folder Convert cannot make: the command ends at once, with the preview stopped all the same.
  form.Output->edtOutputFolder->setText(QString::fromStdString(Install.Folder() + "missing/deeper"));
  form.Output->actConvert->trigger();
  EXPECT_EQ(form.Preview->fplyrPreview.CurrentContext(), nullptr);
  EXPECT_EQ(MessageTexts().size(), 1u);
}

// After Remove, the highlighted row is the one the caption, Play and Edit act on.
TEST_F(Preview, RemovingTheSelectedFirstRowLeavesEveryCommandOnTheHighlightedRow) {
  auto &form = StartWith({Media("clip2997.mp4"), Media("long.avi"), Media("clip15.mkv")});
  form.Queue->lvFileList->setCurrentItem(form.Queue->lvFileList->topLevelItem(0));
  form.Queue->actRemoveFile->trigger();
  ASSERT_EQ(form.Queue->lvFileList->currentItem(), form.Queue->lvFileList->topLevelItem(0));
  EXPECT_EQ(form.Preview->lblPreviewInfo->text(), "Preview:long.avi");
  form.Preview->actPlay->trigger();
  ASSERT_TRUE(WaitForState(psPlay));
  EXPECT_EQ(form.Preview->fplyrPreview.FileName(), Media("long.avi"));
}

TEST_F(Preview, SnapshotsSaveTheDecodedPictureUnderFreeNames) {
  IniOptions.SnapShotFolder = Install.File("shots");
  auto &form = StartWith({Copy("long.avi", "in/clip.avi")});
  form.Preview->actPlay->trigger();
  ASSERT_TRUE(WaitForState(psPlay));
  ASSERT_TRUE(WaitForPicture());
  DoubleClick(0); // pause: the same picture three times
  ASSERT_TRUE(WaitForState(psPause));
  for (int i = 0; i < 3; ++i)
    form.Preview->actSnapshot->trigger();

  // BMP from the options window; clip.jpg being there does not matter.
  TSnapShotForm options(&form);
  options.cbbSnapShotFormat->setCurrentIndex(1);
  options.btnOK->click();
  form.Preview->actSnapshot->trigger();

  const std::string folder = Install.File("shots") + "/";
  for (const char *name : {"clip.jpg", "clip_1.jpg", "clip_2.jpg", "clip.bmp"})
    EXPECT_TRUE(fs::exists(folder + name)) << name;
  std::ifstream bmp(folder + "clip.bmp", std::ios::binary);
  char header[26] = {};
  bmp.read(header, sizeof header);
  EXPECT_EQ(static_cast<uint8_t>(header[18]), 64) << "the decoded size, not the panel's";
  EXPECT_EQ(static_cast<uint8_t>(header[22]), 48);
  // No box: a line under the preview says where it went.
  EXPECT_TRUE(MessageTexts().empty());
  EXPECT_EQ(form.Preview->lblPreviewNote->text().toStdString(), "Snapshot saved to " + folder + "clip.bmp");

  // A folder that cannot be made is named in a message; nothing is saved.
  Install.Write("plain", "x");
  IniOptions.SnapShotFolder = Install.File("plain");
  form.Preview->actSnapshot->trigger();
  ASSERT_EQ(MessageTexts().size(), 1u);
  EXPECT_NE(MessageTexts()[0].find(Install.File("plain")), std::string::npos);
  EXPECT_EQ(Dialogs->Messages()[0].Icon, platform::TMsgIcon::Warning);

  form.Preview->actOpenSnapshot->trigger();
  EXPECT_EQ(Shell->Opened, std::vector<std::string>{Install.File("plain")});
}

TEST_F(Preview, SnapshotOptionsShowTheSettingsAndKeepThemOnlyWithOk) {
  IniOptions.SnapShotFolder = "/pictures/shots";
  IniOptions.SnapShotFormat = 1;
  IniOptions.SnapShotName = 1;
  {
    TSnapShotForm options;
    EXPECT_EQ(options.windowTitle(), "SnapShot Options");
    EXPECT_EQ(options.edtSnapShotFolder->text(), "/pictures/shots");
    EXPECT_EQ(options.cbbSnapShotFormat->currentText(), "BMP File(*.bmp)");
    EXPECT_EQ(options.cbbSnapShotFormat->itemText(0), "JPEG Image File(*.jpg)");
    EXPECT_TRUE(options.rbTime->isChecked());
    EXPECT_EQ(options.rbFileName->text(), "Same to file name");
    EXPECT_EQ(options.rbTime->text(), "According to snapshot time");
    options.cbbSnapShotFormat->setCurrentIndex(0);
    options.rbFileName->setChecked(true);
    options.btnCancel->click();
  }
  EXPECT_EQ(IniOptions.SnapShotFormat, 1);
  EXPECT_EQ(IniOptions.SnapShotName, 1);

  TSnapShotForm options;
  Dialogs->QueueFolder("/elsewhere");
  options.actBrowseSnapShotFolder->trigger();
  options.cbbSnapShotFormat->setCurrentIndex(0);
  options.rbFileName->setChecked(true);
  options.btnOK->click();
  EXPECT_EQ(IniOptions.SnapShotFolder, "/elsewhere");
  EXPECT_EQ(IniOptions.SnapShotFormat, 0);
  EXPECT_EQ(IniOptions.SnapShotName, 0);
}

} // namespace
