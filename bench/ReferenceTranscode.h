#pragma once
// The reference side of the benchmark: the same conversion done by a minimal loop straight on the
// libraries (demux, decode, scale or resample, encode, mux), no engine.
#include <string>

struct TReferenceJob {
  std::string Input, Output;
  bool Copy = false;
  std::string VideoCodec; // empty: no video
  int Width = 0, Height = 0;
  std::string AudioCodec;
  int SampleRate = 44100, Channels = 2;
  int VideoBitRate = 1000000, AudioBitRate = 128000;
  int Threads = 1; // codec threads; 0: the libraries' automatic choice
};

// False with error set when a library call refused.
bool ReferenceTranscode(const TReferenceJob &job, std::string &error);
