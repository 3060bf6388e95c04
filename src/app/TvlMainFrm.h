#pragma once
// The main window: the queue, the profile list, the output folder and the preview area. Its creation
// and destruction set up and tear down the whole program around it.
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
#include "player/FFPlay.h"

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QTimer;
class QSlider;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TConvertForm;
class TQueueSaver;
class TQueueUndo;
class TTrackBar;
class TTvlConvert;
class TQueueFiller;
class TVideoPanel;
struct TInputFile;
struct TProbedFile;
struct TQueueRun;

class TTvlMainForm : public QWidget {
  Q_OBJECT
public:
  explicit TTvlMainForm(QWidget *parent = nullptr);
  ~TTvlMainForm() override;

  // False when the media libraries could not be bound: the user has been told, and the program ends
  // without showing the window.
  bool LibrariesLoaded() const { return FLibrariesLoaded; }

  // Adds files as Add Files does after its dialog (a message for each file that cannot be queued,
  // each new row selected in turn), and every video under a folder as Add Folder does (the first
  // new row selected, the message with the counts at the end). Both probe in the background and
  // add the rows in the given order while the window stays usable; a request made meanwhile waits
  // its turn.
  void AddFiles(const std::vector<std::string> &paths);
  void AddFolder(std::string folder);
  // True until the last add request has ended.
  bool Adding() const;
  // Files and folders from the command line, a second start or a drop, in their order. Held back
  // while a dialog or a run is open.
  void QueuePaths(const std::vector<std::string> &paths);

  // Refresh after every change of the queue or the selection.
  void UpdateControls();
  // Refresh of the preview actions after every state change of the preview player.
  void UpdatePlayButtons();

  // Queue position of the row most recently selected; -1 at start and after Clear.
  int32_t SelectedIndex = -1;
  TPlayState PlayState = psEnd;
  // Duration of the file open in the preview, in microseconds.
  int64_t PreviewDuration = 0;
  // The conversion driver: the queue, in the order of the list rows, and the engine.
  std::unique_ptr<TTvlConvert> TvlConvert;

  // Controls. Their objectName is their field name.
  QLabel *imgTop = nullptr;
  QToolButton *btnAddFolder = nullptr, *btnAddFile = nullptr, *btnEditFile = nullptr, *btnAbout = nullptr;
  QTreeWidget *lvFileList = nullptr;
  QToolButton *btnRemoveFile = nullptr, *btnClear = nullptr, *btnMoveUp = nullptr, *btnMoveDown = nullptr;
  QFrame *pnlPreview = nullptr;
  TVideoPanel *pnlPreviewPlay = nullptr;
  QLabel *lblPreviewInfo = nullptr, *imgPreview = nullptr;
  TTrackBar *tbarPreview = nullptr;
  QToolButton *btnPlay = nullptr, *btnStop = nullptr, *btnPrevious = nullptr, *btnNext = nullptr;
  QToolButton *btnSnapshot = nullptr, *btnOpenSnapshot = nullptr, *btnSnapShotOption = nullptr;
  QLabel *lblFormat = nullptr, *lblOutputFolder = nullptr;
  QComboBox *cbbFormatEx = nullptr;
  QLineEdit *edtOutputFolder = nullptr;
  QToolButton *btnSetting = nullptr, *btnOpenFolder = nullptr, *btnConvert = nullptr;
  QMenu *pm1 = nullptr;
  // Shown over the queue buttons while files are being added: how far it is, and a way to stop.
  QFrame *pnlAdding = nullptr;
  QProgressBar *pbAdding = nullptr;
  QToolButton *btnStopAdding = nullptr;
  // The preview player; it draws into pnlPreviewPlay.
  TFFPlayer fplyrPreview;
  // The open-file dialog of Add Files.
  platform::TOpenFileRequest dlgFile;
  // Images of list rows and profiles: 0 audio, 1 video.
  QList<QIcon> il1;

  // Actions.
  QAction *actAddFile = nullptr, *actAddFolder = nullptr, *actEdit = nullptr, *actRemoveFile = nullptr;
  QAction *actClear = nullptr, *actMoveUp = nullptr, *actMoveDown = nullptr;
  // Puts back what the last Remove or Clear took out (Ctrl+Z).
  QAction *actUndo = nullptr;
  QAction *actStopAdding = nullptr;
  QAction *actConvert = nullptr, *actOpenFolder = nullptr, *actFormatSetting = nullptr;
  QAction *actHelp = nullptr, *actAbout = nullptr;
  // Tells why the selected row has its status; the keyboard's way to the Status cell's tooltip.
  QAction *actStatusDetails = nullptr;
  QAction *actPlay = nullptr, *actStop = nullptr, *actPrevious = nullptr, *actNext = nullptr;
  QAction *actSnapshot = nullptr, *actOpenSnapshot = nullptr, *actSnapshotOptions = nullptr;
  // The folder button of the output folder edit.
  QAction *actBrowseOutputFolder = nullptr;

protected:
  // Key preview: the window sees key presses before its controls.
  bool eventFilter(QObject *watched, QEvent *event) override;
  // During a run, asks to cancel it; the window closes once the run is over.
  void closeEvent(QCloseEvent *event) override;

private:
  void CreateActions();
  void CreateControls();
  void CreateQueueArea();
  void CreatePreviewArea();
  void CreateOutputArea();
  void LoadSkin();
  void FitColumns();
  void LoadPictures();
  void FillProfiles();
  void ChooseOutputFolder();
  void SetUpFileDialog();

  // Queue commands.
  void actAddFileExecute();
  void actAddFolderExecute();
  void actRemoveFileExecute();
  void actClearExecute();
  void actMoveUpExecute();
  void actMoveDownExecute();
  void actUndoExecute();
  // The queue saved at the last run comes back; a run it cut off may go on.
  void RestoreQueue();
  void OfferResume(const TQueueRun &run);
  void lvFileListSelectItem();
  void lvFileListDblClick();
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
  void SelectRow(int position);
  // Moves the selected rows and their records by one position.
  void MoveSelected(int step);
  // The current row when it is selected, else the first selected one; -1 without a selection.
  int SelectedPosition() const;
  // Every selected row, ascending.
  std::vector<int> SelectedPositions() const;
  void SelectRows(const std::vector<int> &positions, int current);

  // Preview commands.
  void ConnectPreview();
  void actPlayExecute();
  void actStopExecute();
  void actPreviousExecute();
  void actNextExecute();
  void OpenPreview(const std::string &path);
  void fplyrPreviewFileOpen(int64_t duration, int &screenWidth, int &screenHeight);
  void fplyrPreviewPosition(int64_t pts);
  void fplyrPreviewState(TPlayState state);
  void tbarPreviewMouseDown();
  void tbarPreviewMouseUp();
  // Snapshot commands.
  void actSnapshotExecute();
  void actOpenSnapshotExecute();
  void actSnapshotOptionsExecute();
  // The edit window for the selected file; its trim and aspect choice go into the file's record.
  void actEditExecute();

  // Conversion and folder commands.
  void actConvertExecute();
  // Converts the queued files the filter takes (all when it is empty).
  void ConvertQueue(const std::function<bool(const TInputFile &)> &include);
  // The rows of the files of the next run lose the results of the last.
  void ClearResults(const std::function<bool(const TInputFile &)> &include);
  void actOpenFolderExecute();
  void ShowResults();
  void actStatusDetailsExecute();
  // The Status cell's tooltip of the selected row; empty without a selection.
  QString SelectedStatusReason() const;

  // True when the key was a command of the window.
  bool FormKeyDown(QObject *watched, int key);
  void ShowHelp();
  void ShowAbout();
  void cbbFormatExChange(int index);
  // Setting...: edits the selected profile's choices and saves them at once.
  void actFormatSettingExecute();
  void edtOutputFolderButtonClick();

  bool FLibrariesLoaded = false;
  std::deque<TAddRequest> FAddRequests;
  std::unique_ptr<TQueueFiller> FFiller; // the request in hand
  bool FFolderAdd = false;
  int FLoaded = 0, FFailed = 0, FFirstAdded = -1, FLastAdded = -1;
  std::vector<TProbedFile> FProbed; // taken from the filler, not yet added from FProbedNext on
  std::size_t FProbedNext = 0;
  // Rows are not added from inside a message box the adding shows, nor while a run is built or
  // converts (the run reads the queue from worker threads).
  bool FAddingRows = false, FConverting = false;
  QTimer *FAddTimer = nullptr;
  // Where the settings were read from, and are written back to.
  std::string FSettingsFile;
  // The run in progress: being built, or converting in its progress window.
  enum class TRun { None, Building, Converting } FRun = TRun::None;
  TConvertForm *FProgress = nullptr;
  bool FCloseAfterRun = false;
  std::vector<std::string> FPendingPaths;
  bool FRetryScheduled = false;
  std::unique_ptr<TQueueSaver> FQueueSaver;
  std::unique_ptr<TQueueUndo> FUndo;
};
