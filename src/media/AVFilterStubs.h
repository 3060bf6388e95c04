#pragma once
// Entry table of libavfilter. The library is never linked: every entry point the program calls is
// resolved by name when the library is bound, and called through AVFilterLib.<name>.
#include "media/StubTable.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

// Every entry point of libavfilter the program calls, each name written once. Only exported symbols
// belong here; macros and header inlines that call into the library are replaced in AVInline.h.
// clang-format off
#define TVL_AVFILTER_ENTRIES(X) \
  X(avfilter_version) X(avfilter_get_by_name) X(av_filter_iterate) X(avfilter_graph_alloc) \
  X(avfilter_graph_free) X(avfilter_graph_alloc_filter) X(avfilter_graph_create_filter) \
  X(avfilter_init_str) X(avfilter_init_dict) X(avfilter_link) X(avfilter_graph_config) \
  X(avfilter_graph_parse_ptr) X(avfilter_graph_request_oldest) X(avfilter_inout_alloc) \
  X(avfilter_inout_free) X(av_buffersrc_add_frame) X(av_buffersrc_add_frame_flags) \
  X(av_buffersrc_write_frame) X(av_buffersrc_get_nb_failed_requests) X(av_buffersink_get_frame) \
  X(av_buffersink_get_frame_flags) X(av_buffersink_get_samples) X(av_buffersink_set_frame_size) \
  X(av_buffersink_get_w) X(av_buffersink_get_h) X(av_buffersink_get_format) \
  X(av_buffersink_get_time_base) X(av_buffersink_get_frame_rate) \
  X(av_buffersink_get_sample_aspect_ratio) X(av_buffersink_get_sample_rate)
// clang-format on

struct TAVFilterStubs {
#define TVL_STUB_POINTER(name) decltype(&::name) name = nullptr;
  TVL_AVFILTER_ENTRIES(TVL_STUB_POINTER)
#undef TVL_STUB_POINTER
};

// Not named AVFilter: that is the library's own type name.
extern TAVFilterStubs AVFilterLib;

// Name and slot of every pointer of AVFilter, in list order, for the loader's resolver.
std::span<const TStubEntry> AVFilterEntries();
