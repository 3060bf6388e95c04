#pragma once
// Whether the desktop asks for dark windows, which the skin then follows.
class QPalette;

namespace skin {

// The desktop's colour scheme where Qt tells it (Qt 6.5 on); before that, or when the scheme is not
// known, a dark window colour in the palette the desktop gives the program.
bool PrefersDark(const QPalette &desktop);

} // namespace skin
