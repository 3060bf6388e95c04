// The preview area of the main window: the player's commands and events, the position bar and the
// snapshot commands.
#include "app/TvlMainFrm.h"

#include "convert/ConvertUnt.h"
#include "edit/SnapShot.h"
#include "edit/SnapShotFrm.h"
#include "edit/TrackBar.h"
#include "edit/VideoPanel.h"
#include "platform/Dialogs.h"
#include "platform/ExeFolder.h"
#include "platform/Shell.h"
#include "profiles/tvlIniUnt.h"

#include <QAction>
#include <QLabel>
#include <QTreeWidget>

#include <algorithm>
#include <climits>

void TTvlMainForm::ConnectPreview() {
  connect(actPlay, &QAction::triggered, this, &TTvlMainForm::actPlayExecute);
  connect(actStop, &QAction::triggered, this, &TTvlMainForm::actStopExecute);
  connect(actPrevious, &QAction::triggered, this, &TTvlMainForm::actPreviousExecute);
  connect(actNext, &QAction::triggered, this, &TTvlMainForm::actNextExecute);
  connect(actSnapshot, &QAction::triggered, this, &TTvlMainForm::actSnapshotExecute);
  connect(actOpenSnapshot, &QAction::triggered, this, &TTvlMainForm::actOpenSnapshotExecute);
  connect(actSnapshotOptions, &QAction::triggered, this, &TTvlMainForm::actSnapshotOptionsExecute);

  fplyrPreview.OnFileOpen = [this](TCustomPlayer *, int64_t duration, int, int, int &screenWidth,
                                   int &screenHeight) { fplyrPreviewFileOpen(duration, screenWidth, screenHeight); };
  fplyrPreview.OnLog = [](TCustomPlayer *, TLogType, const std::string &) {};
  fplyrPreview.OnPosition = [this](TCustomPlayer *, int64_t pts) { fplyrPreviewPosition(pts); };
  // States from the play thread and from the window's own calls all reach the window through its event
  // queue, so they are applied in the order the player reported them.
  fplyrPreview.OnState = [this](TCustomPlayer *, TPlayState state) {
    QMetaObject::invokeMethod(this, [this, state] { fplyrPreviewState(state); }, Qt::QueuedConnection);
  };
}

void TTvlMainForm::actPlayExecute() {
  if (SelectedIndex < 0)
    return;
  switch (PlayState) {
  case psPlay:
  case psResume:
    fplyrPreview.Pause();
    break;
  case psPause:
    fplyrPreview.Resume();
    break;
  case psStop:
  case psEnd: {
    const QTreeWidgetItem *row = lvFileList->topLevelItem(SelectedIndex);
    if (!row || SelectedIndex >= TvlConvert->Files.Count())
      return;
    lblPreviewInfo->setText("Preview:" + row->text(0));
    OpenPreview(TvlConvert->Files[SelectedIndex].FileName);
    break;
  }
  default:
    break;
  }
}

void TTvlMainForm::OpenPreview(const std::string &path) {
  if (!fplyrPreview.LibrariesLoaded())
    fplyrPreview.LoadLibraries(platform::ExeFolder() + "Lib");
  fplyrPreview.Stop(true);
  fplyrPreview.Open(path, pnlPreviewPlay);
}

void TTvlMainForm::actStopExecute() {
  fplyrPreview.Stop(true);
  pnlPreviewPlay->Clear();
}

void TTvlMainForm::actPreviousExecute() {
  const int position = SelectedPosition();
  if (position <= 0)
    return;
  SelectRow(position - 1);
  actPlayExecute();
}

void TTvlMainForm::actNextExecute() {
  const int position = SelectedPosition();
  if (position < 0 || position + 1 >= lvFileList->topLevelItemCount())
    return;
  SelectRow(position + 1);
  actPlayExecute();
}

void TTvlMainForm::fplyrPreviewFileOpen(int64_t duration, int &screenWidth, int &screenHeight) {
  screenWidth = pnlPreviewPlay->width();
  screenHeight = pnlPreviewPlay->height();
  PlayState = psPlay;
  tbarPreview->SetSliderVisible(duration > 0);
  // The bar counts microseconds; a file longer than the bar's range is shown in coarser steps.
  tbarPreview->setMaximum(static_cast<int>(std::clamp<int64_t>(duration, 0, INT_MAX)));
  tbarPreview->SetAutoTicks();
  PreviewDuration = duration;
}

void TTvlMainForm::fplyrPreviewPosition(int64_t pts) {
  // A thumb the user holds stays where the user put it.
  if (pts > 0 && PreviewDuration > 0 && !tbarPreview->isSliderDown())
    tbarPreview->setValue(static_cast<int>(MulDiv64(pts, tbarPreview->maximum(), PreviewDuration)));
}

void TTvlMainForm::fplyrPreviewState(TPlayState state) {
  PlayState = state;
  UpdatePlayButtons();
}

void TTvlMainForm::tbarPreviewMouseDown() {
  fplyrPreview.Pause();
}

void TTvlMainForm::tbarPreviewMouseUp() {
  const int64_t position = MulDiv64(PreviewDuration, tbarPreview->value(), tbarPreview->maximum());
  if (PlayState == psPause) {
    fplyrPreview.Seek(position);
    fplyrPreview.Resume();
  } else {
    actPlayExecute();
    fplyrPreview.Seek(position);
  }
}

void TTvlMainForm::actSnapshotExecute() {
  if (SelectedIndex < 0)
    return;
  const QTreeWidgetItem *row = lvFileList->topLevelItem(SelectedIndex);
  if (!row)
    return;
  std::string path, error;
  if (!TakeSnapShot(fplyrPreview.GetCurrentFrame(), IniOptions, row->text(0).toStdString(), path, error))
    platform::ShowMessage(error, platform::TMsgIcon::Warning);
}

void TTvlMainForm::actOpenSnapshotExecute() {
  platform::Shell().Open(SnapShotFolder(IniOptions));
}

void TTvlMainForm::actSnapshotOptionsExecute() {
  TSnapShotForm form(this);
  form.exec();
}
