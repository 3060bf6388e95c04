// The target option: the norm for a target, decided from the inputs when not named, and the
// preset's option lines applied through the option table.
#include "engine/options/TaskOptions.h"
#include "engine/FFmpegException.h"
#include "engine/options/OptionValues.h"
#include "engine/presets/TargetPresets.h"

namespace {

std::optional<TTvNorm> NamedNorm(const std::string &norm) {
  if (norm == "pal")
    return TTvNorm::Pal;
  if (norm == "ntsc")
    return TTvNorm::Ntsc;
  if (norm == "film")
    return TTvNorm::Film;
  return std::nullopt;
}

} // namespace

void TTaskOptions::ApplyTarget(const std::string &type, const std::string &norm,
                                const std::string &fallbackNorm) {
  std::optional<TTvNorm> n = NamedNorm(norm);
  if (!n) {
    n = NormOfInputs();
    if (!n)
      n = fallbackNorm == "film" ? TTvNorm::Film : fallbackNorm == "ntsc" ? TTvNorm::Ntsc : TTvNorm::Pal;
    if (S.Verbose > 0)
      FHost.LogOption(1, std::string("Assuming ") + (n == TTvNorm::Pal ? "PAL" : "NTSC") + " for target.");
  }
  const TTargetStart start{S.FrameAspectRatio != 0.0f, S.AudioChannels};
  for (const auto &[name, value] : TargetOptionLines(type, *n, start)) {
    if (name == "aspect")
      FHost.LogOption(1, "Assuming " + value + " for aspect ratio");
    // A target names the format it writes; "f" in the table would force the next input's too.
    if (name == "f")
      SetOutputFormat(value);
    else
      SetOption(name, value);
  }
}

std::optional<TTvNorm> TTaskOptions::NormOfInputs() const {
  // The last opened input's frame rate, else the rates of the input video streams.
  if (S.FrameRate.den == 0)
    throw FFmpegException("frame_rate is invalid.");
  std::optional<TTvNorm> norm = NormOfFrameRate(S.FrameRate.num, S.FrameRate.den);
  for (const AVRational &rate : FHost.InputVideoFrameRates())
    if (!norm && rate.num > 0 && rate.den > 0)
      norm = NormOfFrameRate(rate.num, rate.den);
  return norm;
}

void TTaskOptions::SetTargetOption(const std::string &value) {
  const std::string target = Trim(value);
  for (const char *norm : {"pal", "ntsc", "film"}) {
    const std::string prefix = std::string(norm) + "-";
    if (target.compare(0, prefix.size(), prefix) == 0) {
      ApplyTarget(target.substr(prefix.size()), norm, "ntsc");
      return;
    }
  }
  ApplyTarget(target, "auto", "ntsc");
}
