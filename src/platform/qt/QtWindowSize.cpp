#include "platform/qt/QtWindowSize.h"

#include <QLayout>
#include <QWidget>

namespace platform {

void FitWindowSize(QWidget &window, const QSize &smallest, bool fixed) {
  QSize size = smallest;
  if (QLayout *layout = window.layout()) {
    layout->activate();
    size = size.expandedTo(layout->minimumSize());
  }
  if (fixed)
    window.setFixedSize(size);
  else
    window.setMinimumSize(size);
  window.resize(size);
}

} // namespace platform
