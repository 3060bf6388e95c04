#include "engine/MediaObjects.h"

#include "engine/FFmpegException.h"
#include "media/AVCodecStubs.h"
#include "media/AVFilterStubs.h"
#include "media/AVUtilStubs.h"
#include "media/SwResampleStubs.h"

void TFrameFree::operator()(AVFrame *frame) const { AVUtil.av_frame_free(&frame); }
void TPacketFree::operator()(AVPacket *packet) const { AVCodecLib.av_packet_free(&packet); }
void TResamplerFree::operator()(SwrContext *context) const { SwResample.swr_free(&context); }
void TAudioFifoFree::operator()(AVAudioFifo *fifo) const { AVUtil.av_audio_fifo_free(fifo); }
void TFilterGraphFree::operator()(AVFilterGraph *graph) const { AVFilterLib.avfilter_graph_free(&graph); }

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
