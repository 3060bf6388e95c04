// Target presets: the settings a disc standard (VCD, SVCD, DVD) or DV requires, for a TV norm.
#include <cmath>

#include "engine/FFmpeg.h"
#include "engine/FFmpegException.h"
#include "engine/options/OptionValues.h"
#include "media/AVFormatStubs.h"

namespace {

enum TNorm { NormPAL, NormNTSC, NormFILM };

constexpr const char *NormFrameRates[] = {"25", "30000/1001", "24000/1001"};

// A frame rate in thousandths that names a norm, or -1.
int NormOfRate(long rate) {
  if (rate == 23976 || rate == 29970)
    return NormNTSC;
  if (rate == 25000)
    return NormPAL;
  return -1;
}

long Millirate(int num, int den) { return std::lround(static_cast<double>(num) * 1000.0 / den); }

} // namespace

void TCustomFFmpeg::ApplyTarget(const std::string &type, const std::string &norm, const std::string &fallbackNorm) {
  int n;
  if (norm == "pal") {
    n = NormPAL;
  } else if (norm == "ntsc") {
    n = NormNTSC;
  } else if (norm == "film") {
    n = NormFILM;
  } else {
    // Decide from the last opened input: its frame rate, else the rates of the input video streams.
    if (S.FrameRate.den == 0)
      throw FFmpegException("frame_rate is invalid.");
    n = NormOfRate(Millirate(S.FrameRate.num, S.FrameRate.den));
    for (const TOpenedInput &file : FInputs.Files) {
      for (unsigned i = 0; n < 0 && i < file.Context->nb_streams; ++i) {
        const AVStream *st = file.Context->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0)
          n = NormOfRate(Millirate(st->avg_frame_rate.num, st->avg_frame_rate.den));
      }
    }
    if (n < 0)
      n = fallbackNorm == "film" ? NormFILM : fallbackNorm == "ntsc" ? NormNTSC : NormPAL;
    if (S.Verbose > 0)
      Log(1, std::string("Assuming ") + (n == NormPAL ? "PAL" : "NTSC") + " for target.");
  }
  const bool pal = n == NormPAL;
  const std::string rate = NormFrameRates[n];

  auto defaultAspect = [this](const char *aspect) {
    if (S.FrameAspectRatio != 0.0f)
      return;
    Log(1, std::string("Assuming ") + aspect + " for aspect ratio");
    SetOption("aspect", aspect);
  };

  if (type == "vcd") {
    SetOption("vcodec", "mpeg1video");
    SetOption("acodec", "mp2");
    SetOutputFormat("vcd");
    SetOption("s", pal ? "352x288" : "352x240");
    SetOption("r", rate);
    SetGenericOption("g", pal ? "15" : "18");
    SetGenericOption("b", "1150000");
    SetGenericOption("maxrate", "1150000");
    SetGenericOption("minrate", "1150000");
    SetGenericOption("bufsize", "327680");
    SetGenericOption("ab", "224000");
    S.AudioSampleRate = 44100;
    S.AudioChannels = 2;
    SetGenericOption("packetsize", "2324");
    SetGenericOption("muxrate", "1411200");
    S.MuxPreload = 0.44f;
    defaultAspect("4:3");
  } else if (type == "svcd") {
    SetOption("vcodec", "mpeg2video");
    SetOption("acodec", "mp2");
    SetOutputFormat("svcd");
    SetOption("s", pal ? "480x576" : "480x480");
    SetOption("r", rate);
    SetGenericOption("g", pal ? "15" : "18");
    SetGenericOption("b", "2040000");
    SetGenericOption("maxrate", "2516000");
    SetGenericOption("minrate", "0");
    SetGenericOption("bufsize", "1835008");
    SetGenericOption("flags", "+scan_offset");
    SetGenericOption("ab", "224000");
    S.AudioSampleRate = 44100;
    if (S.AudioChannels == 1)
      S.AudioChannels = 2;
    SetGenericOption("packetsize", "2324");
    defaultAspect("4:3");
  } else if (type == "dvd") {
    SetOption("vcodec", "mpeg2video");
    SetOption("acodec", "ac3");
    SetOutputFormat("dvd");
    SetOption("s", pal ? "720x576" : "720x480");
    SetOption("r", rate);
    SetGenericOption("g", pal ? "15" : "18");
    SetGenericOption("b", "6000000");
    SetGenericOption("maxrate", "9000000");
    SetGenericOption("minrate", "0");
    SetGenericOption("bufsize", "1835008");
    SetGenericOption("ab", "448000");
    S.AudioSampleRate = 48000;
    if (S.AudioChannels == 1)
      S.AudioChannels = 2;
    SetGenericOption("packetsize", "2048");
    SetGenericOption("muxrate", "10080000");
    defaultAspect("16:9");
  } else if (type == "dv" || type == "dv50") {
    SetOutputFormat("dv");
    SetOption("s", pal ? "720x576" : "720x480");
    SetOption("pix_fmt", type == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
    SetOption("r", rate);
    S.AudioSampleRate = 48000;
    S.AudioChannels = 2;
  } else {
    throw FFmpegException("Unknown target type");
  }
}

void TCustomFFmpeg::SetTargetOption(const std::string &value) {
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
