#pragma once
// Placing a window's control: its objectName (the design name tests find it by) and its geometry.
#include <QRect>

template <typename T> T *Place(T *control, const char *name, const QRect &geometry) {
  control->setObjectName(name);
  control->setGeometry(geometry);
  return control;
}
