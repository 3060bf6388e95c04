#include "app/PreviewWnd.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

TPreviewWnd::TPreviewWnd()
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint) {
  setObjectName("PreviewWnd");
  // Every pixel comes from the frame; nothing needs clearing first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewWnd::Paint(const TBitmap &bitmap, const std::string &caption) {
  // The engine reuses its bitmap for the next frame, so the window keeps a copy of its own.
  FPicture =
      QImage(bitmap.Bits(), bitmap.Width(), bitmap.Height(), bitmap.Stride(), QImage::Format_BGR888).copy();
  setWindowTitle(QString::fromStdString(caption));
  if (size() != FPicture.size())
    setFixedSize(FPicture.size());
  if (!isVisible()) {
    if (const QScreen *screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
    show();
  }
  update();
}

void TPreviewWnd::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.drawImage(0, 0, FPicture);
}

void TPreviewWnd::closeEvent(QCloseEvent *event) {
  FClosed = true;
  event->accept();
}

void TPreviewWnd::mousePressEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton)
    return;
  // The window manager moves the window when it can; otherwise the window follows the mouse itself.
  FDragging = !(windowHandle() && windowHandle()->startSystemMove());
  FGrab = event->globalPosition().toPoint() - pos();
}

void TPreviewWnd::mouseMoveEvent(QMouseEvent *event) {
  if (FDragging && (event->buttons() & Qt::LeftButton))
    move(event->globalPosition().toPoint() - FGrab);
}
