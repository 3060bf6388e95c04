#pragma once
// How big an output will be, before converting: the streams' bit rates times the length, plus what
// the container adds. Streams at a constant quality have no bit rate; theirs comes from a measured
// bits-per-pixel figure of the encoder at that quality, until short samples of the file encoded with
// the real settings have measured it.
#include <cstdint>
#include <optional>
#include <string>

#include "convert/StreamFit.h"
#include "engine/FFmpegOptions.h"

// The streams' bytes a second that encoded samples of a file gave; a stream not sampled has none.
struct TSampledRates {
  std::optional<double> VideoBytesPerSecond;
  std::optional<double> AudioBytesPerSecond;
};

// The estimated bytes of the output the filled record describes (after stream copying is decided),
// for a source with those facts and an output of lengthMs; 0 when the length is unknown. Sampled
// rates, when given, replace the guesses of the streams they measured.
int64_t EstimateOutputBytes(const TOutputOptions &out, const TSourceFacts &source, int64_t lengthMs,
                            const TSampledRates *sampled = nullptr);

// Whether a stream's size is only known by encoding: any picture encoded, whose encoder spends what
// the picture needs at a constant quality, and misses a bit rate it cannot reach (the libraries' own
// encoders go over a low one on a big picture, under a high one on a plain one); sound of any
// encoder but the constant-rate ones, which spends what the sound needs (a pure tone far below its
// bit rate).
bool VideoSizeVaries(const TOutputOptions &out, const TSourceFacts &source);
bool AudioSizeVaries(const TOutputOptions &out, const TSourceFacts &source);

// The container's share of a file: bytes per packet and a fixed part, by the record's muxer (or its
// extension when the muxer follows from the name).
struct TContainerCost {
  double PacketBytes = 0;
  int64_t FixedBytes = 0;
};
TContainerCost ContainerCost(const TOutputOptions &out);

// Packets a second of each stream, for the container's share.
double VideoPacketRate(const TOutputOptions &out, const TSourceFacts &source);
double AudioPacketRate(const TOutputOptions &out, const TSourceFacts &source);

// The sound tracks the record keeps: those it maps, else its one (the rates above are each track's).
int AudioTrackCount(const TOutputOptions &out);

// The sound's bits a second the record asks for (the source's for a copy); 0 without sound.
int64_t AudioBitsPerSecond(const TOutputOptions &out, const TSourceFacts &source);
