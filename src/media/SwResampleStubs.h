#pragma once
// Entry table of libswresample. The library is never linked: every entry point the program calls is
// resolved by name when the library is bound, and called through SwResample.<name>.
#include "media/StubTable.h"

extern "C" {
#include <libswresample/swresample.h>
}

// Every entry point of libswresample the program calls, each name written once. Only exported symbols
// belong here; macros and header inlines that call into the library are replaced in AVInline.h.
// clang-format off
#define TVL_SWRESAMPLE_ENTRIES(X) \
  X(swresample_version) X(swr_alloc) X(swr_alloc_set_opts2) X(swr_init) X(swr_is_initialized) \
  X(swr_close) X(swr_free) X(swr_convert) X(swr_convert_frame) X(swr_get_delay) X(swr_get_out_samples) \
  X(swr_set_compensation) X(swr_next_pts)
// clang-format on

struct TSwResampleStubs {
#define TVL_STUB_POINTER(name) decltype(&::name) name = nullptr;
  TVL_SWRESAMPLE_ENTRIES(TVL_STUB_POINTER)
#undef TVL_STUB_POINTER
};

extern TSwResampleStubs SwResample;

// Name and slot of every pointer of SwResample, in list order, for the loader's resolver.
std::span<const TStubEntry> SwResampleEntries();
