#include "edit/EditFrm.h"
#include "edit/TargetSizeBox.h"

#include "convert/ConvertHelpers.h"
#include "convert/ConvertUnt.h"
#include "edit/FormControls.h"
#include "edit/TrackBar.h"
#include "edit/TrackList.h"
#include "edit/VideoPanel.h"
#include "platform/ExeFolder.h"
#include "platform/qt/QtWindowSize.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPolygon>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace {

constexpr int DragSeekInterval = 100; // ms between seeks while the bar is dragged
constexpr int InitialMaximum = 100;
constexpr int64_t MarkStep = 50; // ms a mark keeps from the other one when set on its wrong side

// Milliseconds as the window shows them: whole seconds, toward zero.
QString FormatMs(int64_t ms) {
  return QString::fromStdString(FormatSeconds(static_cast<int32_t>(ms / 1000)));
}

QPushButton *NewButton(QWidget *parent, const char *name, const QString &caption, const QSize &size) {
  auto *button = Named(new QPushButton(caption, parent), name);
  button->setMinimumSize(size);
  // The keys of the window (Space, I, O) are its commands, not a press of the focused button.
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

// A picture button: the glyph from the installation, the hint as its tooltip.
QPushButton *GlyphButton(QWidget *parent, const char *name, const char *picture, const char *hint) {
  auto *button = NewButton(parent, name, QString(), QSize(32, 32));
  button->setFixedSize(32, 32);
  button->setIcon(QIcon(QString::fromStdString(platform::ExeFolder()) + picture));
  button->setIconSize(QSize(24, 24));
  if (*hint)
    button->setToolTip(hint);
  return button;
}

// The 16 × 16 marker under the bar: a bracket pointing up at the marked value, opening to the inside.
QPixmap Marker(bool start) {
  QPixmap picture(16, 16);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(start ? 0x2e7d32 : 0xc62828));
  const int edge = start ? 0 : 15;
  const int inner = start ? 9 : 6;
  painter.drawPolygon(QPolygon({QPoint(edge, 0), QPoint(inner, 8), QPoint(edge, 8)}));
  painter.drawRect(start ? QRect(0, 0, 3, 16) : QRect(13, 0, 3, 16));
  return picture;
}

QLineEdit *TimeEdit(QWidget *parent, const char *name) {
  auto *edit = Named(new QLineEdit(parent), name);
  edit->setMinimumSize(92, 24);
  edit->setInputMask("90:00:00;_");
  edit->setMaxLength(8);
  edit->setReadOnly(true);
  edit->setFocusPolicy(Qt::NoFocus);
  return edit;
}

} // namespace

TEditForm::TEditForm(TTvlConvert &convert, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FConvert(convert) {
  setObjectName("EditForm");
  setWindowTitle("Edit");
  CreateControls();
  LayOut();
  CreateShortcuts();

  // OnState reaches the window in the order the player reports, also from the play thread; OnFileOpen
  // and OnPosition come on the main thread already.
  fplyrEdit.OnFileOpen = [this](TCustomPlayer *, int64_t duration, int width, int height, int &screenWidth,
                                int &screenHeight) {
    fplyrEditFileOpen(duration, width, height, screenWidth, screenHeight);
  };
  fplyrEdit.OnLog = [](TCustomPlayer *, TLogType, const std::string &) {};
  fplyrEdit.OnPosition = [this](TCustomPlayer *, int64_t pts) { fplyrEditPosition(pts); };
  fplyrEdit.OnState = [this](TCustomPlayer *, TPlayState state) {
    QMetaObject::invokeMethod(this, [this, state] { fplyrEditState(state); }, Qt::QueuedConnection);
  };
}

TEditForm::~TEditForm() {
  // The playback ends while the window is whole: its last events may still reach the handlers (the
  // play thread reads them until it has ended, so they are not cleared here).
  fplyrEdit.Stop(true);
}

void TEditForm::CreateControls() {
  pnlEditPlay = Named(new TVideoPanel(this), "pnlEditPlay");
  pnlEditPlay->setFixedSize(400, 300);
  pnlEditPlay->setFrameShape(QFrame::StyledPanel);
  QPalette black = pnlEditPlay->palette();
  black.setColor(QPalette::Window, Qt::black);
  pnlEditPlay->setPalette(black);
  CreateTrack();

  btnPlay = GlyphButton(this, "btnPlay", "VideoRes/EPlay.png", "");
  btnStop = GlyphButton(this, "btnStop", "VideoRes/EStop.png", "");
  btnPlaySection = GlyphButton(this, "btnPlaySection", "VideoRes/EPlaySection.png", "Play Section");
  btnStart = GlyphButton(this, "btnStart", "VideoRes/Start.png", "Mark In");
  btnEnd = GlyphButton(this, "btnEnd", "VideoRes/End.png", "Mark Out");
  connect(btnPlay, &QPushButton::clicked, this, &TEditForm::btnPlayClick);
  connect(btnStop, &QPushButton::clicked, this, &TEditForm::btnStopClick);
  connect(btnPlaySection, &QPushButton::clicked, this, &TEditForm::btnPlaySectionClick);
  connect(btnStart, &QPushButton::clicked, this, &TEditForm::btnStartClick);
  connect(btnEnd, &QPushButton::clicked, this, &TEditForm::btnEndClick);

  lblFrameAspectRatio = Named(new QLabel("Frame Aspect Ratio:", this), "lblFrameAspectRatio");
  cbbFrameAspectRatio = Named(new QComboBox(this), "cbbFrameAspectRatio");
  cbbFrameAspectRatio->setMinimumHeight(26);
  cbbFrameAspectRatio->addItems({"Keep orginal", "4:3", "16:9", "Letter box(37:20)", "Pan&Scan(47:20)"});

  grpTrim = Named(new QGroupBox("Trim", this), "grpTrim");
  lblStart = Named(new QLabel("Start Time:", grpTrim), "lblStart");
  edtStartTime = TimeEdit(grpTrim, "edtStartTime");
  lblEndTime = Named(new QLabel("End Time:", grpTrim), "lblEndTime");
  edtEndTime = TimeEdit(grpTrim, "edtEndTime");
  btnResetTrim = NewButton(this, "btnResetTrim", "Reset", QSize(90, 28));
  connect(btnResetTrim, &QPushButton::clicked, this, &TEditForm::btnResetTrimClick);
  lstTracks = Named(new TTrackList(this), "lstTracks");
  TargetSize = Named(new TTargetSizeBox(this), "TargetSize");

  btnOK = Named(new QPushButton("&OK", this), "btnOK");
  btnCancel = Named(new QPushButton("&Cancel", this), "btnCancel");
  for (QPushButton *button : {btnOK, btnCancel})
    button->setMinimumSize(80, 30);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

// The bar and what marks it: the markers stand under the bar's values, so they share one panel
// placed by the bar's coordinates.
void TEditForm::CreateTrack() {
  pnlTrack = Named(new QWidget(this), "pnlTrack");
  pnlTrack->setFixedSize(400, 66);
  tbarEdit = Place(new TTrackBar(pnlTrack), "tbarEdit", QRect(0, 0, 397, 34));
  tbarEdit->setRange(0, InitialMaximum);
  tbarEdit->setTickPosition(QSlider::NoTicks);
  tbarEdit->setFocusPolicy(Qt::NoFocus);
  tbarEdit->OnMouseDown = [this] { tbarEditMouseDown(); };
  tbarEdit->OnMouseUp = [this] { tbarEditMouseUp(); };
  connect(tbarEdit, &QSlider::sliderMoved, this, &TEditForm::tbarEditMoved);
  FDragSeek = new QTimer(this);
  FDragSeek->setSingleShot(true);
  connect(FDragSeek, &QTimer::timeout, this, [this] { tbarEditMoved(tbarEdit->value()); });

  const int markerTop = tbarEdit->height();
  imgSelStart = Place(new QLabel(pnlTrack), "imgSelStart", QRect(0, markerTop, 16, 16));
  imgSelStart->setPixmap(Marker(true));
  imgSelEnd = Place(new QLabel(pnlTrack), "imgSelEnd", QRect(0, markerTop, 16, 16));
  imgSelEnd->setPixmap(Marker(false));
  lbl1 = Place(new QLabel("00:00:00", pnlTrack), "lbl1", QRect(0, markerTop + 16, 120, 16));
  lblEnd = Place(new QLabel("lblEnd", pnlTrack), "lblEnd", QRect(277, markerTop + 16, 120, 16));
  lblEnd->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void TEditForm::LayOut() {
  auto *trim = new QGridLayout(grpTrim);
  trim->setContentsMargins(10, 20, 10, 10);
  trim->setVerticalSpacing(10);
  trim->addWidget(lblStart, 0, 0);
  trim->addWidget(edtStartTime, 0, 1);
  trim->addWidget(lblEndTime, 1, 0);
  trim->addWidget(edtEndTime, 1, 1);
  layChoices = new QVBoxLayout;
  layChoices->setSpacing(2);
  layChoices->addWidget(lblFrameAspectRatio);
  layChoices->addWidget(cbbFrameAspectRatio);
  layChoices->addSpacing(13);
  layChoices->addWidget(grpTrim);
  layChoices->addSpacing(6);
  layChoices->addWidget(btnResetTrim, 0, Qt::AlignLeft);
  layChoices->addSpacing(8);
  layChoices->addWidget(lstTracks);
  layChoices->addWidget(TargetSize);
  auto *picture = new QVBoxLayout;
  picture->setSpacing(6);
  picture->addWidget(pnlEditPlay);
  picture->addWidget(pnlTrack);
  auto *playing = new QHBoxLayout;
  playing->setSpacing(4);
  for (QWidget *button : std::initializer_list<QWidget *>{btnPlay, btnStop, btnPlaySection})
    playing->addWidget(button);
  playing->addSpacing(12);
  playing->addWidget(btnStart);
  playing->addWidget(btnEnd);
  playing->addStretch();
  auto *closing = new QHBoxLayout;
  closing->setSpacing(8);
  closing->addStretch();
  closing->addWidget(btnOK);
  closing->addWidget(btnCancel);
  auto *layout = new QGridLayout(this);
  layout->setContentsMargins(8, 29, 10, 4);
  layout->setHorizontalSpacing(12);
  layout->setVerticalSpacing(1);
  layout->addLayout(picture, 0, 0, Qt::AlignTop);
  layout->addLayout(layChoices, 0, 1, Qt::AlignTop);
  layout->addLayout(playing, 1, 0, Qt::AlignBottom);
  layout->addLayout(closing, 1, 1, Qt::AlignBottom);
  layout->setRowStretch(0, 1);
  layout->setColumnStretch(1, 1);
  // The markers and the picture are placed for the bar's and the panel's size as a file opens:
  // the window keeps its size.
  platform::FitWindowSize(*this, QSize(630, 438), true);
}

void TEditForm::CreateShortcuts() {
  const auto key = [this](Qt::Key k, auto fn) {
    auto *shortcut = new QShortcut(QKeySequence(k), this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, fn);
  };
  key(Qt::Key_I, [this] { btnStart->click(); });
  key(Qt::Key_O, [this] { btnEnd->click(); });
}

int TEditForm::AspectIndex() const {
  return std::max(0, cbbFrameAspectRatio->currentIndex());
}

bool TEditForm::Edit(int position) {
  Prepare(position);
  return exec() == QDialog::Accepted;
}

void TEditForm::Prepare(int position) {
  PlayingSection = false;
  // A restored record has its choice of tracks but not yet the tracks to show it on.
  FConvert.ReadTracks(FConvert.Files[position]);
  const TInputFile &file = FConvert.Files[position];
  FileName = file.FileName;
  cbbFrameAspectRatio->setCurrentIndex(file.AspectIndex);
  lstTracks->Show(file.Tracks, file.AudioChoice, file.SubtitleChoice);
  TargetSize->SetBytes(file.TargetBytes);
  PlayFile(FileName);
  MarkIn = file.TrimStart;
  MarkOut = file.TrimStart + file.TrimDuration;
  edtStartTime->setText(FormatMs(MarkIn));
  MoveStartMarker(MarkIn != 0 ? MarkerLeft(MarkIn) : tbarEdit->x() + tbarEdit->HalfThumb());
  if (file.TrimDuration == 0) {
    edtEndTime->setText(QString::fromStdString(FormatSeconds(static_cast<int32_t>(EditDuration / 1000000))));
    MoveEndMarker(FarEnd());
  } else {
    edtEndTime->setText(FormatMs(MarkOut));
    MoveEndMarker(MarkerLeft(MarkOut) - imgSelEnd->width() - 20);
  }
}

void TEditForm::PlayFile(const std::string &fileName) {
  if (!fplyrEdit.LibrariesLoaded())
    fplyrEdit.LoadLibraries(platform::ExeFolder() + "Lib");
  fplyrEdit.Stop(true);
  fplyrEdit.Open(fileName, pnlEditPlay);
}

void TEditForm::fplyrEditFileOpen(int64_t duration, int frameWidth, int frameHeight, int &screenWidth,
                                  int &screenHeight) {
  screenWidth = pnlEditPlay->width();
  screenHeight = pnlEditPlay->height();
  FrameWidth = frameWidth;
  FrameHeight = frameHeight;
  EditDuration = duration;
  tbarEdit->SetSliderVisible(duration > 0);
  // The bar holds milliseconds in an int: a file of more than 24 days ends at the bar's end.
  const int maximum = static_cast<int>(std::clamp<int64_t>(duration / 1000, 0, INT_MAX));
  tbarEdit->setMaximum(maximum);
  tbarEdit->SetAutoTicks();
  // Without a length the markers stay at the left end.
  PixelsPerUnit = maximum > 0 ? static_cast<double>(tbarEdit->width()) / maximum : 0;
  lblEnd->setText(QString::fromStdString(FormatSeconds(static_cast<int32_t>(duration / 1000000))));
}

void TEditForm::fplyrEditPosition(int64_t pts) {
  if (pts <= 0 || EditDuration <= 0)
    return;
  const int64_t position = MulDiv64(tbarEdit->maximum(), pts, EditDuration);
  // A thumb the user holds stays under the mouse: the picture follows the thumb then, not the other way
  // round (moving it would also seek again from the drag).
  if (!tbarEdit->isSliderDown())
    tbarEdit->setValue(static_cast<int>(position));
  if (PlayingSection && position > MarkOut)
    QCoreApplication::postEvent(this, new QEvent(StopMessage));
}

void TEditForm::fplyrEditState(TPlayState state) {
  LastState = state;
  const bool stopped = state == psStop || state == psEnd;
  btnStop->setEnabled(!stopped);
  btnPlay->setEnabled(stopped);
  if (stopped)
    tbarEdit->setValue(0);
}

bool TEditForm::event(QEvent *event) {
  if (event->type() == StopMessage) {
    // Called, not clicked: the end of the file may have disabled the Stop button already.
    btnStopClick();
    return true;
  }
  return QDialog::event(event);
}

void TEditForm::keyPressEvent(QKeyEvent *event) {
  if (event->key() != Qt::Key_Space || event->modifiers() != Qt::NoModifier)
    return QDialog::keyPressEvent(event);
  PlayOrPause();
  event->accept();
}

void TEditForm::done(int result) {
  fplyrEdit.Stop(true);
  pnlEditPlay->Clear();
  QDialog::done(result);
}

void TEditForm::btnPlayClick() {
  PlayingSection = false;
  PlayFile(FileName);
}

void TEditForm::btnStopClick() {
  fplyrEdit.Stop(true);
  pnlEditPlay->Clear();
}

void TEditForm::btnPlaySectionClick() {
  PlayingSection = true;
  if (LastState == psPause) {
    SeekBar(MarkIn);
    fplyrEdit.Resume();
  } else {
    PlayFile(FileName);
    SeekBar(MarkIn);
  }
}

void TEditForm::SeekBar(int64_t value) {
  fplyrEdit.Seek(MulDiv64(EditDuration, value, tbarEdit->maximum()));
}

int TEditForm::MarkerLeft(int64_t mark) const {
  return tbarEdit->x() + tbarEdit->HalfThumb() + static_cast<int>(static_cast<double>(mark) * PixelsPerUnit);
}

int TEditForm::FarEnd() const {
  return tbarEdit->x() + tbarEdit->HalfThumb() + tbarEdit->width() - imgSelEnd->width() - 20;
}

void TEditForm::MoveStartMarker(int left) {
  imgSelStart->move(left, imgSelStart->y());
}

void TEditForm::MoveEndMarker(int left) {
  imgSelEnd->move(left, imgSelEnd->y());
}

void TEditForm::btnStartClick() {
  MarkIn = tbarEdit->value();
  if (MarkIn > MarkOut)
    MarkIn = MarkOut - MarkStep;
  MoveStartMarker(MarkerLeft(MarkIn));
  edtStartTime->setText(FormatMs(MarkIn));
}

void TEditForm::btnEndClick() {
  MarkOut = tbarEdit->value();
  if (MarkOut < MarkIn)
    MarkOut = MarkIn + MarkStep;
  MoveEndMarker(MarkerLeft(MarkOut) - imgSelEnd->width());
  edtEndTime->setText(FormatMs(MarkOut));
}

void TEditForm::btnResetTrimClick() {
  MarkIn = 0;
  MarkOut = tbarEdit->maximum();
  edtStartTime->setText(FormatMs(0));
  edtEndTime->setText(QString::fromStdString(FormatSeconds(static_cast<int32_t>(EditDuration / 1000000))));
  MoveStartMarker(tbarEdit->x() + tbarEdit->HalfThumb());
  MoveEndMarker(FarEnd());
}

void TEditForm::tbarEditMouseDown() {
  fplyrEdit.Pause();
}

void TEditForm::tbarEditMouseUp() {
  FDragSeek->stop();
  if (LastState == psPause) {
    SeekBar(tbarEdit->value());
    fplyrEdit.Resume();
  } else {
    PlayFile(FileName);
    SeekBar(tbarEdit->value());
  }
}

// The picture follows a dragged thumb, so the frame to cut at can be found; seeks are spaced out so the
// player is not flooded, and the value the thumb rests on is always sought.
void TEditForm::tbarEditMoved(int value) {
  if (!tbarEdit->isSliderDown() || EditDuration <= 0)
    return;
  if (FLastDragSeek.isValid() && FLastDragSeek.elapsed() < DragSeekInterval) {
    if (!FDragSeek->isActive())
      FDragSeek->start(DragSeekInterval - static_cast<int>(FLastDragSeek.elapsed()));
    return;
  }
  FLastDragSeek.start();
  SeekBar(value);
}

void TEditForm::PlayOrPause() {
  switch (LastState) {
  case psPlay:
  case psResume:
    fplyrEdit.Pause();
    break;
  case psPause:
    fplyrEdit.Resume();
    break;
  case psStop:
  case psEnd:
    btnPlay->click();
    break;
  default:
    break;
  }
}
