#include "media/AVUtilStubs.h"

TAVUtilStubs AVUtil;

std::span<const TStubEntry> AVUtilEntries() {
#define TVL_STUB_ENTRY(name) TStubEntry{#name, &AVUtil.name},
  static const TStubEntry entries[] = {TVL_AVUTIL_ENTRIES(TVL_STUB_ENTRY)};
#undef TVL_STUB_ENTRY
  return entries;
}
