#include "platform/qt/QtWindowSize.h"

#include <QEvent>
#include <QLayout>
#include <QTimer>
#include <QWidget>

namespace platform {

namespace {

// Keeps the window's minimum at what its layout needs whenever that may have changed: the style
// sheet measures the controls only as the window is polished and shown, and lists grow as they are
// filled.
class TSmallestSize : public QObject {
public:
  TSmallestSize(QWidget &window, const QSize &smallest, bool fixed)
      : QObject(&window), FWindow(window), FSmallest(smallest), FFixed(fixed) {
    setObjectName("SmallestSize");
    window.installEventFilter(this);
  }
  void Set(const QSize &smallest, bool fixed) {
    FSmallest = smallest;
    FFixed = fixed;
    Apply();
  }
  void Apply() {
    QSize size = FSmallest;
    if (QLayout *layout = FWindow.layout())
      size = size.expandedTo(layout->minimumSize());
    if (FFixed) {
      FWindow.setFixedSize(size);
      return;
    }
    FWindow.setMinimumSize(size);
    if (FWindow.width() < size.width() || FWindow.height() < size.height())
      FWindow.resize(FWindow.size().expandedTo(size));
  }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (watched != &FWindow)
      return false;
    switch (event->type()) {
    case QEvent::Show:
      // Nested layouts measured before their lists were filled or polished remember the old sizes
      // until the whole layout is worked out again.
      if (QLayout *layout = FWindow.layout()) {
        layout->invalidate();
        layout->activate();
      }
      Apply();
      break;
    case QEvent::LayoutRequest:
    case QEvent::StyleChange:
      // Once the layout has handled the request and knows its new needs.
      QTimer::singleShot(0, this, [this] { Apply(); });
      break;
    default:
      break;
    }
    return false;
  }

private:
  QWidget &FWindow;
  QSize FSmallest;
  bool FFixed;
};

} // namespace

void FitWindowSize(QWidget &window, const QSize &smallest, bool fixed) {
  if (QLayout *layout = window.layout())
    layout->activate();
  auto *keeper = window.findChild<TSmallestSize *>("SmallestSize", Qt::FindDirectChildrenOnly);
  if (!keeper)
    keeper = new TSmallestSize(window, smallest, fixed);
  keeper->Set(smallest, fixed);
  // A window on the screen keeps the size the user gave it, as far as it still holds its contents.
  if (!window.isVisible())
    window.resize(window.minimumSize());
}

} // namespace platform
