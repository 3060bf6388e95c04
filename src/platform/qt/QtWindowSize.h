#pragma once
// Windows laid out with layouts keep the size they had when they were placed by coordinates as their
// smallest one, and grow beyond it where their texts need more (larger fonts, a desktop's own scale).
#include <QSize>

class QWidget;

namespace platform {

// Sets the window's minimum to what its layout needs, at least the given size, and starts it there;
// the minimum follows the layout from then on. fixed: the window keeps that size (its contents are
// placed for it).
void FitWindowSize(QWidget &window, const QSize &smallest, bool fixed = false);

} // namespace platform
