#include "media/SwScaleStubs.h"

TSwScaleStubs SwScale;

std::span<const TStubEntry> SwScaleEntries() {
#define TVL_STUB_ENTRY(name) TStubEntry{#name, &SwScale.name},
  static const TStubEntry entries[] = {TVL_SWSCALE_ENTRIES(TVL_STUB_ENTRY)};
#undef TVL_STUB_ENTRY
  return entries;
}
