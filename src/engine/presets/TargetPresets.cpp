#include "engine/presets/TargetPresets.h"

#include <cmath>

#include "engine/FFmpegException.h"

namespace {

const char *NormFrameRate(TTvNorm norm) {
  switch (norm) {
  case TTvNorm::Pal:
    return "25";
  case TTvNorm::Ntsc:
    return "30000/1001";
  case TTvNorm::Film:
    break;
  }
  return "24000/1001";
}

void AddDefaultAspect(TOptionLines &lines, const TTargetStart &start, const char *aspect) {
  if (!start.AspectSet)
    lines.emplace_back("aspect", aspect);
}

TOptionLines VcdLines(bool pal, const char *rate, const TTargetStart &start) {
  TOptionLines lines = {{"vcodec", "mpeg1video"},
                        {"acodec", "mp2"},
                        {"f", "vcd"},
                        {"s", pal ? "352x288" : "352x240"},
                        {"r", rate},
                        {"g", pal ? "15" : "18"},
                        {"b", "1150000"},
                        {"maxrate", "1150000"},
                        {"minrate", "1150000"},
                        {"bufsize", "327680"},
                        {"ab", "224000"},
                        {"ar", "44100"},
                        {"ac", "2"},
                        {"packetsize", "2324"},
                        {"muxrate", "1411200"},
                        {"muxpreload", "0.44"}};
  AddDefaultAspect(lines, start, "4:3");
  return lines;
}

TOptionLines SvcdLines(bool pal, const char *rate, const TTargetStart &start) {
  TOptionLines lines = {{"vcodec", "mpeg2video"},
                        {"acodec", "mp2"},
                        {"f", "svcd"},
                        {"s", pal ? "480x576" : "480x480"},
                        {"r", rate},
                        {"g", pal ? "15" : "18"},
                        {"b", "2040000"},
                        {"maxrate", "2516000"},
                        {"minrate", "0"},
                        {"bufsize", "1835008"},
                        {"flags", "+scan_offset"},
                        {"ab", "224000"},
                        {"ar", "44100"}};
  if (start.AudioChannels == 1)
    lines.emplace_back("ac", "2");
  lines.emplace_back("packetsize", "2324");
  AddDefaultAspect(lines, start, "4:3");
  return lines;
}

TOptionLines DvdLines(bool pal, const char *rate, const TTargetStart &start) {
  TOptionLines lines = {{"vcodec", "mpeg2video"},
                        {"acodec", "ac3"},
                        {"f", "dvd"},
                        {"s", pal ? "720x576" : "720x480"},
                        {"r", rate},
                        {"g", pal ? "15" : "18"},
                        {"b", "6000000"},
                        {"maxrate", "9000000"},
                        {"minrate", "0"},
                        {"bufsize", "1835008"},
                        {"ab", "448000"},
                        {"ar", "48000"}};
  if (start.AudioChannels == 1)
    lines.emplace_back("ac", "2");
  lines.emplace_back("packetsize", "2048");
  lines.emplace_back("muxrate", "10080000");
  AddDefaultAspect(lines, start, "16:9");
  return lines;
}

TOptionLines DvLines(bool pal, const char *rate, bool dv50) {
  return {{"f", "dv"},
          {"s", pal ? "720x576" : "720x480"},
          {"pix_fmt", dv50  ? "yuv422p"
                      : pal ? "yuv420p"
                            : "yuv411p"},
          {"r", rate},
          {"ar", "48000"},
          {"ac", "2"}};
}

long Millirate(int num, int den) {
  return std::lround(static_cast<double>(num) * 1000.0 / den);
}

} // namespace

TOptionLines TargetOptionLines(const std::string &type, TTvNorm norm, const TTargetStart &start) {
  const bool pal = norm == TTvNorm::Pal;
  const char *rate = NormFrameRate(norm);
  if (type == "vcd")
    return VcdLines(pal, rate, start);
  if (type == "svcd")
    return SvcdLines(pal, rate, start);
  if (type == "dvd")
    return DvdLines(pal, rate, start);
  if (type == "dv" || type == "dv50")
    return DvLines(pal, rate, type == "dv50");
  throw FFmpegException("Unknown target type");
}

std::optional<TTvNorm> NormOfFrameRate(int num, int den) {
  if (den <= 0)
    return std::nullopt;
  const long rate = Millirate(num, den);
  if (rate == 23976 || rate == 29970)
    return TTvNorm::Ntsc;
  if (rate == 25000)
    return TTvNorm::Pal;
  return std::nullopt;
}
