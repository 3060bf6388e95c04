#pragma once
// Entry table of libavformat. The library is never linked: every entry point the program calls is
// resolved by name when the library is bound, and called through AVFormat.<name>.
#include "media/StubTable.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
}

// Every entry point of libavformat the program calls, each name written once. Only exported symbols
// belong here; macros and header inlines that call into the library are replaced in AVInline.h.
// clang-format off
#define TVL_AVFORMAT_ENTRIES(X) \
  X(avformat_version) X(av_find_input_format) X(avformat_open_input) X(avformat_find_stream_info) \
  X(av_find_best_stream) X(av_read_frame) X(av_seek_frame) X(avformat_seek_file) X(av_read_pause) \
  X(av_read_play) X(avformat_close_input) X(avformat_alloc_context) X(avformat_free_context) \
  X(avformat_alloc_output_context2) X(avformat_get_class) X(av_guess_format) X(av_guess_codec) \
  X(av_guess_frame_rate) X(av_guess_sample_aspect_ratio) X(avformat_query_codec) X(av_demuxer_iterate) \
  X(av_muxer_iterate) X(av_match_ext) X(avformat_new_stream) X(avformat_init_output) \
  X(avformat_write_header) X(av_interleaved_write_frame) X(av_write_frame) X(av_write_trailer) \
  X(av_filename_number_test) X(av_sdp_create) X(av_pkt_dump_log2) X(av_dump_format) X(av_codec_get_id) \
  X(av_codec_get_tag) X(avformat_get_riff_video_tags) X(avformat_get_riff_audio_tags) \
  X(avformat_match_stream_specifier) X(avformat_network_init) X(avformat_network_deinit) X(avio_open) \
  X(avio_open2) X(avio_close) X(avio_closep) X(avio_feof) X(avio_size) X(avio_seek) X(avio_skip) \
  X(avio_flush) X(avio_write) X(avio_r8) X(avio_read) X(av_stream_get_side_data) X(av_stream_new_side_data)
// clang-format on

struct TAVFormatStubs {
#define TVL_STUB_POINTER(name) decltype(&::name) name = nullptr;
  TVL_AVFORMAT_ENTRIES(TVL_STUB_POINTER)
#undef TVL_STUB_POINTER
};

extern TAVFormatStubs AVFormat;

// Name and slot of every pointer of AVFormat, in list order, for the loader's resolver.
std::span<const TStubEntry> AVFormatEntries();
