#include "edit/TrackBar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>

int64_t MulDiv64(int64_t a, int64_t b, int64_t c) {
  if (c == 0)
    return 0;
  const __int128 result = static_cast<__int128>(a) * b / c;
  if (result > INT64_MAX)
    return INT64_MAX;
  if (result < INT64_MIN)
    return INT64_MIN;
  return static_cast<int64_t>(result);
}

TTrackBar::TTrackBar(QWidget *parent) : QSlider(Qt::Horizontal, parent) {}

void TTrackBar::SetSliderVisible(bool visible) {
  FSliderVisible = visible;
  update();
}

void TTrackBar::SetAutoTicks() {
  constexpr int MinTickSpacing = 4; // pixels
  const int64_t range = static_cast<int64_t>(maximum()) - minimum();
  const int64_t places = std::max(1, width() / MinTickSpacing);
  setTickInterval(static_cast<int>(std::max<int64_t>(1, (range + places - 1) / places)));
  setTickPosition(QSlider::TicksBelow);
}

int TTrackBar::HalfThumb() const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  return style()->pixelMetric(QStyle::PM_SliderLength, &option, this) / 2;
}

void TTrackBar::paintEvent(QPaintEvent *event) {
  if (FSliderVisible) {
    QSlider::paintEvent(event);
    return;
  }
  QPainter painter(this);
  QStyleOptionSlider option;
  initStyleOption(&option);
  option.subControls &= ~QStyle::SC_SliderHandle;
  style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}

void TTrackBar::mousePressEvent(QMouseEvent *event) {
  if (event->button() == Qt::LeftButton) {
    if (OnMouseDown)
      OnMouseDown();
    // A click beside the thumb moves the thumb there, and the same press goes on to drag it.
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    if (!handle.contains(event->position().toPoint())) {
      const int half = handle.width() / 2;
      setValue(QStyle::sliderValueFromPosition(minimum(), maximum(), event->position().toPoint().x() - half,
                                               width() - handle.width()));
    }
  }
  QSlider::mousePressEvent(event);
}

void TTrackBar::mouseReleaseEvent(QMouseEvent *event) {
  QSlider::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && OnMouseUp)
    OnMouseUp();
}
