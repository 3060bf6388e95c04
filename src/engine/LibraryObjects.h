#pragma once
// Owning handles of the library objects the engine holds; each deleter frees through the entry
// tables.
#include <memory>

struct AVAudioFifo;
struct AVCodecContext;
struct AVFilterGraph;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;
struct SwsContext;

// A codec context, closed under the codec lock when it was opened (see MarkOpened), then
// freed with its two-pass statistics.
struct TCodecContextFree {
  bool Open = false;
  void operator()(AVCodecContext *context);
};
using TCodecContextPtr = std::unique_ptr<AVCodecContext, TCodecContextFree>;
// Marks the context opened: it closes under the codec lock when it goes.
inline void MarkOpened(TCodecContextPtr &context) { context.get_deleter().Open = true; }

// For contexts that never opened a file (templates, outputs before their file is open).
struct TFormatContextFree {
  void operator()(AVFormatContext *context) const;
};
using TFormatContextPtr = std::unique_ptr<AVFormatContext, TFormatContextFree>;

// An opened input: closed and freed.
struct TInputContextClose {
  void operator()(AVFormatContext *context) const;
};
using TInputContextPtr = std::unique_ptr<AVFormatContext, TInputContextClose>;

// An output: its file is closed when it was opened, and deleted when nothing was written to it.
struct TOutputContextClose {
  void operator()(AVFormatContext *context) const;
};
using TOutputContextPtr = std::unique_ptr<AVFormatContext, TOutputContextClose>;

struct TScalerFree {
  void operator()(SwsContext *context) const;
};
using TScalerPtr = std::unique_ptr<SwsContext, TScalerFree>;

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

// Memory the library allocated for us (av_free).
struct TAVFree {
  void operator()(void *block) const;
};

// Frames and packets are allocated by the library; allocation failure raises FFmpegException.
TFramePtr NewFrame();
TPacketPtr NewPacket();
