#pragma once
// The input clock of a transcode: packet and frame times on the task's clock, in microseconds.
#include <cstdint>

struct AVPacket;
struct AVStream;

// How long the data of a packet lasts, in microseconds: its own duration when it has one, else
// what the stream's parameters tell.
int64_t PacketDurationUs(const AVStream *stream, const AVPacket &pkt);
