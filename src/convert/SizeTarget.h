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
  double FloorBitsPerPixel = 0.01; // the least the encoder keeps to (see FloorBitsPerPixelOf)
};

// Below this the picture falls apart.
inline constexpr double MinBitsPerPixel = 0.01;
// VP8 spends at least about a third more than that whatever its rate, and overshoots near it.
double FloorBitsPerPixelOf(const std::string &videoCodec);
// The share of the target a video encoder aims at: the encoders of other projects land within a
// few percent of their two-pass rate, each on its own side; the libraries' own MPEG encoders
// overshoot more.
double TargetShareOf(const std::string &videoCodec);

// How an encoder's two passes go: statistics its first pass writes (x264, x265, the libraries'
// own encoders); statistics and no picture at all (libvpx), so the first pass's output measures
// the sound and the container exactly; or no statistics (SVT-AV1 through these libraries), so the
// first pass is a whole encode at the first rate, whose size sets the second.
enum class TTwoPassKind { Statistics, SoundOnlyFirst, TrialFirst };
TTwoPassKind TwoPassKindOf(const std::string &videoCodec);

// The second pass's video bit rate, from the first rate and the bytes the first pass wrote: for
// SoundOnlyFirst the room the measured sound and container leave, for TrialFirst the first rate
// scaled by how far the trial missed.
int64_t SecondPassBitrate(TTwoPassKind kind, int64_t firstRate, int64_t firstBytes, int64_t targetBytes,
                          const TSizeNeeds &needs);

// The video bit rate (bits a second) for a file of at most targetBytes. Throws TTargetTooSmall
// (naming the file) when the rate would be under the floor or the sound alone would not fit.
int64_t VideoBitrateForSize(int64_t targetBytes, const TSizeNeeds &needs, const std::string &fileName);

// "8 MB", "700.5 MB", "20 kB": a size for messages, in decimal units.
std::string MegabytesText(int64_t bytes);
