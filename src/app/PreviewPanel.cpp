#include "app/PreviewPanel.h"

#include "app/PanelKit.h"
#include "convert/ConvertUnt.h"
#include "edit/SnapShot.h"
#include "edit/SnapShotFrm.h"
#include "edit/TrackBar.h"
#include "edit/VideoPanel.h"
#include "platform/Dialogs.h"
#include "platform/ExeFolder.h"
#include "profiles/tvlIniUnt.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

using panels::NewAction;
using panels::NewButton;
using panels::NewLabel;

namespace {
// The shape and the smallest size of the video.
constexpr QSize VideoSize(280, 220);
// How long a note under the preview stays.
constexpr int NoteMs = 8000;
} // namespace

TPreviewPanel::TPreviewPanel(QWidget *parent) : QFrame(parent) {
  setObjectName("pnlPreview");
  // One line around: the video's smallest size plus the frame is the panel's width in the smallest window.
  setFrameStyle(QFrame::Panel | QFrame::Plain);
  setLineWidth(1);
  CreateActions();
  CreateControls();
  LayOut();
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
  lblPreviewInfo = NewLabel(this, "lblPreviewInfo", QString());
  lblPreviewInfo->setMinimumHeight(22);
  // The video keeps its shape inside this area, which takes what the panel gains.
  FVideoArea = new QWidget(this);
  FVideoArea->setMinimumSize(VideoSize);
  FVideoArea->installEventFilter(this);
  pnlPreviewPlay = new TVideoPanel(FVideoArea);
  pnlPreviewPlay->setObjectName("pnlPreviewPlay");
  pnlPreviewPlay->resize(VideoSize);
  imgPreview = NewLabel(pnlPreviewPlay, "imgPreview", QString());
  imgPreview->setAlignment(Qt::AlignCenter);
  imgPreview->setScaledContents(true);
  imgPreview->resize(VideoSize);

  tbarPreview = new TTrackBar(this);
  tbarPreview->setObjectName("tbarPreview");
  tbarPreview->setMinimumHeight(26);
  tbarPreview->setRange(0, 10);
  tbarPreview->setAccessibleName("Preview position");
  tbarPreview->OnMouseDown = [this] { tbarPreviewMouseDown(); };
  tbarPreview->OnMouseUp = [this] { tbarPreviewMouseUp(); };

  const auto button = [this](const char *name, QAction *action) {
    auto *b = NewButton(this, name, action, QSize(34, 34), Qt::ToolButtonIconOnly);
    b->setIconSize(QSize(20, 20));
    return b;
  };
  btnPlay = button("btnPlay", actPlay);
  btnStop = button("btnStop", actStop);
  btnPrevious = button("btnPrevious", actPrevious);
  btnNext = button("btnNext", actNext);
  btnSnapshot = button("btnSnapshot", actSnapshot);
  btnOpenSnapshot = button("btnOpenSnapshot", actOpenSnapshot);
  btnSnapShotOption = button("btnSnapShotOption", actSnapshotOptions);
  lblPreviewNote = NewLabel(this, "lblPreviewNote", QString());
  lblPreviewNote->setMinimumHeight(20);
  FNoteTimer = new QTimer(this);
  FNoteTimer->setSingleShot(true);
  FNoteTimer->setInterval(NoteMs);
  connect(FNoteTimer, &QTimer::timeout, lblPreviewNote, &QLabel::clear);
}

void TPreviewPanel::LayOut() {
  const auto indented = [](QWidget *widget) {
    auto *row = new QHBoxLayout;
    row->setContentsMargins(7, 0, 7, 0);
    row->addWidget(widget);
    return row;
  };
  auto *buttons = new QHBoxLayout;
  buttons->setContentsMargins(7, 0, 0, 0);
  buttons->setSpacing(2);
  for (QWidget *b : {btnPlay, btnStop, btnPrevious, btnNext})
    buttons->addWidget(b);
  buttons->addSpacing(16);
  for (QWidget *b : {btnSnapshot, btnOpenSnapshot, btnSnapShotOption})
    buttons->addWidget(b);
  buttons->addStretch();
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 5, 0, 3);
  layout->setSpacing(0);
  layout->addLayout(indented(lblPreviewInfo));
  layout->addSpacing(4);
  layout->addWidget(FVideoArea, 1);
  layout->addSpacing(10);
  layout->addLayout(indented(tbarPreview));
  layout->addSpacing(14);
  layout->addLayout(buttons);
  layout->addLayout(indented(lblPreviewNote));
}

bool TPreviewPanel::eventFilter(QObject *watched, QEvent *event) {
  if (watched == FVideoArea && event->type() == QEvent::Resize)
    FitVideo();
  return QFrame::eventFilter(watched, event);
}

void TPreviewPanel::FitVideo() {
  // The largest rectangle of the video's shape that fits, centred.
  const QSize fitted = VideoSize.scaled(FVideoArea->size(), Qt::KeepAspectRatio);
  const QSize area = FVideoArea->size();
  pnlPreviewPlay->setGeometry(
      QRect(QPoint((area.width() - fitted.width()) / 2, (area.height() - fitted.height()) / 2), fitted));
  imgPreview->resize(pnlPreviewPlay->size());
}

void TPreviewPanel::ShowNote(const QString &text) {
  lblPreviewNote->setText(text);
  lblPreviewNote->setToolTip(text);
  FNoteTimer->start();
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
    glyph.Action->setIcon(panels::LoadIcon(glyph.File));
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

void TPreviewPanel::PlayOrStop() {
  if (PlayState == psPlay || PlayState == psResume || PlayState == psPause)
    actStopExecute();
  else
    actPlayExecute();
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
  else
    ShowNote("Snapshot saved to " + QString::fromStdString(path));
}

void TPreviewPanel::actOpenSnapshotExecute() {
  panels::OpenOrSay(SnapShotFolder(IniOptions));
}

void TPreviewPanel::actSnapshotOptionsExecute() {
  TSnapShotForm form(this);
  form.exec();
}
