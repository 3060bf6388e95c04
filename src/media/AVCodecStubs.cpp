#include "media/AVCodecStubs.h"

TAVCodecStubs AVCodecLib;

std::span<const TStubEntry> AVCodecEntries() {
#define TVL_STUB_ENTRY(name) TStubEntry{#name, &AVCodecLib.name},
  static const TStubEntry entries[] = {TVL_AVCODEC_ENTRIES(TVL_STUB_ENTRY)};
#undef TVL_STUB_ENTRY
  return entries;
}
