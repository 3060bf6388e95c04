#include "convert/SizeTarget.h"

#include <algorithm>
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
  // Measured on generated pictures: x265's second pass lands below its rate, VP8's above it (more
  // so at low rates), SVT-AV1's corrected trial a little above.
  if (videoCodec == "libx265")
    return 0.99;
  if (videoCodec == "libvpx")
    return 0.90;
  if (videoCodec == "libsvtav1")
    return 0.96;
  return videoCodec.starts_with("lib") ? 0.97 : 0.93;
}

double FloorBitsPerPixelOf(const std::string &videoCodec) {
  return videoCodec == "libvpx" ? 0.045 : MinBitsPerPixel;
}

TTwoPassKind TwoPassKindOf(const std::string &videoCodec) {
  if (videoCodec == "libvpx" || videoCodec == "libvpx-vp9")
    return TTwoPassKind::SoundOnlyFirst;
  if (videoCodec == "libsvtav1")
    return TTwoPassKind::TrialFirst;
  return TTwoPassKind::Statistics;
}

int64_t SecondPassBitrate(TTwoPassKind kind, int64_t firstRate, int64_t firstBytes, int64_t targetBytes,
                          const TSizeNeeds &needs) {
  const double seconds = static_cast<double>(needs.LengthMs) / 1000.0;
  if (kind == TTwoPassKind::Statistics || firstBytes <= 0 || seconds <= 0)
    return firstRate;
  const double aimed = static_cast<double>(targetBytes) * needs.Share;
  double rate = static_cast<double>(firstRate);
  if (kind == TTwoPassKind::SoundOnlyFirst) {
    rate = (aimed - static_cast<double>(firstBytes)) * 8.0 / seconds;
  } else {
    // The trial's picture took what the rate gave it plus whatever the whole file missed by.
    const double video = rate * seconds / 8.0;
    const double took = video + static_cast<double>(firstBytes) - aimed;
    // SVT-AV1's picture follows its rate unevenly, in steps: a trial that came out too big is
    // corrected by more than it missed, one that came out small by a little only.
    const double scale = took > 0 ? std::clamp(video / took, 0.5, 1.5) : 1.0;
    rate *= scale < 1 ? scale * std::sqrt(scale) : std::min(std::sqrt(scale), 1.04);
  }
  // Sound that took the whole room leaves nothing better than the first rate.
  return rate > 0 ? static_cast<int64_t>(rate) : firstRate;
}

int64_t VideoBitrateForSize(int64_t targetBytes, const TSizeNeeds &needs, const std::string &fileName) {
  const double seconds = static_cast<double>(needs.LengthMs) / 1000.0;
  if (seconds <= 0)
    throw TTargetTooSmall("\"" + fileName + "\" does not tell its length: it cannot be fitted to a size.");
  const double others = static_cast<double>(needs.AudioBitsPerSecond) * seconds / 8.0 +
                        needs.PacketBytesPerSecond * seconds + static_cast<double>(needs.FixedBytes);
  const double floorBits = needs.PixelsPerSecond * needs.FloorBitsPerPixel;
  const double videoBits = (static_cast<double>(targetBytes) * needs.Share - others) * 8.0 / seconds;
  if (videoBits < floorBits || (needs.PixelsPerSecond <= 0 && videoBits < 0)) {
    const auto least = static_cast<int64_t>(std::ceil((floorBits * seconds / 8.0 + others) / needs.Share));
    throw TTargetTooSmall("The target size " + MegabytesText(targetBytes) + " is too small for \"" + fileName +
                          "\": it needs at least " + MegabytesText(least) + ".");
  }
  return static_cast<int64_t>(videoBits);
}
