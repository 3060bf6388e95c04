#include "edit/VideoPanel.h"

#include <QPainter>
#include <QResizeEvent>

#include <cstring>

TVideoPanel::TVideoPanel(QWidget *parent) : QFrame(parent) {
  setAutoFillBackground(true);
}

void TVideoPanel::PresentPicture(const TVideoPicture &picture) {
  if (!picture.Pixels || picture.Width <= 0 || picture.Height <= 0)
    return;
  {
    std::lock_guard lock(FLock);
    // The buffer is reused while the size stays; a whole picture is copied under the lock, so a paint
    // never sees half of one picture and half of the next.
    if (FPicture.width() != picture.Width || FPicture.height() != picture.Height)
      FPicture = QImage(picture.Width, picture.Height, QImage::Format_RGB32);
    const size_t rowBytes = static_cast<size_t>(picture.Width) * 4;
    for (int y = 0; y < picture.Height; ++y)
      std::memcpy(FPicture.scanLine(y), picture.Pixels + static_cast<size_t>(y) * picture.Stride, rowBytes);
  }
  QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

void TVideoPanel::Clear() {
  {
    std::lock_guard lock(FLock);
    FPicture = QImage();
  }
  repaint();
}

QImage TVideoPanel::Picture() const {
  std::lock_guard lock(FLock);
  return FPicture.copy();
}

void TVideoPanel::paintEvent(QPaintEvent *event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  std::lock_guard lock(FLock);
  if (!FPicture.isNull())
    painter.drawImage(0, 0, FPicture);
}

void TVideoPanel::resizeEvent(QResizeEvent *event) {
  QFrame::resizeEvent(event);
  NotifyResized(event->size().width(), event->size().height());
}
