#pragma once
// Owning handles of the library objects the output paths hold; each deleter frees through the
// entry tables.
#include <memory>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libavcodec/packet.h>
}

struct TFrameFree {
  void operator()(AVFrame *frame) const;
};
using TFramePtr = std::unique_ptr<AVFrame, TFrameFree>;

struct TPacketFree {
  void operator()(AVPacket *packet) const;
};
using TPacketPtr = std::unique_ptr<AVPacket, TPacketFree>;

struct TResamplerFree {
  void operator()(SwrContext *context) const;
};
using TResamplerPtr = std::unique_ptr<SwrContext, TResamplerFree>;

struct TAudioFifoFree {
  void operator()(AVAudioFifo *fifo) const;
};
using TAudioFifoPtr = std::unique_ptr<AVAudioFifo, TAudioFifoFree>;

struct TFilterGraphFree {
  void operator()(AVFilterGraph *graph) const;
};
using TFilterGraphPtr = std::unique_ptr<AVFilterGraph, TFilterGraphFree>;

// Frames and packets are allocated by the library; allocation failure raises FFmpegException.
TFramePtr NewFrame();
TPacketPtr NewPacket();
