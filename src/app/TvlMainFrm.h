#pragma once
// The main window: the queue, the profile list, the output folder and the preview area. Its creation
// and destruction set up and tear down the whole program around it.
#include <QIcon>
#include <QList>
#include <QWidget>

#include <cstdint>
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
class QSlider;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TTrackBar;
class TTvlConvert;
class TVideoPanel;
struct TInputFile;

class TTvlMainForm : public QWidget {
  Q_OBJECT
public:
  explicit TTvlMainForm(QWidget *parent = nullptr);
  ~TTvlMainForm() override;

  // False when the media libraries could not be bound: the user has been told, and the program ends
  // without showing the window.
  bool LibrariesLoaded() const { return FLibrariesLoaded; }

  // Adds files as Add Files does after its dialog, and every video under a folder as Add Folder does.
  void AddFiles(const std::vector<std::string> &paths);
  void AddFolder(std::string folder);
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
  // The preview player; it draws into pnlPreviewPlay.
  TFFPlayer fplyrPreview;
  // The open-file dialog of Add Files.
  platform::TOpenFileRequest dlgFile;
  // Images of list rows and profiles: 0 audio, 1 video.
  QList<QIcon> il1;

  // Actions.
  QAction *actAddFile = nullptr, *actAddFolder = nullptr, *actEdit = nullptr, *actRemoveFile = nullptr;
  QAction *actClear = nullptr, *actMoveUp = nullptr, *actMoveDown = nullptr;
  QAction *actConvert = nullptr, *actOpenFolder = nullptr, *actFormatSetting = nullptr;
  QAction *actHelp = nullptr, *actAbout = nullptr;
  QAction *actPlay = nullptr, *actStop = nullptr, *actPrevious = nullptr, *actNext = nullptr;
  QAction *actSnapshot = nullptr, *actOpenSnapshot = nullptr, *actSnapshotOptions = nullptr;
  // The folder button of the output folder edit.
  QAction *actBrowseOutputFolder = nullptr;

protected:
  // Key preview: the window sees key presses before its controls.
  bool eventFilter(QObject *watched, QEvent *event) override;

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
  void lvFileListSelectItem();
  void lvFileListDblClick();
  // True when the event was a drag or a drop on the queue.
  bool lvFileListDrop(QEvent *event);
  // Appends the list row of a queued file.
  QTreeWidgetItem *AddRow(const TInputFile &file);
  void SelectRow(int position);
  // Moves the selected row and its record by one position.
  void MoveSelected(int step);
  int SelectedPosition() const;

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
  void actOpenFolderExecute();
  void ShowResults();

  // True when the key was a command of the window.
  bool FormKeyDown(QObject *watched, int key);
  void ShowHelp();
  void ShowAbout();
  void cbbFormatExChange(int index);
  // Setting...: edits the selected profile's choices and saves them at once.
  void actFormatSettingExecute();
  void edtOutputFolderButtonClick();

  bool FLibrariesLoaded = false;
  // Where the settings were read from, and are written back to.
  std::string FSettingsFile;
  std::vector<std::string> FPendingPaths;
  bool FRetryScheduled = false;
};
