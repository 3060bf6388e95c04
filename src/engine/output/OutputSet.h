#pragma once
// The output stage's files: what opening the task's outputs produced, filled by the transcode. The
// set owns every file, its streams and their encoders: dropping it closes the encoders, then the
// files (an output that received nothing is deleted).
#include <string>
#include <vector>

#include "engine/LibraryObjects.h"

struct AVCodec;
struct AVFormatContext;
struct AVStream;

// A stream of an output file with the encoder context that will feed it.
struct TOutputStream {
  AVStream *Stream = nullptr; // owned by the output's context
  TCodecContextPtr Encoder;
  const AVCodec *Codec = nullptr; // null for stream copy or when nothing was found
  bool StreamCopy = false;
  std::vector<std::string> BitstreamFilters;
};

struct TOutputFile {
  TOutputContextPtr Context;
  std::vector<TOutputStream> Streams; // declared after Context: released before it
};

struct TOutputSet {
  std::vector<TOutputFile> Files;
  int StreamCount = 0;

  AVFormatContext *Context(int file) const { return Files[static_cast<size_t>(file)].Context.get(); }
  // The paths of the outputs written to files (not devices or pipes).
  std::vector<std::string> WrittenFiles() const;
  void Clear() {
    Files.clear();
    StreamCount = 0;
  }
};
