#include "app/PreviewPanel.h"

#include "app/PanelKit.h"
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
#include <QToolButton>

#include <algorithm>
#include <climits>

using panels::NewAction;
using panels::NewButton;
using panels::NewLabel;

TPreviewPanel::TPreviewPanel(QWidget *parent) : QFrame(parent) {
  setObjectName("pnlPreview");
  setFrameShape(QFrame::StyledPanel);
  CreateActions();
  CreateControls();
  ConnectPlayer();
}

void TPreviewPanel::CreateActions() {
  actPlay = NewAction(this, "actPlay", "", "Play");
  actStop = NewAction(this, "actStop", "", "Stop");
  actPrevious = NewAction(this, "actPrevious", "", "Previous File");
  actNext = NewAction(this, "actNext", "", "Next File");
  actSnapshot = NewAction(this, "actSnapshot", "", "Snapshot");
  actOpenSnapshot = NewAction(this, "actOpenSnapshot", "", "Open Snapshot Folder");
  actSnapshotOptions = NewAction(this, "actSnapshotOptions", "", "Snapshot Options");

  connect(actPlay, &QAction::triggered, this, &TPreviewPanel::actPlayExecute);
  connect(actStop, &QAction::triggered, this, &TPreviewPanel::actStopExecute);
  connect(actPrevious, &QAction::triggered, this, [this] { emit StepRequested(-1); });
  connect(actNext, &QAction::triggered, this, [this] { emit StepRequested(1); });
  connect(actSnapshot, &QAction::triggered, this, &TPreviewPanel::actSnapshotExecute);
  connect(actOpenSnapshot, &QAction::triggered, this, &TPreviewPanel::actOpenSnapshotExecute);
  connect(actSnapshotOptions, &QAction::triggered, this, &TPreviewPanel::actSnapshotOptionsExecute);
}

void TPreviewPanel::CreateControls() {
  lblPreviewInfo = NewLabel(this, "lblPreviewInfo", QString(), QRect(8, 6, 268, 22));
  pnlPreviewPlay = new TVideoPanel(this);
  pnlPreviewPlay->setObjectName("pnlPreviewPlay");
  pnlPreviewPlay->setGeometry(1, 32, 280, 220);
  imgPreview = NewLabel(pnlPreviewPlay, "imgPreview", QString(), QRect(0, 0, 280, 220));
  imgPreview->setAlignment(Qt::AlignCenter);

  tbarPreview = new TTrackBar(this);
  tbarPreview->setObjectName("tbarPreview");
  tbarPreview->setGeometry(8, 262, 268, 26);
  tbarPreview->setRange(0, 10);
  tbarPreview->OnMouseDown = [this] { tbarPreviewMouseDown(); };
  tbarPreview->OnMouseUp = [this] { tbarPreviewMouseUp(); };

  const auto button = [this](const char *name, QAction *action, int x) {
    auto *b = NewButton(this, name, action, QRect(x, 302, 34, 34), Qt::ToolButtonIconOnly);
    b->setIconSize(QSize(20, 20));
    return b;
  };
  btnPlay = button("btnPlay", actPlay, 8);
  btnStop = button("btnStop", actStop, 44);
  btnPrevious = button("btnPrevious", actPrevious, 80);
  btnNext = button("btnNext", actNext, 116);
  btnSnapshot = button("btnSnapshot", actSnapshot, 170);
  btnOpenSnapshot = button("btnOpenSnapshot", actOpenSnapshot, 206);
  btnSnapShotOption = button("btnSnapShotOption", actSnapshotOptions, 242);
}

void TPreviewPanel::LoadPictures() {
  imgPreview->setPixmap(panels::LoadPicture("VideoRes/MainPreview.png"));
  // A button shows the picture of its action, so the picture is given to the action.
  const struct {
    QAction *Action;
    const char *File;
  } glyphs[] = {
      {actPlay, "VideoRes/Play.png"},         {actStop, "VideoRes/Stop.png"},
      {actPrevious, "VideoRes/Previous.png"}, {actNext, "VideoRes/Next.png"},
      {actSnapshot, "VideoRes/Snapshot.png"}, {actOpenSnapshot, "VideoRes/Open.png"},
      {actSnapshotOptions, "VideoRes/SnapOption.png"},
  };
  for (const auto &glyph : glyphs)
    glyph.Action->setIcon(QIcon(panels::LoadPicture(glyph.File)));
}

void TPreviewPanel::ConnectPlayer() {
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

void TPreviewPanel::SelectionChanged(const QString &caption, int position, int rows) {
  // The play buttons are not refreshed here: the player's state event does that.
  actStopExecute();
  PlayState = psStop;
  lblPreviewInfo->setText("Preview:" + caption);
  const bool hasSelection = position >= 0;
  actPrevious->setEnabled(hasSelection && position > 0);
  actNext->setEnabled(hasSelection && position < rows - 1);
  actPlay->setEnabled(hasSelection && (PlayState == psPause || PlayState == psStop));
  actStop->setEnabled(hasSelection && PlayState != psStop);
}

void TPreviewPanel::UpdatePlayButtons() {
  const bool stopped = PlayState == psStop || PlayState == psEnd;
  imgPreview->setVisible(stopped);
  actPlay->setEnabled(stopped);
  actStop->setEnabled(!stopped);
  if (stopped)
    tbarPreview->setValue(0);
  actSnapshot->setEnabled(PlayState == psPlay || PlayState == psPause || PlayState == psResume);
}

void TPreviewPanel::actPlayExecute() {
  const TSource source = Source ? Source() : TSource{};
  if (!source.Selected)
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
  case psEnd:
    if (source.Path.empty())
      return;
    lblPreviewInfo->setText("Preview:" + source.Caption);
    OpenPreview(source.Path);
    break;
  default:
    break;
  }
}

void TPreviewPanel::OpenPreview(const std::string &path) {
  if (!fplyrPreview.LibrariesLoaded())
    fplyrPreview.LoadLibraries(platform::ExeFolder() + "Lib");
  fplyrPreview.Stop(true);
  fplyrPreview.Open(path, pnlPreviewPlay);
}

void TPreviewPanel::actStopExecute() {
  fplyrPreview.Stop(true);
  pnlPreviewPlay->Clear();
}

void TPreviewPanel::fplyrPreviewFileOpen(int64_t duration, int &screenWidth, int &screenHeight) {
  screenWidth = pnlPreviewPlay->width();
  screenHeight = pnlPreviewPlay->height();
  PlayState = psPlay;
  tbarPreview->SetSliderVisible(duration > 0);
  // The bar counts microseconds; a file longer than the bar's range is shown in coarser steps.
  tbarPreview->setMaximum(static_cast<int>(std::clamp<int64_t>(duration, 0, INT_MAX)));
  tbarPreview->SetAutoTicks();
  PreviewDuration = duration;
}

void TPreviewPanel::fplyrPreviewPosition(int64_t pts) {
  // A thumb the user holds stays where the user put it.
  if (pts > 0 && PreviewDuration > 0 && !tbarPreview->isSliderDown())
    tbarPreview->setValue(static_cast<int>(MulDiv64(pts, tbarPreview->maximum(), PreviewDuration)));
}

void TPreviewPanel::fplyrPreviewState(TPlayState state) {
  PlayState = state;
  UpdatePlayButtons();
}

void TPreviewPanel::tbarPreviewMouseDown() {
  fplyrPreview.Pause();
}

void TPreviewPanel::tbarPreviewMouseUp() {
  const int64_t position = MulDiv64(PreviewDuration, tbarPreview->value(), tbarPreview->maximum());
  if (PlayState == psPause) {
    fplyrPreview.Seek(position);
    fplyrPreview.Resume();
  } else {
    actPlayExecute();
    fplyrPreview.Seek(position);
  }
}

void TPreviewPanel::actSnapshotExecute() {
  const TSource source = Source ? Source() : TSource{};
  if (!source.Selected || source.Path.empty())
    return;
  std::string path, error;
  if (!TakeSnapShot(fplyrPreview.GetCurrentFrame(), IniOptions, source.Caption.toStdString(), path, error))
    platform::ShowMessage(error, platform::TMsgIcon::Warning);
}

void TPreviewPanel::actOpenSnapshotExecute() {
  platform::Shell().Open(SnapShotFolder(IniOptions));
}

void TPreviewPanel::actSnapshotOptionsExecute() {
  TSnapShotForm form(this);
  form.exec();
}
