#pragma once
// The tables of one transcode: the state of every input file, input stream and output stream,
// built by the transcoder from the task's opened files and read by every stage it runs.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
}

#include "engine/output/OutputSet.h"
#include "engine/LibraryObjects.h"
#include "engine/encode/PassLog.h"
#include "engine/encode/VideoStats.h"
#include "engine/feedback/Previewer.h"
#include "engine/feedback/ProgressReport.h"
#include "engine/filter/AudioOut.h"
#include "engine/filter/VideoFilters.h"
#include "engine/filter/VideoHooks.h"
#include "engine/filter/VideoOut.h"

// "#file.stream", as stream numbers are written in messages.
inline std::string StreamLabel(int file, int stream) {
  return "#" + std::to_string(file) + "." + std::to_string(stream);
}

struct TBsfFree {
  void operator()(AVBSFContext *context) const;
};
using TBsfPtr = std::unique_ptr<AVBSFContext, TBsfFree>;
struct TFileClose {
  void operator()(std::FILE *file) const { std::fclose(file); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileClose>;

struct TInputFileState {
  int EofReached = 0;
  int FirstStream = 0;
  int StreamCount = 0;
};

struct TInputStreamState {
  int FileIndex = 0;
  int StreamIndex = 0;
  AVStream *Stream = nullptr;
  AVCodecContext *Decoder = nullptr; // prepared by the input setup; null for data streams
  int Discard = 1;
  int DecodingNeeded = 0;
  int64_t WallStart = 0;
  int64_t NextPts = AV_NOPTS_VALUE; // microseconds
  int64_t Pts = 0;                  // microseconds
  int AtStart = 1;
  // Decoded times: the correction of the last discontinuity and the time the next frame should
  // have (microseconds), so a broken timestamp is caught even when the packets carried none.
  int64_t FrameTsOffset = 0;
  int64_t NextFramePts = AV_NOPTS_VALUE;
  TFramePtr Picture; // the decoded frame being handed on
  TVideoFilter Filter;     // the vfilters graph, or the one that turns pictures upright
  std::string Turn;        // filters that turn the pictures upright
  TFramePtr FilterPicture; // the graph's output being handed on
};

struct TOutputStreamState {
  int FileIndex = 0;
  int Index = 0;
  int SourceIndex = 0;
  AVStream *Stream = nullptr;
  TOutputStream *Output = nullptr;
  AVCodecContext *Encoder = nullptr;
  int EncodingNeeded = 0;
  int FrameCount = 0;
  TInputStreamState *SyncSource = nullptr;
  int64_t SyncPosition = 0;           // frames or samples handed to the encoder, in its time base
  int64_t MuxEnd = AV_NOPTS_VALUE;    // end of the last packet written, in the stream's time base
  int64_t LastDts = AV_NOPTS_VALUE;   // of the last packet written, in the stream's time base
  bool DtsCorrected = false;          // a packet's timestamps have been moved (logged once)
  int64_t PacketsWritten = 0;         // accepted by the muxer
  bool PastLimit = false;             // reached the bound of the output's length
  std::vector<TBsfPtr> Filters;
  int AudioResample = 0; // handed to the audio path when it is made
  TPassLog TwoPassLog; // the first pass's statistics, when the encoder writes one
  std::unique_ptr<TAudioOut> AudioPath; // made with the first decoded block
  std::unique_ptr<TVideoOut> VideoPath; // made with the first decoded picture
};
