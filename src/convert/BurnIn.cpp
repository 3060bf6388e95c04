#include "convert/BurnIn.h"

namespace {

std::string Escaped(const std::string &text, const std::string &special) {
  std::string out;
  for (char c : text) {
    if (special.find(c) != std::string::npos)
      out += '\\';
    out += c;
  }
  return out;
}

} // namespace

std::string FilterGraphValue(const std::string &text) { return Escaped(Escaped(text, "\\:'"), "\\'[],;"); }

std::string BurnInFilter(const std::string &path, int index, int64_t startMs) {
  const std::string draw = "subtitles=filename=" + FilterGraphValue(path) + ":si=" + std::to_string(index);
  if (startMs == 0)
    return draw;
  const std::string shift = std::to_string(startMs < 0 ? -startMs : startMs) + "/1000/TB";
  const char *to = startMs < 0 ? "-" : "+", *back = startMs < 0 ? "+" : "-";
  return "setpts=PTS" + std::string(to) + shift + "," + draw + ",setpts=PTS" + back + shift;
}
