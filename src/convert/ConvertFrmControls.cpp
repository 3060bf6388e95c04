// The progress window's controls and their layout.
#include "convert/ConvertFrm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <filesystem>

#include "convert/ProgressPicture.h"
#include "convert/RunningFiles.h"
#include "platform/ExeFolder.h"
#include "platform/qt/QtWindowSize.h"

namespace {

// The window's size when it was placed by coordinates: its smallest now. The running files' rows
// make it taller.
constexpr QSize SmallestSize(428, 476);
constexpr int RunningFilesHeight = 120;
constexpr QSize PictureSize(390, 240);
// How long a passing line stays.
constexpr int NoteMs = 6000;

template <typename T> T *Named(T *control, const char *name) {
  control->setObjectName(name);
  return control;
}

// A line of text that never widens the window: a long file name is cut at the window's edge.
QLabel *TextLine(QWidget *parent, const char *name) {
  auto *label = Named(new QLabel(parent), name);
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  label->setMinimumHeight(18);
  return label;
}

} // namespace

void TConvertForm::CreatePicture() {
  pnlPreview = Named(new TProgressPicture(this), "pnlPreview");
  pnlPreview->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  pnlPreview->setMinimumSize(PictureSize);
  pnlPreview->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  imgConverting = Named(new QLabel(pnlPreview), "imgConverting");
  auto *centre = new QGridLayout(pnlPreview);
  centre->addWidget(imgConverting, 0, 0, Qt::AlignCenter);
  const std::string gif = platform::ExeFolder() + "MKVRes/Converting.gif";
  std::error_code ec;
  if (std::filesystem::exists(gif, ec)) {
    auto *movie = new QMovie(QString::fromStdString(gif), QByteArray(), this);
    imgConverting->setMovie(movie);
    movie->jumpToFrame(0);
    imgConverting->setFixedSize(movie->currentImage().size());
    movie->start();
  }
}

void TConvertForm::CreateControls() {
  CreatePicture();
  lblIndex = TextLine(this, "lblIndex");
  chkPreview = Named(new QCheckBox("Preview", this), "chkPreview");
  lblFileInfo = TextLine(this, "lblFileInfo");
  pBarCur = Named(new QProgressBar(this), "pBarCur");
  pBarAll = Named(new QProgressBar(this), "pBarAll");
  for (QProgressBar *bar : {pBarCur, pBarAll}) {
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setMinimumHeight(18);
  }
  lblInfoLength = TextLine(this, "lblInfoLength");
  lblTime = TextLine(this, "lblTime");
  lstRunning = Named(new TRunningFiles(this), "lstRunning");
  lstRunning->setFixedHeight(RunningFilesHeight - 8);
  lstRunning->hide();
  chkShutdown = Named(new QCheckBox("Shut down computer when conversion completed.", this), "chkShutdown");
  chkOpenOutput =
      Named(new QCheckBox("Open output folder when conversion completed.", this), "chkOpenOutput");
  lblNote = TextLine(this, "lblNote");
  FNoteTimer = new QTimer(this);
  FNoteTimer->setSingleShot(true);
  FNoteTimer->setInterval(NoteMs);
  connect(FNoteTimer, &QTimer::timeout, lblNote, &QLabel::clear);
  btnPause = Named(new QPushButton("&Pause", this), "btnPause");
  btnCancel = Named(new QPushButton("&Cancel", this), "btnCancel");
  for (QPushButton *button : {btnPause, btnCancel}) {
    button->setMinimumSize(85, 25);
    button->setAutoDefault(false);
  }
  LayOut();
}

void TConvertForm::LayOut() {
  auto *index = new QHBoxLayout;
  index->addWidget(lblIndex, 1);
  index->addWidget(chkPreview);
  auto *buttons = new QHBoxLayout;
  buttons->setSpacing(9);
  buttons->addWidget(lblNote, 1);
  buttons->addWidget(btnPause);
  buttons->addWidget(btnCancel);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(19, 10, 19, 9);
  layout->setSpacing(4);
  layout->addWidget(pnlPreview, 1);
  layout->addSpacing(4);
  layout->addLayout(index);
  for (QWidget *line :
       std::initializer_list<QWidget *>{lblFileInfo, pBarCur, pBarAll, lblInfoLength, lblTime})
    layout->addWidget(line);
  layout->addWidget(lstRunning);
  layout->addSpacing(2);
  layout->addWidget(chkShutdown);
  layout->addWidget(chkOpenOutput);
  layout->addLayout(buttons);
  platform::FitWindowSize(*this, SmallestSize);
}

void TConvertForm::ShowRunningFiles() {
  if (!lstRunning->isHidden())
    return;
  lstRunning->show();
  platform::FitWindowSize(*this, SmallestSize + QSize(0, RunningFilesHeight));
}

void TConvertForm::ShowNote(const QString &text) {
  lblNote->setText(text);
  lblNote->setToolTip(text);
  FNoteTimer->start();
}
