#include "media/AVFormatStubs.h"

TAVFormatStubs AVFormat;

std::span<const TStubEntry> AVFormatEntries() {
#define TVL_STUB_ENTRY(name) TStubEntry{#name, &AVFormat.name},
  static const TStubEntry entries[] = {TVL_AVFORMAT_ENTRIES(TVL_STUB_ENTRY)};
#undef TVL_STUB_ENTRY
  return entries;
}
