#pragma once
// The queue panel of the main window: the list of queued files, the commands that fill, order and
// edit it, and the adding of files in the background.
#include <QIcon>
#include <QList>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Dialogs.h"

class QAction;
class QFrame;
class QMenu;
class QProgressBar;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TTvlConvert;
class TQueueFiller;
class TQueueUndo;
class TSizeSampling;
struct TInputFile;
struct TProbedFile;
struct TSampleJob;

class TQueuePanel : public QWidget {
  Q_OBJECT
public:
  // The rows stand for the records of convert's queue, in their order; rowImages are the images of
  // rows: 0 audio, 1 video.
  TQueuePanel(TTvlConvert &convert, const QList<QIcon> &rowImages, QWidget *parent);
  ~TQueuePanel() override;

  // Adds files as Add Files does after its dialog (each new row selected in turn, one message at the
  // end naming every file that cannot be queued), and every video under a folder as Add Folder does
  // (the first new row selected, the message with the counts and the failed files at the end). Both probe in the background and
  // add the rows in the given order while the window stays usable; a request made meanwhile waits
  // its turn.
  void AddFiles(const std::vector<std::string> &paths);
  void AddFolder(std::string folder);
  // True until the last add request has ended.
  bool Adding() const;
  // Files and folders from the command line, a second start or a drop, in their order. Held back
  // while a dialog or a run is open.
  void QueuePaths(const std::vector<std::string> &paths);
  // Probing ends; nothing waiting starts. The window's end calls it before the queue goes.
  void EndAdding();

  // The commands' enabled states after a change of the queue or the selection.
  void UpdateActions();
  // The current row when it is selected, else the first selected one; -1 without a selection. Edit
  // and the preview take it; Remove and Move Up/Down take every selected row.
  int SelectedPosition() const;
  // Every selected row, ascending.
  std::vector<int> SelectedPositions() const;
  void SelectRow(int position);
  // Selects the rows, the one given as the current one.
  void SelectRows(const std::vector<int> &positions, int current);
  // Selects the row step positions away; false when there is none.
  bool SelectStep(int step);
  // The Status cell's tooltip of the selected row; empty without a selection.
  QString SelectedStatusReason() const;
  void actRemoveFileExecute();
  // A run is being built or converts: the rows of files probed meanwhile wait (the run reads the queue
  // from worker threads), and no size sample is encoded.
  void SetConverting(bool converting);
  // Before a run: no row of a file the filter takes (all, when it is empty) shows the result of an
  // earlier one. After it: each row shows its file's.
  void ClearResults(const std::function<bool(const TInputFile &)> &include = {});
  void ShowResults();
  // Each row's estimated output size with the profile; the queue's total in bytes. Rows whose size
  // samples tell better get them encoded in the background (those no longer shown are given up),
  // and show the measured size once it is known (see SampledSize).
  int64_t ShowEstimates(int profile);
  // One row's estimate shown, its samples wanted after the others'; its bytes.
  int64_t ShowEstimate(int position, int profile);
  // The rows of the records already queued (a restored queue), with their results.
  void ShowRecords();
  void LoadPictures();

  // Queue position of the row most recently selected; -1 at start and after Clear.
  int32_t SelectedIndex = -1;

  // Controls. Their objectName is their field name.
  QToolButton *btnAddFolder = nullptr, *btnAddFile = nullptr, *btnEditFile = nullptr;
  QTreeWidget *lvFileList = nullptr;
  QToolButton *btnRemoveFile = nullptr, *btnClear = nullptr, *btnMoveUp = nullptr, *btnMoveDown = nullptr;
  QMenu *pm1 = nullptr;
  // Shown over the queue buttons while files are being added: how far it is, and a way to stop.
  QFrame *pnlAdding = nullptr;
  QProgressBar *pbAdding = nullptr;
  QToolButton *btnStopAdding = nullptr;
  // The open-file dialog of Add Files.
  platform::TOpenFileRequest dlgFile;

  // Actions.
  QAction *actAddFile = nullptr, *actAddFolder = nullptr, *actEdit = nullptr, *actRemoveFile = nullptr;
  QAction *actClear = nullptr, *actMoveUp = nullptr, *actMoveDown = nullptr;
  // Puts back what the last Remove or Clear took out (Ctrl+Z).
  QAction *actUndo = nullptr;
  QAction *actStopAdding = nullptr;
  // Tells why the selected row has its status; the keyboard's way to the Status cell's tooltip.
  QAction *actStatusDetails = nullptr;

signals:
  // The queue or the selection changed.
  void Changed();
  // The records changed through a command, or a file was added in the background: the queue is to be
  // saved now, or soon.
  void Edited();
  void Filled();
  // Measured samples changed the shown estimates by that many bytes.
  void SampledSize(qint64 change);
  // A double click on a row.
  void PlayRequested();
  // One playback at a time, and none of a row that goes: the preview stops first.
  void StopPreviewRequested();

protected:
  // Takes drags and drops on the list.
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void CreateActions();
  void CreateList();
  void CreateMenu();
  void CreateButtons();
  void LayOut();
  void FitColumns();
  void SetUpFileDialog();

  void actAddFileExecute();
  void actAddFolderExecute();
  void actClearExecute();
  void actUndoExecute();
  void MoveSelected(int step);
  // True when some part of the selection can move by the step.
  bool Movable(int step) const;
  void lvFileListSelectItem();
  void actStatusDetailsExecute();
  // The edit window for the selected file; its trim and aspect choice go into the file's record.
  void actEditExecute();

  // Adding in the background: one request at a time.
  struct TAddRequest {
    std::vector<std::string> Paths;
    std::string Folder; // set: an Add Folder request
  };
  void StartNextAdd();
  // Timer: adds the rows of the files probed so far, a slice at a time.
  void AddProbedFiles();
  void AddProbedFile(TProbedFile &probed);
  void SelectLastAdded();
  void EndAdd();
  void actStopAddingExecute();
  // True when the event was a drag or a drop on the queue.
  bool lvFileListDrop(QEvent *event);
  // Appends the list row of a queued file.
  QTreeWidgetItem *AddRow(const TInputFile &file);

  TTvlConvert &FConvert;
  const QList<QIcon> &FRowImages;
  std::unique_ptr<TQueueUndo> FUndo;
  std::deque<TAddRequest> FAddRequests;
  std::unique_ptr<TQueueFiller> FFiller; // the request in hand
  bool FFolderAdd = false;
  int FLoaded = 0, FFailed = 0, FFirstAdded = -1, FLastAdded = -1;
  // Why each file of the request in hand was not queued, in their order: told once, at its end.
  std::vector<std::string> FFailures;
  void ReportAdd();
  std::vector<TProbedFile> FProbed; // taken from the filler, not yet added from FProbedNext on
  std::size_t FProbedNext = 0;
  // Rows are not added from inside a message box the adding shows, nor while a run is built or
  // converts.
  bool FAddingRows = false, FConverting = false;
  QTimer *FAddTimer = nullptr;
  std::vector<std::string> FPendingPaths;
  bool FRetryScheduled = false;

  // Shows the row's estimate; the samples it waits for are added to jobs.
  int64_t ShowRowEstimate(int position, int profile, std::vector<TSampleJob> &jobs);
  // Takes the measured samples and shows them in the rows that wait for them.
  void TakeSamples();
  TSizeSampling &Sampling();
  int FEstimateProfile = -1; // of the estimates shown
  // Last: its worker stops before anything it reports to goes.
  std::unique_ptr<TSizeSampling> FSampling;
};
