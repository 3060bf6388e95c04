#pragma once
// Naming a window's control by its design name (tests find it by that), and placing it by
// coordinates where its place follows another control's (the edit window's bar markers).
#include <QRect>

template <typename T> T *Named(T *control, const char *name) {
  control->setObjectName(name);
  return control;
}

template <typename T> T *Place(T *control, const char *name, const QRect &geometry) {
  control->setGeometry(geometry);
  return Named(control, name);
}
