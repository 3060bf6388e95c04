#include "profiles/WindowPlace.h"

#include "platform/IniFile.h"

#include <charconv>

namespace {
constexpr const char *Section = "Window";
// Anything larger is no window size of any screen: a damaged or edited file.
constexpr int32_t MaxExtent = 100000;
} // namespace

void TWindowPlace::Read(const platform::IniFile &ini) {
  Left = ini.ReadInteger(Section, "Left", 0);
  Top = ini.ReadInteger(Section, "Top", 0);
  Width = ini.ReadInteger(Section, "Width", 0);
  Height = ini.ReadInteger(Section, "Height", 0);
  if (Width <= 0 || Height <= 0 || Width > MaxExtent || Height > MaxExtent)
    Width = Height = 0;
  Maximized = ini.ReadInteger(Section, "Maximized", 0) != 0;
  Splitter = ParseWidths(ini.ReadString(Section, "Splitter", ""));
  Columns = ParseWidths(ini.ReadString(Section, "Columns", ""));
}

bool TWindowPlace::Write(platform::IniFile &ini) const {
  if (!Known())
    return true;
  bool stored = ini.WriteInteger(Section, "Left", Left) && ini.WriteInteger(Section, "Top", Top) &&
                ini.WriteInteger(Section, "Width", Width) && ini.WriteInteger(Section, "Height", Height) &&
                ini.WriteInteger(Section, "Maximized", Maximized ? 1 : 0);
  stored = stored && ini.WriteString(Section, "Splitter", JoinWidths(Splitter));
  return stored && ini.WriteString(Section, "Columns", JoinWidths(Columns));
}

std::vector<int32_t> TWindowPlace::ParseWidths(const std::string &text) {
  std::vector<int32_t> widths;
  const char *at = text.data(), *end = text.data() + text.size();
  while (at < end) {
    while (at < end && *at == ' ')
      ++at;
    int32_t width = 0;
    const auto [next, ec] = std::from_chars(at, end, width);
    if (ec != std::errc() || width <= 0 || width > MaxExtent)
      return {};
    widths.push_back(width);
    at = next;
    while (at < end && *at == ' ')
      ++at;
    if (at < end && *at++ != ',')
      return {};
  }
  return widths;
}

std::string TWindowPlace::JoinWidths(const std::vector<int32_t> &widths) {
  std::string text;
  for (const int32_t width : widths)
    text += (text.empty() ? "" : ",") + std::to_string(width);
  return text;
}
