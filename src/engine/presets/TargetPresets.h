#pragma once
// Target presets: the settings a disc standard (VCD, SVCD, DVD) or DV requires for a TV norm. A
// preset receives the type, the norm and the little it depends on, and hands on option lines
// (name, value) for the option table to apply; it sets nothing itself.
#include <optional>
#include <string>
#include <utility>
#include <vector>

enum class TTvNorm { Pal, Ntsc, Film };

// What a preset fills in only when the task has not: an aspect, and stereo for mono sound.
struct TTargetStart {
  bool AspectSet = false;
  int AudioChannels = 0;
};

using TOptionLines = std::vector<std::pair<std::string, std::string>>;

// The lines in the order they apply. An "aspect" line is an assumption: the task names none.
// Throws FFmpegException for an unknown type.
TOptionLines TargetOptionLines(const std::string &type, TTvNorm norm, const TTargetStart &start);

// The norm a frame rate names: 25 PAL, 29.97 and 23.976 NTSC.
std::optional<TTvNorm> NormOfFrameRate(int num, int den);
