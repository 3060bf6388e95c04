#pragma once
// The progress window shown while the queue converts: current file, two bars, the converted
// length, a live picture, pause, resume and cancel, and what happens when the run is over.
#include <QDialog>
#include <QImage>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "convert/RunEstimate.h"

class QCheckBox;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class TBitmap;
struct TInputFile;
class TRunningFiles;
class TTvlConvert;

class TConvertForm : public QDialog {
  Q_OBJECT
public:
  // Event types of the messages the window posts to itself from the engine's handlers.
  static constexpr int WM_CONVERT_DONE = 3033;
  static constexpr int WM_CONVERT_PREVIEW = 3034;
  static constexpr int WM_CONVERT_PROGRESS = 3044;

  // Run states.
  static constexpr uint8_t stConverting = 1, stPaused = 2, stEnded = 3;

  // outputFolder is what the Open folder command opens when the run is over.
  TConvertForm(TTvlConvert &driver, std::string outputFolder, QWidget *parent = nullptr);
  ~TConvertForm() override;

  // Starts the run built in the driver and shows the window modally until the run is over. When
  // the driver holds no task it returns at once.
  void RunConversion(int32_t fileCount, const std::string &ext);
  // The first half of RunConversion: prepares the window and starts the engine; false, with
  // nothing started, when there is no task to run.
  bool BeginRun(int32_t fileCount, const std::string &ext);

  // Powers the computer off after a countdown the user can cancel. The system may still refuse
  // (other programs' inhibitors, the session policy); then the user is told why.
  static bool ShutdownWindows();
  static constexpr int PowerOffCountdownSeconds = 60;

  void PauseOrResume();
  void Cancel();
  // Cancel without asking: the session ends.
  void CancelNow();

  // Engine handlers. Progress and termination run on worker threads and only store values and
  // post messages; the preview handler runs on the main thread while the worker waits.
  void FFmpegProgress(int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration, float AQuality, float ABitRate,
                      int64_t ACurrentSize, int ATotalOutputDuration);
  void FFmpegTerminate(int AIndex, bool AFinished, bool AException, const std::string &AMessage);
  void FFmpegPreviewBitmap(int AIndex, TBitmap *ABitmap, int AFrameNumber, int64_t APTS);

  // Called on the main thread as the run starts and after each file's end, with the task converting
  // now (-1 when none is left); the files' results may be read meanwhile, as no end report writes
  // them during the call.
  std::function<void(int runningTask)> OnFileEnded;
  // A run that only prepares another (the first of two passes): it ends without a word, power-off
  // or opened folder.
  bool QuietEnd = false;

  bool Canceled = false;                      // main thread only
  std::atomic<uint8_t> State{stConverting};   // written by the end report of the run
  int32_t FileCount = 0;                      // main thread only
  QImage FrameBitmap;                         // main thread only
  int32_t FrameTask = -1;                     // main thread only: the task FrameBitmap comes from
  std::atomic<int32_t> CurrentIndex{0};       // task of the last progress report
  // The task the window shows: its label, file name, bars, length and picture all describe it.
  // Main thread only; it only moves forward, to the task of a newer report or picture.
  int32_t ShownTask = -1;
  int32_t PictureTask = -1; // main thread only: the task of the picture on the panel, -1 for none

  // The completion message: the run's text, and when any file did not succeed, how many failed
  // and how many were cancelled.
  std::string CompletionText() const;

  // A passing line beside the buttons: what happened meanwhile (files handed over during the run).
  void ShowNote(const QString &text);

  // Controls. Their objectName is their field name.
  QFrame *pnlPreview = nullptr;
  QLabel *imgConverting = nullptr;
  QLabel *lblIndex = nullptr;
  QCheckBox *chkPreview = nullptr;
  QLabel *lblFileInfo = nullptr;
  QProgressBar *pBarCur = nullptr, *pBarAll = nullptr;
  QLabel *lblInfoLength = nullptr;
  QLabel *lblTime = nullptr; // elapsed, remaining, speed
  QCheckBox *chkShutdown = nullptr, *chkOpenOutput = nullptr;
  QLabel *lblNote = nullptr;
  QPushButton *btnPause = nullptr, *btnCancel = nullptr;
  // Every file converting at the moment, when the run converts several at once (hidden otherwise).
  TRunningFiles *lstRunning = nullptr;

protected:
  bool event(QEvent *e) override;
  void closeEvent(QCloseEvent *e) override;
  void reject() override;

private:
  void CreateControls();
  void CreatePicture();
  void LayOut();
  void ApplyPreviewRule();
  void ConvertProgress();
  // The same when several files convert at once: every running file has its row, and the window
  // describes the chosen one (the first running one until a row is clicked).
  void ConvertProgressAtOnce();
  // The per-task state of the run built in the driver, and the running files' rows when it
  // converts several at once.
  void ResetRunState();
  // Makes room for the running files' rows.
  void ShowRunningFiles();
  void ConvertPreview();
  // Shows the task at the given point of its conversion; ended shows it complete.
  void ShowTask(int32_t task, int currentMs, bool ended);
  // Where a task is: media time done and to do (-1000 when unknown), and its percent.
  struct TTaskPoint {
    int64_t DoneMs = 0, TotalMs = 0;
    int Percent = 0;
  };
  TTaskPoint PointOf(const TInputFile &file, int32_t task, int currentMs, bool ended) const;
  void ConvertDone();
  void ShowTime();
  // Tells the desktop how the run went when the user is looking elsewhere.
  void NotifyWhenInactive();

  TTvlConvert &FDriver;
  std::string FOutputFolder;
  bool FClosing = false;
  TRunEstimate FEstimate;
  QTimer *FTimeTick = nullptr;
  QTimer *FNoteTimer = nullptr;
  // Hands the engine handlers' values to the main thread. The end reports write the records'
  // statuses before they take it, and the main thread takes it before it reads them.
  std::mutex FLock;
  int FProgressMs = 0; // guarded by FLock
  int32_t FEnded = 0;  // guarded by FLock: end reports of single tasks so far
  int32_t FEndedTold = 0; // main thread only: the end reports OnFileEnded has been told of
  // When several files convert at once: each task's last reported media time (-1: none yet) and
  // whether it has ended. Guarded by FLock.
  std::vector<int> FTaskMs;
  std::vector<uint8_t> FTaskEnded;
  int FSimultaneous = 1;   // main thread only: tasks converting at once in this run
  int32_t FChosenTask = -1; // main thread only: the running file the user clicked
};
