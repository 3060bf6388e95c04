#pragma once
// Whether a file's streams already fit the profile, so that they are copied into the new container
// instead of decoded and encoded again: faster by far, and nothing of the picture or the sound is
// lost. A stream fits when the profile would give it the same codec and the same shape: size and
// rate, 8-bit 4:2:0, no aspect change, no rotation, a bit rate not above the profile's; for sound
// the same sample rate and channels, no volume change.
#include <cstdint>
#include <string>

#include "engine/FFmpegOptions.h"

struct AVFormatContext;

// The first picture and sound streams of a source, as far as the decision needs them. Codec ids are
// the libraries' (0: no such stream); a bit rate or size the file does not tell is 0.
struct TSourceFacts {
  int VideoCodec = 0;
  int Width = 0, Height = 0;
  int PixelFormat = -1;
  double FrameRate = 0;
  int64_t VideoBitRate = 0;
  bool Rotated = false;
  int ColorPrimaries = 2, ColorTransfer = 2, ColorSpace = 2; // the library's values; 2: not told
  int AudioCodec = 0;
  int SampleRate = 0, Channels = 0;
  int64_t AudioBitRate = 0;
};

TSourceFacts ReadSourceFacts(const AVFormatContext *context);

struct TStreamFit {
  bool CopyVideo = false, CopyAudio = false;
};

// The decision for an output record the job builder has filled; keyFrameAtTrim: whether a trimmed
// file's picture starts on a key frame (see StartsOnKeyFrame).
TStreamFit DecideFit(const TSourceFacts &source, const TOutputOptions &out, bool trimmed, bool keyFrameAtTrim);

// Whether the first picture the file shows at or after startMs (from the file's start) is a key
// frame: a copy of the picture can only begin with one.
bool StartsOnKeyFrame(const std::string &path, int64_t startMs);

// Turns the record's streams that fit into copies; the other fields of a copied stream are cleared,
// as they describe an encoding.
void ApplyFit(TOutputOptions &out, const TStreamFit &fit);

// "Copied without re-encoding: video, audio." or "" when nothing is copied.
std::string FitNote(const TStreamFit &fit);
