#pragma once
// The edit window: plays one queued file, marks the part to convert and picks the output's frame
// aspect ratio.
#include "player/FFPlay.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>

#include <cstdint>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QVBoxLayout;
class TTargetSizeBox;
class TTrackBar;
class TTrackList;
class TTvlConvert;
class TVideoPanel;

class TEditForm : public QDialog {
  Q_OBJECT
public:
  // Posted to the window to stop its player from outside the player's callbacks.
  static constexpr QEvent::Type StopMessage = static_cast<QEvent::Type>(3035);

  explicit TEditForm(TTvlConvert &convert, QWidget *parent = nullptr);
  ~TEditForm() override;

  // Shows the window modally for the queued file at the position; true when closed with OK.
  bool Edit(int position);
  // Edit's preparation without showing the window: the file plays and the marks are those stored.
  void Prepare(int position);
  // Plays the file from its start.
  void PlayFile(const std::string &fileName);

  // Results, read by the caller after OK: the selection in ms and the aspect choice 0 … 4.
  int64_t MarkIn = 0, MarkOut = 0;
  int AspectIndex() const;

  // State, public for the window's tests.
  std::string FileName;
  TPlayState LastState = psStop;
  bool PlayingSection = false;
  double PixelsPerUnit = 0;
  int FrameWidth = 0, FrameHeight = 0;
  int64_t EditDuration = 0; // µs

  // Controls. Their objectName is their field name.
  TVideoPanel *pnlEditPlay = nullptr;
  TFFPlayer fplyrEdit;
  TTrackBar *tbarEdit = nullptr;
  QLabel *imgSelStart = nullptr, *imgSelEnd = nullptr, *lbl1 = nullptr, *lblEnd = nullptr;
  QPushButton *btnPlay = nullptr, *btnStop = nullptr, *btnPlaySection = nullptr;
  QPushButton *btnStart = nullptr, *btnEnd = nullptr, *btnResetTrim = nullptr;
  QLabel *lblFrameAspectRatio = nullptr;
  QComboBox *cbbFrameAspectRatio = nullptr;
  QGroupBox *grpTrim = nullptr;
  QLabel *lblStart = nullptr, *lblEndTime = nullptr;
  QLineEdit *edtStartTime = nullptr, *edtEndTime = nullptr;
  QPushButton *btnOK = nullptr, *btnCancel = nullptr;
  // The bar, its markers and its times, placed by the bar's coordinates.
  QWidget *pnlTrack = nullptr;
  // The column of the file's choices beside the picture: aspect, trim and its reset. A further
  // choice is one more widget added here.
  QVBoxLayout *layChoices = nullptr;
  TTrackList *lstTracks = nullptr; // the file's tracks to keep; read by the caller after OK
  // The file's target size, read by the caller after OK.
  TTargetSizeBox *TargetSize = nullptr;

  // OK and Cancel end the playback: it is not heard behind what follows the window.
  void done(int result) override;

protected:
  bool event(QEvent *event) override;
  // Space plays or pauses unless the focused control (the aspect list, OK, Cancel) takes it.
  void keyPressEvent(QKeyEvent *event) override;

private:
  void CreateControls();
  void CreateTrack();
  void LayOut();
  void CreateShortcuts();
  void fplyrEditFileOpen(int64_t duration, int frameWidth, int frameHeight, int &screenWidth, int &screenHeight);
  void fplyrEditPosition(int64_t pts);
  void fplyrEditState(TPlayState state);
  void btnPlayClick();
  void btnStopClick();
  void btnPlaySectionClick();
  void btnStartClick();
  void btnEndClick();
  void btnResetTrimClick();
  void tbarEditMouseDown();
  void tbarEditMouseUp();
  void tbarEditMoved(int value);
  void PlayOrPause();
  // Seeks to a value of the bar (ms).
  void SeekBar(int64_t value);
  // Left edges of the markers.
  int MarkerLeft(int64_t mark) const;
  int FarEnd() const;
  void MoveStartMarker(int left);
  void MoveEndMarker(int left);

  TTvlConvert &FConvert;
  // Seeks while the bar is dragged come at most this often; the last value is sought when the drag rests.
  QElapsedTimer FLastDragSeek;
  QTimer *FDragSeek = nullptr;
};
