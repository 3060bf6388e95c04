#pragma once
// The preview panel of the main window: plays the queue's selected file, with its position bar, the
// play commands and the snapshot commands.
#include <QFrame>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>

#include "player/FFPlay.h"

class QAction;
class QLabel;
class QTimer;
class QToolButton;
class TTrackBar;
class TVideoPanel;

class TPreviewPanel : public QFrame {
  Q_OBJECT
public:
  explicit TPreviewPanel(QWidget *parent);

  // The file the preview plays: the queue's most recently selected one. Selected is false when there
  // is none; an empty path when its row has gone.
  struct TSource {
    bool Selected = false;
    QString Caption;
    std::string Path;
  };
  std::function<TSource()> Source;

  // Play: pauses a playing preview, resumes a paused one, opens the selected file otherwise.
  void actPlayExecute();
  void actStopExecute();
  // Space: stops a playing or paused preview, plays otherwise.
  void PlayOrStop();
  // After a change of the queue or the selection: the preview stops and names the selected file;
  // position is the selected row's, -1 without a selection.
  void SelectionChanged(const QString &caption, int position, int rows);
  // Refresh of the preview actions after every state change of the preview player.
  void UpdatePlayButtons();
  void LoadPictures();
  // A line under the preview that goes by itself after a few seconds: what a command did.
  void ShowNote(const QString &text);

  TPlayState PlayState = psEnd;
  // Duration of the file open in the preview, in microseconds.
  int64_t PreviewDuration = 0;

  // Controls. Their objectName is their field name.
  TVideoPanel *pnlPreviewPlay = nullptr;
  QLabel *lblPreviewInfo = nullptr, *imgPreview = nullptr;
  TTrackBar *tbarPreview = nullptr;
  QToolButton *btnPlay = nullptr, *btnStop = nullptr, *btnPrevious = nullptr, *btnNext = nullptr;
  QToolButton *btnSnapshot = nullptr, *btnOpenSnapshot = nullptr, *btnSnapShotOption = nullptr;
  QLabel *lblPreviewNote = nullptr;
  // The preview player; it draws into pnlPreviewPlay.
  TFFPlayer fplyrPreview;

  QAction *actPlay = nullptr, *actStop = nullptr, *actPrevious = nullptr, *actNext = nullptr;
  QAction *actSnapshot = nullptr, *actOpenSnapshot = nullptr, *actSnapshotOptions = nullptr;

signals:
  // Previous (-1) or Next (1): the queue selects that row, and the preview plays it.
  void StepRequested(int step);

protected:
  // Keeps the video's shape when its area changes size.
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void CreateActions();
  void CreateControls();
  void LayOut();
  void FitVideo();
  void ConnectPlayer();
  void OpenPreview(const std::string &path);
  void fplyrPreviewFileOpen(int64_t duration, int &screenWidth, int &screenHeight);
  void fplyrPreviewPosition(int64_t pts);
  void fplyrPreviewState(TPlayState state);
  void tbarPreviewMouseDown();
  void tbarPreviewMouseUp();
  void actSnapshotExecute();
  void actOpenSnapshotExecute();
  void actSnapshotOptionsExecute();

  QWidget *FVideoArea = nullptr;
  QTimer *FNoteTimer = nullptr;
};
