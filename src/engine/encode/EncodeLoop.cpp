#include "engine/encode/EncodeLoop.h"

#include <string>

#include "engine/FFmpegException.h"
#include "media/AVCodecStubs.h"
#include "media/AVInline.h"

void EncodeFrame(AVCodecContext *encoder, AVFrame *frame, AVPacket &packet, const char *failure,
                 const TPacketSink &sink) {
  const int sent = AVCodecLib.avcodec_send_frame(encoder, frame);
  if (sent < 0 && sent != AVERROR_EOF)
    throw FFmpegException(std::string(failure) + ": " + CallErrorText("avcodec_send_frame()", sent));
  for (;;) {
    const int received = AVCodecLib.avcodec_receive_packet(encoder, &packet);
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
      return;
    if (received < 0)
      throw FFmpegException(std::string(failure) + ": " + CallErrorText("avcodec_receive_packet()", received));
    sink(packet);
    AVCodecLib.av_packet_unref(&packet);
  }
}
