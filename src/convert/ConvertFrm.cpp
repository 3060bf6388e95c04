#include "convert/ConvertFrm.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <filesystem>

#include "convert/ConvertHelpers.h"
#include "convert/ConvertUnt.h"
#include "convert/ShownName.h"
#include "convert/JobBuilder.h"
#include "convert/ProgressPicture.h"
#include "convert/RunningFiles.h"
#include "engine/Bitmap.h"
#include "engine/EngineTypes.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/ExeFolder.h"
#include "platform/Notifier.h"
#include "platform/Power.h"
#include "platform/Shell.h"

TConvertForm::TConvertForm(TTvlConvert &driver, std::string outputFolder, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      FDriver(driver), FOutputFolder(std::move(outputFolder)) {
  setObjectName("ConvertForm");
  setWindowTitle("Converting");
  setSizeGripEnabled(true);
  setModal(true);
  CreateControls();
  lstRunning->OnChoose = [this](int task) {
    FChosenTask = task;
    ConvertProgress();
  };
  ResetRunState();
  // The elapsed time moves on between progress reports, and while a long file reports rarely.
  FTimeTick = new QTimer(this);
  FTimeTick->setInterval(1000);
  connect(FTimeTick, &QTimer::timeout, this, [this] { ShowTime(); });

  connect(btnPause, &QPushButton::clicked, this, [this] { PauseOrResume(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { Cancel(); });
  connect(chkPreview, &QCheckBox::clicked, this, [this] { ApplyPreviewRule(); });
}

TConvertForm::~TConvertForm() {
  // The run is over when the window goes (its end report was the last event); nothing may call
  // into a window that no longer exists.
  FDriver.Engine.OnProgress = nullptr;
  FDriver.Engine.OnTerminate = nullptr;
  FDriver.Engine.OnPreviewBitmap = nullptr;
  platform::Power().ReleaseSleep();
}

bool TConvertForm::BeginRun(int32_t fileCount, const std::string &ext) {
  const bool audio = IsAudioExtension(ext);
  chkPreview->setEnabled(!audio);
  chkPreview->setChecked(!audio);
  ApplyPreviewRule();

  State = stConverting;
  pBarCur->setValue(0);
  pBarAll->setValue(0);
  Canceled = false;
  FileCount = fileCount;
  ShownTask = FrameTask = PictureTask = -1;
  ResetRunState();

  TFFmpegVCL &engine = FDriver.Engine;
  engine.OnProgress = [this](int index, int frame, int fps, int current, float quality, float bitRate, int64_t size,
                             int total) { FFmpegProgress(index, frame, fps, current, quality, bitRate, size, total); };
  engine.OnTerminate = [this](int index, bool finished, bool failed, const std::string &message) {
    FFmpegTerminate(index, finished, failed, message);
  };
  engine.OnPreviewBitmap = [this](int index, TBitmap *bitmap, int frame, int64_t pts) {
    FFmpegPreviewBitmap(index, bitmap, frame, pts);
  };
  engine.SetPreviewBitmap(true);

  // Without a task the engine never reports the run's end: there is nothing to wait for.
  if (engine.TaskTotal() == 0)
    return false;
  // Nothing runs yet: the files' results can be read without the lock.
  FEndedTold = 0;
  if (OnFileEnded)
    OnFileEnded(0);
  FEstimate.Start(platform::Clock().NowMs(), engine.TaskTotal(), FSimultaneous);
  ShowTime();
  FTimeTick->start();
  platform::Power().InhibitSleep(platform::ApplicationTitle, "Converting videos");
  FDriver.StartConversion();
  return true;
}

void TConvertForm::RunConversion(int32_t fileCount, const std::string &ext) {
  if (BeginRun(fileCount, ext))
    exec();
}

void TConvertForm::FFmpegProgress(int AIndex, int, int, int ACurrentDuration, float, float, int64_t, int) {
  if (AIndex < 0)
    return;
  {
    std::lock_guard guard(FLock);
    CurrentIndex = AIndex;
    FProgressMs = ACurrentDuration;
    if (static_cast<std::size_t>(AIndex) < FTaskMs.size())
      FTaskMs[static_cast<std::size_t>(AIndex)] = ACurrentDuration;
  }
  QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(WM_CONVERT_PROGRESS)));
}

void TConvertForm::FFmpegTerminate(int AIndex, bool AFinished, bool AException, const std::string &AMessage) {
  // Outside the lock: making a finished output durable may take a while, and the window waits for
  // the lock.
  std::string error;
  const bool kept = AIndex < 0 || FDriver.FinishOutput(AIndex, !AException, error);
  std::unique_lock guard(FLock);
  if (AIndex >= 0) {
    // One file's end: the run goes on, and so do pause and resume. The bars show it complete.
    FDriver.TaskEnded(AIndex, AFinished && kept, AException || !kept, kept ? AMessage : error);
    ++FEnded;
    if (static_cast<std::size_t>(AIndex) < FTaskEnded.size())
      FTaskEnded[static_cast<std::size_t>(AIndex)] = 1;
    guard.unlock();
    QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(WM_CONVERT_PROGRESS)));
    return;
  }
  State = stEnded;
  guard.unlock();
  QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(WM_CONVERT_DONE)));
}

void TConvertForm::FFmpegPreviewBitmap(int AIndex, TBitmap *ABitmap, int, int64_t) {
  if (!ABitmap)
    return;
  FrameTask = AIndex;
  // The engine fills the bitmap under this lock; taking it orders the copy after the filling.
  std::lock_guard guard(PreviewLock());
  FrameBitmap = QImage(ABitmap->Bits(), ABitmap->Width(), ABitmap->Height(), ABitmap->Stride(), QImage::Format_BGR888)
                    .copy();
  QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(WM_CONVERT_PREVIEW)));
}

bool TConvertForm::event(QEvent *e) {
  switch (static_cast<int>(e->type())) {
  case WM_CONVERT_PROGRESS:
    ConvertProgress();
    return true;
  case WM_CONVERT_PREVIEW:
    ConvertPreview();
    return true;
  case WM_CONVERT_DONE:
    ConvertDone();
    return true;
  default:
    return QDialog::event(e);
  }
}

// Reports arrive late and out of step: a task's last report may come after the next task's first
// picture, and a task's first report comes only after its first progress interval. The window
// follows the newest task it has heard of and drops what is older.
void TConvertForm::ConvertProgress() {
  if (FSimultaneous > 1) {
    ConvertProgressAtOnce();
    return;
  }
  // Before the lock: the engine's lock is held around the end reports, which take ours.
  const int taskTotal = FDriver.Engine.TaskTotal();
  std::unique_lock guard(FLock);
  const int32_t index = CurrentIndex;
  const int currentMs = FProgressMs;
  const int32_t ended = FEnded;
  if (ended > FEndedTold && OnFileEnded) {
    FEndedTold = ended;
    OnFileEnded(ended < taskTotal ? ended : -1);
  }
  guard.unlock();
  if (index > ShownTask)
    ShowTask(index, currentMs, ended > index);
  else if (ShownTask >= 0)
    // A report of an older task, or a task's end: what the shown task is at now.
    ShowTask(ShownTask, index == ShownTask ? currentMs : 0, ended > ShownTask);
}

void TConvertForm::ConvertPreview() {
  // A picture of a task already left behind is not shown; with several at once, only the
  // described one's.
  if (FrameTask < ShownTask || (FSimultaneous > 1 && FrameTask != ShownTask && ShownTask >= 0))
    return;
  if (FrameTask > ShownTask) {
    std::unique_lock guard(FLock);
    const int32_t ended = FEnded;
    guard.unlock();
    ShowTask(FrameTask, 0, ended > FrameTask);
  }
  auto *panel = static_cast<TProgressPicture *>(pnlPreview);
  panel->Picture = FrameBitmap;
  PictureTask = FrameTask;
  panel->update();
}

void TConvertForm::ShowTask(int32_t task, int currentMs, bool ended) {
  const TInputFile *file = FDriver.FileOfTask(task);
  if (!file)
    return;
  if (task != ShownTask) {
    ShownTask = task;
    // The picture of the task before is no picture of this one.
    if (PictureTask != task) {
      static_cast<TProgressPicture *>(pnlPreview)->Picture = QImage();
      PictureTask = -1;
    }
  }
  const int taskTotal = FDriver.Engine.TaskTotal();
  lblIndex->setText(QString("Current:%1 / Total:%2").arg(task + 1).arg(taskTotal));
  lblFileInfo->setText(QString::fromStdString(EscapeControls(file->OutputOptions.FileName)));
  const TTaskPoint point = PointOf(*file, task, currentMs, ended);
  // A file of unknown length gives the run's estimate nothing to go by.
  if (point.TotalMs >= 0)
    FEstimate.Progress(platform::Clock().NowMs(), task, point.DoneMs, point.TotalMs);
  ShowTime();
  lblInfoLength->setText(QString("Converted Length of Current file: %1 / %2")
                             .arg(QString::fromStdString(FormatSeconds(static_cast<int32_t>(point.DoneMs / 1000))),
                                  QString::fromStdString(FormatSeconds(static_cast<int32_t>(point.TotalMs / 1000)))));
  const int percent = point.Percent;
  pBarCur->setValue(percent);
  // The tasks run one after another: every task before this one is finished.
  if (taskTotal > 0 && FSimultaneous <= 1)
    pBarAll->setValue(static_cast<int>((int64_t{task} * 100 + percent) / taskTotal));
  if (imgConverting->isVisible())
    imgConverting->update();
  pnlPreview->update();
}

TConvertForm::TTaskPoint TConvertForm::PointOf(const TInputFile &file, int32_t task, int currentMs, bool ended) const {
  // A file that does not tell its length moves the bars by the share of it read so far.
  const int64_t outputMs = OutputLengthMs(file);
  const bool lengthKnown = outputMs >= 0;
  TTaskPoint point;
  point.TotalMs = lengthKnown ? outputMs : -1000;
  point.DoneMs = !lengthKnown ? currentMs : ended ? point.TotalMs : std::min<int64_t>(currentMs, point.TotalMs);
  // In milliseconds: whole seconds put a short file past 100 % before its end, and the bars froze.
  if (ended)
    point.Percent = 100;
  else if (lengthKnown)
    point.Percent =
        point.TotalMs > 0 ? static_cast<int>(std::clamp<int64_t>(point.DoneMs * 100 / point.TotalMs, 0, 100)) : 0;
  else if (const int permille = FDriver.Engine.TaskInputPermille(task); permille >= 0)
    point.Percent = std::clamp(permille / 10, 0, 100);
  return point;
}

void TConvertForm::ConvertProgressAtOnce() {
  const int taskTotal = FDriver.Engine.TaskTotal();
  std::unique_lock guard(FLock);
  const std::vector<int> taskMs = FTaskMs;
  const std::vector<uint8_t> taskEnded = FTaskEnded;
  const int32_t ended = FEnded;
  guard.unlock();
  int64_t percents = 0;
  int firstRunning = -1;
  for (std::size_t t = 0; t < taskMs.size(); ++t) {
    const int task = static_cast<int>(t);
    const TInputFile *file = FDriver.FileOfTask(task);
    if (taskEnded[t] || !file) {
      FEstimate.Ended(task);
      lstRunning->DropTask(task);
      percents += 100;
      continue;
    }
    if (taskMs[t] < 0)
      continue;
    const TTaskPoint point = PointOf(*file, task, taskMs[t], false);
    if (point.TotalMs >= 0)
      FEstimate.Progress(platform::Clock().NowMs(), task, point.DoneMs, point.TotalMs);
    percents += point.Percent;
    firstRunning = firstRunning < 0 ? task : firstRunning;
    lstRunning->ShowTask(task, QString::fromStdString(EscapeControls(file->OutputOptions.FileName)), point.Percent,
                         QString::fromStdString(FormatSeconds(static_cast<int32_t>(point.DoneMs / 1000))));
  }
  // Told once per end, with the first file still converting; the files' results can be read now.
  if (ended > FEndedTold && OnFileEnded) {
    FEndedTold = ended;
    OnFileEnded(ended < taskTotal ? std::max(firstRunning, 0) : -1);
  }
  const bool chosenRuns = FChosenTask >= 0 && static_cast<std::size_t>(FChosenTask) < taskEnded.size() &&
                          !taskEnded[static_cast<std::size_t>(FChosenTask)];
  const int32_t shown = chosenRuns ? FChosenTask : firstRunning;
  if (shown >= 0)
    ShowTask(shown, std::max(taskMs[static_cast<std::size_t>(shown)], 0), false);
  if (taskTotal > 0)
    pBarAll->setValue(static_cast<int>(percents / taskTotal));
}

void TConvertForm::ResetRunState() {
  FSimultaneous = FDriver.Shape().Simultaneous;
  FChosenTask = -1;
  {
    std::lock_guard guard(FLock);
    FEnded = 0;
    FTaskMs.assign(static_cast<std::size_t>(std::max(FDriver.Engine.TaskTotal(), 0)), -1);
    FTaskEnded.assign(FTaskMs.size(), 0);
  }
  if (FSimultaneous > 1)
    ShowRunningFiles();
}

void TConvertForm::ShowTime() {
  lblTime->setText(QString::fromStdString(FEstimate.Text(platform::Clock().NowMs())));
}

void TConvertForm::PauseOrResume() {
  uint8_t converting = stConverting, paused = stPaused;
  if (State.compare_exchange_strong(converting, stPaused)) {
    FDriver.Engine.PauseTasks();
    FEstimate.Pause(platform::Clock().NowMs());
    btnPause->setText("&Resume");
    setWindowTitle("Converting(Pause)");
  } else if (State.compare_exchange_strong(paused, stConverting)) {
    FDriver.Engine.ResumeTasks();
    FEstimate.Resume(platform::Clock().NowMs());
    btnPause->setText("&Pause");
    setWindowTitle("Converting");
  }
  update();
}

void TConvertForm::Cancel() {
  bool pausedHere = false;
  if (State == stConverting) {
    PauseOrResume();
    pausedHere = State == stPaused;
  }
  if (platform::ShowMessage("Do you want to cancel the conversion?", platform::TMsgIcon::Question,
                            platform::TMsgButtons::YesNo) == platform::TMsgResult::Yes) {
    CancelNow();
  } else if (pausedHere && State == stPaused) {
    PauseOrResume();
  }
}

void TConvertForm::CancelNow() {
  Canceled = true;
  FDriver.Engine.StopTasks();
}

void TConvertForm::ApplyPreviewRule() {
  const bool on = chkPreview->isChecked();
  FDriver.Engine.SetPreviewBitmap(on);
  imgConverting->setVisible(!on);
  static_cast<TProgressPicture *>(pnlPreview)->ShowPicture = on;
  pnlPreview->update();
}

void TConvertForm::closeEvent(QCloseEvent *e) {
  // Only the run's end closes the window.
  if (!FClosing)
    e->ignore();
}

void TConvertForm::reject() {}
