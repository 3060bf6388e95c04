#include "engine/options/OptionValues.h"

#include <cctype>
#include <charconv>
#include <limits>

#include "engine/FFmpegException.h"

std::string Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ')
    ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ')
    --e;
  return std::string(text.substr(b, e - b));
}

namespace {

[[noreturn]] void Refuse(const std::string &name, const std::string &value, const char *kind) {
  throw FFmpegException("Invalid value \"" + value + "\" for option \"" + name + "\": " + kind +
                        " expected");
}

// The digits of a plain number: surrounding blanks and one leading "+" are allowed.
std::string_view NumberText(const std::string &value) {
  std::string_view v(value);
  while (!v.empty() && static_cast<unsigned char>(v.front()) <= ' ')
    v.remove_prefix(1);
  while (!v.empty() && static_cast<unsigned char>(v.back()) <= ' ')
    v.remove_suffix(1);
  if (v.size() > 1 && v.front() == '+' && v[1] != '-')
    v.remove_prefix(1);
  return v;
}

template <typename T> bool FromChars(std::string_view v, T &out) {
  if (v.empty())
    return false;
  auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), out);
  return ec == std::errc() && end == v.data() + v.size();
}

} // namespace

int ParseInt(const std::string &name, const std::string &value) {
  int result = 0;
  if (!FromChars(NumberText(value), result))
    Refuse(name, value, "integer");
  return result;
}

int ParseCount(const std::string &name, const std::string &value) {
  int result = 0;
  if (!FromChars(NumberText(value), result) || result < 0)
    Refuse(name, value, "whole number");
  return result;
}

int64_t ParseInt64(const std::string &name, const std::string &value) {
  int64_t result = 0;
  if (!FromChars(NumberText(value), result))
    Refuse(name, value, "integer");
  return result;
}

float ParseFloat(const std::string &name, const std::string &value) {
  double result = 0;
  if (!FromChars(NumberText(value), result) || result > std::numeric_limits<float>::max() ||
      result < std::numeric_limits<float>::lowest())
    Refuse(name, value, "number");
  return static_cast<float>(result);
}

long long TNumberReader::Integer() {
  size_t p = FPos;
  while (p < FText.size() && std::isspace(static_cast<unsigned char>(FText[p])))
    ++p;
  bool negative = false;
  if (p < FText.size() && (FText[p] == '+' || FText[p] == '-'))
    negative = FText[p++] == '-';
  int base = 10;
  if (p + 1 < FText.size() && FText[p] == '0' && (FText[p + 1] == 'x' || FText[p + 1] == 'X') &&
      p + 2 < FText.size() && std::isxdigit(static_cast<unsigned char>(FText[p + 2]))) {
    base = 16;
    p += 2;
  } else if (p < FText.size() && FText[p] == '0') {
    base = 8;
  }
  unsigned long long magnitude = 0;
  auto [end, ec] = std::from_chars(FText.data() + p, FText.data() + FText.size(), magnitude, base);
  if (end == FText.data() + p)
    return 0; // no digits: nothing consumed
  FPos = static_cast<size_t>(end - FText.data());
  constexpr auto limit = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
  if (ec == std::errc::result_out_of_range || magnitude > limit)
    return negative ? std::numeric_limits<long long>::min() : std::numeric_limits<long long>::max();
  return negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
}

double TNumberReader::Decimal() {
  size_t p = FPos;
  while (p < FText.size() && std::isspace(static_cast<unsigned char>(FText[p])))
    ++p;
  if (p < FText.size() && FText[p] == '+')
    ++p;
  double value = 0;
  auto [end, ec] = std::from_chars(FText.data() + p, FText.data() + FText.size(), value);
  if (end == FText.data() + p)
    return 0;
  FPos = static_cast<size_t>(end - FText.data());
  return ec == std::errc() ? value : 0;
}

bool TNumberReader::Skip() {
  if (AtEnd())
    return false;
  ++FPos;
  return true;
}
