#include "media/AVFilterStubs.h"

TAVFilterStubs AVFilterLib;

std::span<const TStubEntry> AVFilterEntries() {
#define TVL_STUB_ENTRY(name) TStubEntry{#name, &AVFilterLib.name},
  static const TStubEntry entries[] = {TVL_AVFILTER_ENTRIES(TVL_STUB_ENTRY)};
#undef TVL_STUB_ENTRY
  return entries;
}
