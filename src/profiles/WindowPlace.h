#pragma once
// Where the main window was and how it was divided when it closed: read from and written to the
// settings file's [Window] section. The window decides what of it still fits the screens.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {
class IniFile;
}

struct TWindowPlace {
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  bool Maximized = false;
  // The widths of the parts of the window's divider, left to right.
  std::vector<int32_t> Splitter;
  // The queue's column widths by column position; whichever columns the queue has.
  std::vector<int32_t> Columns;

  // False until a window has been stored, and for a [Window] section without a usable size.
  bool Known() const { return Width > 0 && Height > 0; }

  void Read(const platform::IniFile &ini);
  // Writes nothing for an unknown place: files of older versions stay as they are.
  bool Write(platform::IniFile &ini) const;

  // "426,282" and back; an item that is no positive whole number makes the whole list empty.
  static std::vector<int32_t> ParseWidths(const std::string &text);
  static std::string JoinWidths(const std::vector<int32_t> &widths);

  bool operator==(const TWindowPlace &) const = default;
};
