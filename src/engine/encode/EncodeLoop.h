#pragma once
// The encode stage: frames in, packets out, one loop for every encoder. A frame is sent (null at
// end of stream, which drains the encoder), then each packet the encoder gives back is handed on,
// until it wants more or has ended; end of stream is never an error.
#include <functional>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

// Gets every packet, which the loop empties after the call.
using TPacketSink = std::function<void(AVPacket &packet)>;

// Sends frame (null drains) and hands on what comes back, in packet; fails with FFmpegException
// ("<failure>: <call and the library's text>").
void EncodeFrame(AVCodecContext *encoder, AVFrame *frame, AVPacket &packet, const char *failure,
                 const TPacketSink &sink);
