#pragma once
// Entry table of libavcodec. The library is never linked: every entry point the program calls is
// resolved by name when the library is bound, and called through AVCodecLib.<name>.
#include "media/StubTable.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
}

// Every entry point of libavcodec the program calls, each name written once. Only exported symbols
// belong here; macros and header inlines that call into the library are replaced in AVInline.h.
// clang-format off
#define TVL_AVCODEC_ENTRIES(X) \
  X(avcodec_version) X(avcodec_find_encoder) X(avcodec_find_encoder_by_name) X(avcodec_find_decoder) \
  X(avcodec_find_decoder_by_name) X(av_codec_iterate) X(av_codec_is_encoder) X(av_codec_is_decoder) \
  X(avcodec_get_name) X(avcodec_descriptor_get) X(avcodec_get_class) X(avcodec_alloc_context3) \
  X(avcodec_free_context) X(avcodec_open2) X(avcodec_close) X(avcodec_flush_buffers) \
  X(avcodec_parameters_alloc) X(avcodec_parameters_free) X(avcodec_parameters_copy) \
  X(avcodec_parameters_to_context) X(avcodec_parameters_from_context) X(avcodec_send_packet) \
  X(avcodec_receive_frame) X(avcodec_send_frame) X(avcodec_receive_packet) X(avcodec_decode_subtitle2) \
  X(avcodec_encode_subtitle) X(avsubtitle_free) X(av_packet_alloc) X(av_packet_free) X(av_packet_clone) \
  X(av_packet_ref) X(av_packet_unref) X(av_packet_move_ref) X(av_packet_make_refcounted) \
  X(av_packet_copy_props) X(av_packet_rescale_ts) X(av_new_packet) X(av_grow_packet) \
  X(av_shrink_packet) X(av_packet_get_side_data) X(av_packet_new_side_data) X(av_get_bits_per_sample) \
  X(av_get_exact_bits_per_sample) X(av_get_audio_frame_duration2) X(avcodec_string) \
  X(av_bsf_get_by_name) X(av_bsf_alloc) X(av_bsf_init) X(av_bsf_send_packet) X(av_bsf_receive_packet) \
  X(av_bsf_flush) X(av_bsf_free) X(av_bsf_list_parse_str) X(av_parser_init) X(av_parser_parse2) \
  X(av_parser_close)
// clang-format on

struct TAVCodecStubs {
#define TVL_STUB_POINTER(name) decltype(&::name) name = nullptr;
  TVL_AVCODEC_ENTRIES(TVL_STUB_POINTER)
#undef TVL_STUB_POINTER
};

// Not named AVCodec: that is the library's own type name.
extern TAVCodecStubs AVCodecLib;

// Name and slot of every pointer of AVCodec, in list order, for the loader's resolver.
std::span<const TStubEntry> AVCodecEntries();
