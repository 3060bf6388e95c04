#include "app/DarkPreference.h"

#include <QGuiApplication>
#include <QPalette>
#include <QStyleHints>

namespace skin {

bool PrefersDark(const QPalette &desktop) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
  if (const Qt::ColorScheme scheme = QGuiApplication::styleHints()->colorScheme();
      scheme != Qt::ColorScheme::Unknown)
    return scheme == Qt::ColorScheme::Dark;
#endif
  // Lightness runs from 0 to 255: a window colour below the middle is a dark one.
  return desktop.color(QPalette::Window).lightness() < 128;
}

} // namespace skin
