#pragma once
// A profile's quality choice ("High", "Standard", "Small") as each encoder's own constant-quality
// control, in the engine's option lines ("name=value", one a line).
#include <optional>
#include <string>

enum class TQualityLevel { High, Standard, Small };

// The level a quality item names, case aside; none for other texts.
std::optional<TQualityLevel> QualityLevelOf(const std::string &item);

// The option lines of the video encoder (engine name) for the level; empty when the encoder has no
// constant-quality control, so its bit rate applies. KeepsBitrate: the bit rate stays as a ceiling.
struct TVideoQuality {
  std::string Options;
  bool KeepsBitrate = false;
};
TVideoQuality VideoQualityOptions(const std::string &codec, TQualityLevel level);

// The same for audio encoders with a variable-bit-rate mode; empty for the others.
std::string AudioQualityOptions(const std::string &codec, TQualityLevel level);
