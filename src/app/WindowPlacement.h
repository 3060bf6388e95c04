#pragma once
// The main window's place and divisions as the settings file keeps them: taken as the window closes,
// given back at the next start as far as they still fit the screens.
#include "profiles/WindowPlace.h"

class QHeaderView;
class QSplitter;
class QWidget;

namespace placement {

TWindowPlace PlaceOf(const QWidget &window, const QSplitter &splitter, const QHeaderView &columns);
// Sizes below the window's minimum grow to it; a place off every screen leaves the window where it
// is; the divider's and the columns' widths apply when their counts match what the window has now,
// and only to the columns the user sizes (the others fit their contents or the room).
void Restore(const TWindowPlace &place, QWidget &window, QSplitter &splitter, QHeaderView &columns);

} // namespace placement
