#pragma once
// The input stage's files: what opening the task's inputs produced, read by the transcode. The set
// owns every file, its streams and its decoders: dropping it closes the codecs, then the files.
#include <cstdint>
#include <vector>

#include "engine/LibraryObjects.h"

struct AVCodec;
struct AVFormatContext;

// An opened input file of a task (the queue's record of a file is another type).
struct TOpenedInput {
  TInputContextPtr Context;
  int64_t TsOffset = 0; // added to this file's timestamps
  bool Seeked = false;  // opened at a start offset: what comes before it is left out
  // Per stream of the file: the decoder settings gathered for it, opened by the transcode; null for
  // streams that are not decoded. Declared after Context: closed before it.
  std::vector<TCodecContextPtr> Decoders;
};

struct TInputSet {
  std::vector<TOpenedInput> Files;
  // By stream across all files: the decoder the stream options chose, or null.
  std::vector<const AVCodec *> Codecs;

  AVFormatContext *Context(int file) const { return Files[static_cast<size_t>(file)].Context.get(); }
  void Clear() {
    Files.clear();
    Codecs.clear();
  }
};
