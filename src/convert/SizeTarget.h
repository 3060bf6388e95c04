#pragma once
// "Fit to size": the video bit rate that makes a file of the target size, from its length, its
// sound and what the container adds, and the refusal of a target too small for a watchable picture.
#include <cstdint>
#include <stdexcept>
#include <string>

// A target size the user wrote: "8MB" (10^6 bytes), "700MiB" (2^20), "1.5GB", "800kB", "900KiB" or
// plain bytes. Throws std::invalid_argument for anything else or for no positive size.
int64_t ParseTargetSize(const std::string &text);

// A target too small for the file. The message names the file, the target and the least size that
// works.
class TTargetTooSmall : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// What the file's output needs besides its picture, and its picture's pixels a second.
struct TSizeNeeds {
  int64_t LengthMs = 0;
  int64_t AudioBitsPerSecond = 0;
  double PacketBytesPerSecond = 0; // the container's share over the length
  int64_t FixedBytes = 0;
  double PixelsPerSecond = 0;      // 0: no picture
  double Share = 0.97;             // of the target the encoders aim at (see TargetShareOf)
};

// Below this the picture falls apart.
inline constexpr double MinBitsPerPixel = 0.01;
// The share of the target a video encoder aims at: x264, x265, libvpx and SVT-AV1 land within a
// few percent of their two-pass rate; the libraries' own MPEG encoders overshoot more.
double TargetShareOf(const std::string &videoCodec);

// The video bit rate (bits a second) for a file of at most targetBytes. Throws TTargetTooSmall
// (naming the file) when the rate would be under the floor or the sound alone would not fit.
int64_t VideoBitrateForSize(int64_t targetBytes, const TSizeNeeds &needs, const std::string &fileName);

// "8 MB", "700.5 MB", "20 kB": a size for messages, in decimal units.
std::string MegabytesText(int64_t bytes);
