#pragma once
// What the queue panel's files share about its list: the columns, and names as the rows show them.
#include <QString>

#include <string>

#include "convert/ShownName.h"

namespace queue_columns {

enum TColumnIndex { colSource, colType, colOriginal, colTrimmed, colStatus, colDestination, colEstimate };

// A name to show: control characters as visible escapes, never as line breaks.
inline QString ShownName(const std::string &path) {
  return QString::fromStdString(EscapeControls(path));
}
inline QString FileNameOf(const std::string &path) {
  return ShownName(path.substr(path.rfind('/') + 1));
}

} // namespace queue_columns
