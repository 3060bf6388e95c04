#include "media/AVDeviceStubs.h"

TAVDeviceStubs AVDevice;

std::span<const TStubEntry> AVDeviceEntries() {
#define TVL_STUB_ENTRY(name) TStubEntry{#name, &AVDevice.name},
  static const TStubEntry entries[] = {TVL_AVDEVICE_ENTRIES(TVL_STUB_ENTRY)};
#undef TVL_STUB_ENTRY
  return entries;
}
