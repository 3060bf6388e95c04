#include "convert/ShownName.h"

std::string EscapeControls(const std::string &text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
    case '\\':
      escaped += "\\\\";
      break;
    case '\n':
      escaped += "\\n";
      break;
    case '\r':
      escaped += "\\r";
      break;
    case '\t':
      escaped += "\\t";
      break;
    default:
      if (byte < 0x20 || byte == 0x7f) {
        static constexpr char Hex[] = "0123456789abcdef";
        escaped += "\\x";
        escaped += Hex[byte >> 4];
        escaped += Hex[byte & 15];
      } else {
        escaped += c;
      }
    }
  }
  return escaped;
}
