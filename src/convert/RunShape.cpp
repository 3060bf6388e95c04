#include "convert/RunShape.h"

#include <algorithm>
#include <charconv>

int64_t SizePixels(const std::string &size) {
  int width = 0, height = 0;
  const char *end = size.data() + size.size();
  const auto [x, failed] = std::from_chars(size.data(), end, width);
  if (failed != std::errc() || x == end || (*x != 'x' && *x != 'X' && *x != '*') ||
      std::from_chars(x + 1, end, height).ec != std::errc() || width <= 0 || height <= 0)
    return 0;
  return int64_t{width} * height;
}

bool IsLightConversion(bool writesPicture, const std::string &outputSize, int64_t sourcePixels) {
  if (!writesPicture)
    return true;
  const int64_t pixels = outputSize.empty() ? sourcePixels : SizePixels(outputSize);
  return pixels > 0 && pixels <= SmallPicturePixels;
}

TRunShape ShapeRun(int requested, int cores, int files, bool allLight, bool threadsSet) {
  cores = std::max(cores, 1);
  int simultaneous = requested;
  if (simultaneous <= 0)
    // Big pictures keep the codecs' own threads busy; a second task helps only on many cores.
    simultaneous = allLight ? cores : cores >= 8 ? 2 : 1;
  simultaneous = std::clamp(std::min(simultaneous, files), 1, MaxSimultaneous);
  TRunShape shape;
  shape.Simultaneous = simultaneous;
  if (simultaneous > 1 && !threadsSet)
    shape.CodecThreads = std::max(1, cores / simultaneous);
  return shape;
}

int SimultaneousSetting(const std::string &text) {
  int value = 0;
  const char *end = text.data() + text.size();
  const auto [at, failed] = std::from_chars(text.data(), end, value);
  if (failed != std::errc() || at != end || value < 0)
    return 0;
  return std::min(value, MaxSimultaneous);
}
