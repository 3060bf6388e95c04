#include "engine/LibraryObjects.h"

#include <filesystem>
#include <mutex>
#include <system_error>

#include "engine/FFmpegException.h"
#include "media/AVCodecStubs.h"
#include "media/AVFilterStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"
#include "media/SwResampleStubs.h"
#include "media/SwScaleStubs.h"

void TCodecContextFree::operator()(AVCodecContext *context) {
  if (Open) {
    // Opening and closing codecs is not safe on several threads at once.
    std::lock_guard guard(CodecLock());
    AVCodecLib.avcodec_close(context);
    Open = false;
  }
  AVUtil.av_freep(&context->stats_in);
  AVCodecLib.avcodec_free_context(&context);
}

void TFormatContextFree::operator()(AVFormatContext *context) const { AVFormat.avformat_free_context(context); }

void TInputContextClose::operator()(AVFormatContext *context) const { AVFormat.avformat_close_input(&context); }

void TOutputContextClose::operator()(AVFormatContext *context) const {
  if (context->pb && !(context->oformat->flags & AVFMT_NOFILE)) {
    AVFormat.avio_closep(&context->pb);
    // An output that received nothing is not left behind as an empty file.
    std::error_code ec;
    if (context->url && std::filesystem::is_regular_file(context->url, ec) &&
        std::filesystem::file_size(context->url, ec) == 0)
      std::filesystem::remove(context->url, ec);
  }
  AVFormat.avformat_free_context(context);
}

void TScalerFree::operator()(SwsContext *context) const { SwScale.sws_freeContext(context); }

void TFrameFree::operator()(AVFrame *frame) const { AVUtil.av_frame_free(&frame); }

void TPacketFree::operator()(AVPacket *packet) const { AVCodecLib.av_packet_free(&packet); }

void TResamplerFree::operator()(SwrContext *context) const { SwResample.swr_free(&context); }

void TAudioFifoFree::operator()(AVAudioFifo *fifo) const { AVUtil.av_audio_fifo_free(fifo); }

void TFilterGraphFree::operator()(AVFilterGraph *graph) const { AVFilterLib.avfilter_graph_free(&graph); }

void TAVFree::operator()(void *block) const { AVUtil.av_free(block); }

TFramePtr NewFrame() {
  TFramePtr frame(AVUtil.av_frame_alloc());
  if (!frame)
    throw FFmpegException("av_frame_alloc failed");
  return frame;
}

TPacketPtr NewPacket() {
  TPacketPtr packet(AVCodecLib.av_packet_alloc());
  if (!packet)
    throw FFmpegException("av_packet_alloc failed");
  return packet;
}
