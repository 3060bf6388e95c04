#pragma once
// Option value conversions. Numbers are read locale-independently; a value that is not a number
// is refused with an FFmpegException naming the option and the value.
#include <cstdint>
#include <string>
#include <string_view>

std::string Trim(std::string_view text);

int ParseInt(const std::string &name, const std::string &value);
// A whole number: 0 or more.
int ParseCount(const std::string &name, const std::string &value);
int64_t ParseInt64(const std::string &name, const std::string &value);
float ParseFloat(const std::string &name, const std::string &value);

// Option Booleans: anything but "0" is true, so a bare name switches a setting on.
inline bool ParseBool(const std::string &value) { return value != "0"; }

// Reads numbers the way C's strtol/strtod do (automatic base for integers: 0x hex, leading 0
// octal; no digits gives 0 and consumes nothing), one after another from a text.
class TNumberReader {
public:
  explicit TNumberReader(std::string_view text) : FText(text) {}
  long long Integer();
  double Decimal();
  // Steps over one separator character; false at the end of the text.
  bool Skip();
  bool AtEnd() const { return FPos >= FText.size(); }
  // The character at the reading position, or '\0' at the end.
  char Peek() const { return AtEnd() ? '\0' : FText[FPos]; }

private:
  std::string_view FText;
  size_t FPos = 0;
};
