#include "media/SwResampleStubs.h"

TSwResampleStubs SwResample;

std::span<const TStubEntry> SwResampleEntries() {
#define TVL_STUB_ENTRY(name) TStubEntry{#name, &SwResample.name},
  static const TStubEntry entries[] = {TVL_SWRESAMPLE_ENTRIES(TVL_STUB_ENTRY)};
#undef TVL_STUB_ENTRY
  return entries;
}
