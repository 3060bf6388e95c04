#pragma once
// Measured sizes: a few short pieces of a file encoded with the output's real settings, the bytes a
// second of their picture and sound read back from what was written. A constant quality spends
// what the picture needs, and some sound encoders far less than their bit rate, so only encoding
// tells.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "convert/SizeEstimate.h"
#include "engine/FFmpegOptions.h"

class TCustomFFmpeg;

// What a file's samples are encoded with.
struct TSampleJob {
  // Names the file (with its size and time), the output's settings and the range: a result kept
  // under it holds until one of them changes.
  std::string Key;
  std::string FileName;
  // The output as the run would write it; a stream whose size is known without sampling is left
  // out (disabled) of the samples.
  TOutputOptions Output;
  int64_t StartMs = 0; // the part of the file the output covers
  int64_t LengthMs = 0;
  int Threads = 0; // codec threads; 0: the libraries' choice
};

// Sampled rates by job key.
using TSampleCache = std::map<std::string, TSampledRates>;

// The pieces a range is sampled by, spread over it; the whole range when it is short. Encoders
// spend more in their first moments (a key picture, rate control and sound settling), which a
// long output has once: each piece but a whole range is led in by a part encoded and not counted.
struct TSamplePiece {
  int64_t StartMs = 0; // what is counted
  int64_t LengthMs = 0;
  int64_t LeadMs = 0; // encoded before StartMs
};
std::vector<TSamplePiece> SamplePieces(int64_t startMs, int64_t lengthMs);

class TSizeSampler {
public:
  // Encodes the job's pieces one after another on the calling thread (the engine's libraries bound);
  // none when a piece fails or the sampling was stopped. Each piece's file is removed.
  std::optional<TSampledRates> Measure(const TSampleJob &job);
  // Any thread: the piece in hand stops and Measure gives none, until Rearm.
  void Stop();
  void Rearm() { FStopped = false; }
  bool Stopped() const { return FStopped; }

private:
  struct TStreamBytes {
    int64_t Video = 0;
    int64_t Audio = 0;
  };
  std::optional<TStreamBytes> EncodePiece(const TSampleJob &job, const TSamplePiece &piece);
  // Runs the piece's task on this thread; true when it finished.
  bool RunPiece(const TInputOptions &input, const TOutputOptions &output);
  // Makes the task the piece in hand (null: none); false when stopped already.
  bool Hand(TCustomFFmpeg *task);

  std::atomic<bool> FStopped{false};
  std::mutex FTaskLock;
  TCustomFFmpeg *FTask = nullptr; // the piece in hand; guarded by FTaskLock
};
