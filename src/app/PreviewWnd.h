#pragma once
// The engine's preview window on the Qt side: a small always-on-top tool window at the size of the
// frame, which the user drags by its picture and closes from its title bar.
#include "engine/feedback/Previewer.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

class TPreviewWnd : public QWidget, public TPreviewWindow {
  Q_OBJECT
public:
  TPreviewWnd();

  void Paint(const TBitmap &bitmap, const std::string &caption) override;
  bool Closed() const override { return FClosed; }

  // What the window shows now: a copy of the last painted frame.
  const QImage &Picture() const { return FPicture; }

protected:
  void paintEvent(QPaintEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;

private:
  QImage FPicture;
  bool FClosed = false;
  // Where the picture was grabbed, when the window system cannot move the window itself.
  QPoint FGrab;
  bool FDragging = false;
};
