#include "engine/encode/PassLog.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

bool TPassLog::Open(const std::string &name) {
  FFile.reset(std::fopen(name.c_str(), "w"));
  return IsOpen();
}

void TPassLog::AfterPacket(const AVCodecContext &encoder) {
  if (!FFile || !encoder.stats_out)
    return;
  FLast = encoder.stats_out;
  std::fputs(encoder.stats_out, FFile.get());
}

void TPassLog::AfterDrain(const AVCodecContext &encoder) {
  // An encoder that leaves its last packet's statistics in place would have them twice.
  if (FFile && encoder.stats_out && FLast != encoder.stats_out)
    AfterPacket(encoder);
}
