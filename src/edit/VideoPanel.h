#pragma once
// The panel a player draws into: it keeps the last finished picture, paints it on the main thread and
// reports its size to the player. Where no picture is drawn it shows its own background.
#include "player/VideoHost.h"

#include <QFrame>
#include <QImage>

#include <mutex>

class TVideoPanel : public QFrame, public TVideoHost {
  Q_OBJECT
public:
  explicit TVideoPanel(QWidget *parent = nullptr);

  // On the play thread: copies the picture (the one copy of the hand-over) and asks for a repaint.
  void PresentPicture(const TVideoPicture &picture) override;
  // Forgets the picture, so the panel shows its background again, and repaints.
  void Clear();
  // A copy of the picture shown now; null before the first and after Clear.
  QImage Picture() const;

protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  mutable std::mutex FLock;
  QImage FPicture; // guarded by FLock; written on the play thread, painted on the main thread
};
