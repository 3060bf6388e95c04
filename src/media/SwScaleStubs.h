#pragma once
// Entry table of libswscale. The library is never linked: every entry point the program calls is
// resolved by name when the library is bound, and called through SwScale.<name>.
#include "media/StubTable.h"

extern "C" {
#include <libswscale/swscale.h>
}

// Every entry point of libswscale the program calls, each name written once. Only exported symbols
// belong here; macros and header inlines that call into the library are replaced in AVInline.h.
// clang-format off
#define TVL_SWSCALE_ENTRIES(X) \
  X(swscale_version) X(sws_getContext) X(sws_getCachedContext) X(sws_scale) X(sws_scale_frame) \
  X(sws_freeContext) X(sws_isSupportedInput) X(sws_isSupportedOutput) X(sws_getCoefficients) \
  X(sws_getColorspaceDetails) X(sws_setColorspaceDetails)
// clang-format on

struct TSwScaleStubs {
#define TVL_STUB_POINTER(name) decltype(&::name) name = nullptr;
  TVL_SWSCALE_ENTRIES(TVL_STUB_POINTER)
#undef TVL_STUB_POINTER
};

extern TSwScaleStubs SwScale;

// Name and slot of every pointer of SwScale, in list order, for the loader's resolver.
std::span<const TStubEntry> SwScaleEntries();
