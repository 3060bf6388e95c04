#pragma once
// The position bar of the preview and edit windows: a horizontal slider whose thumb can be hidden,
// that jumps to where it is clicked, and that reports every press and release of the mouse.
#include <QSlider>

#include <cstdint>
#include <functional>

// a × b ÷ c, truncating, without overflow on the way; 0 when c is 0. Maps between bar values and
// media times of files of any length.
int64_t MulDiv64(int64_t a, int64_t b, int64_t c);

class TTrackBar : public QSlider {
  Q_OBJECT
public:
  explicit TTrackBar(QWidget *parent = nullptr);

  // Without a thumb the bar only shows its groove: a file without a known length cannot be sought.
  bool SliderVisible() const { return FSliderVisible; }
  void SetSliderVisible(bool visible);

  // Ticks below the groove, one per value as far as the width allows: a tick on each of millions of
  // values would cost a line per value on every paint.
  void SetAutoTicks();

  // Half the thumb's length in pixels, where the groove's first value lies.
  int HalfThumb() const;

  std::function<void()> OnMouseDown, OnMouseUp;

protected:
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;

private:
  bool FSliderVisible = true;
};
