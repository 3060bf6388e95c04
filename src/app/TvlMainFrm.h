#pragma once
// The main window: the queue panel, the preview panel and the output bar, wired together. Its
// creation and destruction set up and tear down the whole program around it.
#include <QIcon>
#include <QList>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QKeyEvent;
class QLabel;
class QSplitter;
class QToolButton;
class TConvertForm;
class TOutputBar;
class TPreviewPanel;
class TQueuePanel;
class TQueueSaver;
class TTvlConvert;
struct TInputFile;
struct TQueueRun;

class TTvlMainForm : public QWidget {
  Q_OBJECT
public:
  explicit TTvlMainForm(QWidget *parent = nullptr);
  ~TTvlMainForm() override;

  // False when the media libraries could not be bound: the user has been told, and the program ends
  // without showing the window.
  bool LibrariesLoaded() const { return FLibrariesLoaded; }
  // The end of the session (SIGTERM, SIGHUP): the settings are saved at once, the preview stops, a
  // run is cancelled without asking, and the window closes once nothing runs.
  void EndSession();

  // Files and folders a second start hands over. During a run they are queued once it is over, the
  // progress window says so in a passing line and comes to the front (the main window would cover
  // it); otherwise the main window comes to the front and queues them.
  void TakeHandedPaths(const std::vector<std::string> &paths);

  // Refresh after every change of the queue or the selection.
  void UpdateControls();
  // Each row's estimated size and the total beside the output folder, with its free space.
  void UpdateSizes();
  // A file added in the background: only its row is estimated, so a long add stays linear.
  void AddAddedSize();

  // The conversion driver: the queue, in the order of the list rows, and the engine.
  std::unique_ptr<TTvlConvert> TvlConvert;
  // Images of list rows and profiles: 0 audio, 1 video.
  QList<QIcon> il1;

  // Controls. Their objectName is their field name.
  QLabel *imgTop = nullptr;
  QToolButton *btnAbout = nullptr;
  // The queue and the preview side by side; the user may move the line between them.
  QSplitter *splMain = nullptr;
  TQueuePanel *Queue = nullptr;
  TPreviewPanel *Preview = nullptr;
  TOutputBar *Output = nullptr;

  QAction *actHelp = nullptr, *actAbout = nullptr, *actQuit = nullptr;

protected:
  // Key preview: the window sees key presses before its controls.
  bool eventFilter(QObject *watched, QEvent *event) override;
  // During a run, asks to cancel it; the window closes once the run is over.
  void closeEvent(QCloseEvent *event) override;
  void SaveSettings();

private:
  int64_t FEstimatedTotal = 0; // the queue's estimate as last shown
  void CreateControls();
  void WirePanels();
  // Tab follows the layout: the banner, the queue, the preview, the output bar.
  void SetFocusOrder();
  void LoadSkin();
  void LoadPictures();

  void actConvertExecute();
  // Converts the queued files the filter takes (all when it is empty).
  void ConvertQueue(const std::function<bool(const TInputFile &)> &include);
  // True when the files fit the folder's free space, or the user converts anyway.
  // The first of two passes for the files with a target size (the run's SizePass is then 2); false
  // when it was refused or cancelled. EndSizePasses drops its statistics.
  bool FirstPassForSizes(int profile, const std::function<bool(const TInputFile &)> &include);
  void EndSizePasses();
  bool RoomForRun(const std::string &folder, int profile, const std::function<bool(const TInputFile &)> &include);
  // The queue saved last comes back; a run it cut off may go on.
  void RestoreQueue();
  void OfferResume(const TQueueRun &run);
  // True when the key was a command of the window.
  bool FormKeyDown(QObject *watched, const QKeyEvent &key);
  void ShowHelp();
  void ShowAbout();

  bool FLibrariesLoaded = false;
  // Where the settings were read from, and are written back to.
  std::string FSettingsFile;
  // The run in progress: being built, or converting in its progress window.
  enum class TRun { None, Building, Converting } FRun = TRun::None;
  TConvertForm *FProgress = nullptr;
  bool FCloseAfterRun = false;
  std::unique_ptr<TQueueSaver> FQueueSaver;
};
