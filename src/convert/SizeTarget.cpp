#include "convert/SizeTarget.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "convert/ConvertHelpers.h"

namespace {

struct TUnit {
  const char *Name;
  double Bytes;
};
constexpr TUnit Units[] = {{"", 1},          {"b", 1},           {"kb", 1e3},        {"kib", 1024.0},
                           {"mb", 1e6},      {"mib", 1048576.0}, {"gb", 1e9},        {"gib", 1073741824.0}};

} // namespace

int64_t ParseTargetSize(const std::string &text) {
  double number = 0;
  const char *end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, number);
  std::string unit = LowerCase(std::string(stop, end));
  if (!unit.empty() && unit.front() == ' ')
    unit.erase(0, 1);
  if (ec == std::errc() && number > 0)
    for (const TUnit &u : Units)
      if (unit == u.Name && number * u.Bytes >= 1 && number * u.Bytes < 9e18)
        return static_cast<int64_t>(number * u.Bytes);
  throw std::invalid_argument("\"" + text + "\" is no size: write it as 8MB, 700MiB or a number of bytes.");
}

std::string MegabytesText(int64_t bytes) {
  char text[32];
  if (bytes < 1000000)
    std::snprintf(text, sizeof text, "%.0f kB", static_cast<double>(bytes) / 1e3);
  else
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  std::string shown = text;
  if (shown.ends_with(".0 MB"))
    shown.erase(shown.size() - 5, 2);
  return shown;
}

double TargetShareOf(const std::string &videoCodec) {
  return videoCodec.starts_with("lib") ? 0.97 : 0.93;
}

int64_t VideoBitrateForSize(int64_t targetBytes, const TSizeNeeds &needs, const std::string &fileName) {
  const double seconds = static_cast<double>(needs.LengthMs) / 1000.0;
  if (seconds <= 0)
    throw TTargetTooSmall("\"" + fileName + "\" does not tell its length: it cannot be fitted to a size.");
  const double others = static_cast<double>(needs.AudioBitsPerSecond) * seconds / 8.0 +
                        needs.PacketBytesPerSecond * seconds + static_cast<double>(needs.FixedBytes);
  const double floorBits = needs.PixelsPerSecond * MinBitsPerPixel;
  const double videoBits = (static_cast<double>(targetBytes) * needs.Share - others) * 8.0 / seconds;
  if (videoBits < floorBits || (needs.PixelsPerSecond <= 0 && videoBits < 0)) {
    const auto least = static_cast<int64_t>(std::ceil((floorBits * seconds / 8.0 + others) / needs.Share));
    throw TTargetTooSmall("The target size " + MegabytesText(targetBytes) + " is too small for \"" + fileName +
                          "\": it needs at least " + MegabytesText(least) + ".");
  }
  return static_cast<int64_t>(videoBits);
}
