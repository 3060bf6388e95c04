#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QLayout>
#include <QScreen>
#include <QSplitter>
#include <QWidget>

#include <algorithm>

namespace placement {

namespace {

// The top of the window, where it is grabbed to be moved: a place is usable when this much of it
// is on a screen.
constexpr int GrabHeight = 40;

bool OnSomeScreen(const QRect &place) {
  const QRect grab(place.topLeft(), QSize(place.width(), GrabHeight));
  const QList<QScreen *> screens = QGuiApplication::screens();
  return std::any_of(screens.begin(), screens.end(),
                     [&grab](const QScreen *screen) { return screen->availableGeometry().intersects(grab); });
}

} // namespace

TWindowPlace PlaceOf(const QWidget &window, const QSplitter &splitter, const QHeaderView &columns) {
  TWindowPlace place;
  place.Maximized = window.isMaximized();
  // A maximized window comes back maximized, and with its normal place once it is restored.
  const QRect normal = place.Maximized && window.normalGeometry().isValid()
                           ? window.normalGeometry()
                           : QRect(window.pos(), window.size());
  place.Left = normal.x();
  place.Top = normal.y();
  place.Width = normal.width();
  place.Height = normal.height();
  for (const int width : splitter.sizes())
    place.Splitter.push_back(width);
  for (int column = 0; column < columns.count(); ++column)
    place.Columns.push_back(columns.sectionSize(column));
  return place;
}

void Restore(const TWindowPlace &place, QWidget &window, QSplitter &splitter, QHeaderView &columns) {
  if (!place.Known())
    return;
  window.resize(window.minimumSize().expandedTo(QSize(place.Width, place.Height)));
  if (OnSomeScreen(QRect(QPoint(place.Left, place.Top), window.size())))
    window.move(place.Left, place.Top);
  // The panels get their widths at the window's size, so the divider's widths are taken as they were.
  if (QLayout *layout = window.layout()) {
    layout->invalidate();
    layout->activate();
  }
  if (static_cast<int>(place.Splitter.size()) == splitter.count())
    splitter.setSizes(QList<int>(place.Splitter.begin(), place.Splitter.end()));
  if (static_cast<int>(place.Columns.size()) == columns.count()) {
    for (int column = 0; column < columns.count(); ++column)
      if (columns.sectionResizeMode(column) == QHeaderView::Interactive)
        columns.resizeSection(column, place.Columns[static_cast<std::size_t>(column)]);
  }
  if (place.Maximized)
    window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

} // namespace placement
