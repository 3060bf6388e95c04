#pragma once
// The progress window's live picture area: the last preview frame stretched over the whole panel
// while previews are on.
#include <QFrame>
#include <QImage>
#include <QPainter>

class TProgressPicture : public QFrame {
public:
  using QFrame::QFrame;
  QImage Picture;
  bool ShowPicture = false;

protected:
  void paintEvent(QPaintEvent *e) override {
    QFrame::paintEvent(e);
    if (!ShowPicture || Picture.isNull())
      return;
    QPainter painter(this);
    painter.drawImage(rect(), Picture); // no smoothing: a plain colour-on-colour stretch
  }
};
