#pragma once
// How big an output will be, before converting: the streams' bit rates times the length, plus what
// the container adds. Streams at a constant quality have no bit rate; theirs comes from a measured
// bits-per-pixel figure of the encoder at that quality.
#include <cstdint>
#include <string>

#include "convert/StreamFit.h"
#include "engine/FFmpegOptions.h"

// The estimated bytes of the output the filled record describes (after stream copying is decided),
// for a source with those facts and an output of lengthMs; 0 when the length is unknown.
int64_t EstimateOutputBytes(const TOutputOptions &out, const TSourceFacts &source, int64_t lengthMs);

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

// The sound's bits a second the record asks for (the source's for a copy); 0 without sound.
int64_t AudioBitsPerSecond(const TOutputOptions &out, const TSourceFacts &source);
