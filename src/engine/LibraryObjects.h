#pragma once
// Owning handles of the library objects a task holds; each deleter frees through the entry tables.
#include <memory>

struct AVCodecContext;
struct AVFormatContext;
struct SwsContext;

struct TCodecContextFree {
  void operator()(AVCodecContext *context) const;
};
using TCodecContextPtr = std::unique_ptr<AVCodecContext, TCodecContextFree>;

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

// Memory the library allocated for us (av_free).
struct TAVFree {
  void operator()(void *block) const;
};
