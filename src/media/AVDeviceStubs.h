#pragma once
// Entry table of libavdevice. The library is never linked: every entry point the program calls is
// resolved by name when the library is bound, and called through AVDevice.<name>.
#include "media/StubTable.h"

extern "C" {
#include <libavdevice/avdevice.h>
}

// Every entry point of libavdevice the program calls, each name written once. Only exported symbols
// belong here; macros and header inlines that call into the library are replaced in AVInline.h.
// clang-format off
#define TVL_AVDEVICE_ENTRIES(X) \
  X(avdevice_version) X(avdevice_register_all)
// clang-format on

struct TAVDeviceStubs {
#define TVL_STUB_POINTER(name) decltype(&::name) name = nullptr;
  TVL_AVDEVICE_ENTRIES(TVL_STUB_POINTER)
#undef TVL_STUB_POINTER
};

extern TAVDeviceStubs AVDevice;

// Name and slot of every pointer of AVDevice, in list order, for the loader's resolver.
std::span<const TStubEntry> AVDeviceEntries();
