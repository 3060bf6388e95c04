#pragma once
// Decoded pictures of a media file, through the bound libraries, for tests that compare pictures.
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"

#include <functional>
#include <string>

// Decodes the file's video stream up to the first picture shown at or after the time (seconds from
// the stream's start) and hands it to the function; false when there is no such picture.
inline bool PictureAt(const std::string &file, double seconds, const std::function<void(const AVFrame &)> &use) {
  AVFormatContext *context = nullptr;
  bool found = false;
  if (AVFormat.avformat_open_input(&context, file.c_str(), nullptr, nullptr) < 0)
    return false;
  AVFormat.avformat_find_stream_info(context, nullptr);
  const int index = AVFormat.av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodec *codec =
      index >= 0 ? AVCodecLib.avcodec_find_decoder(context->streams[index]->codecpar->codec_id) : nullptr;
  AVCodecContext *dec = codec ? AVCodecLib.avcodec_alloc_context3(codec) : nullptr;
  if (dec && AVCodecLib.avcodec_parameters_to_context(dec, context->streams[index]->codecpar) >= 0 &&
      AVCodecLib.avcodec_open2(dec, codec, nullptr) >= 0) {
    const AVStream *stream = context->streams[index];
    const int64_t start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
    AVPacket *pkt = AVCodecLib.av_packet_alloc();
    AVFrame *frame = AVUtil.av_frame_alloc();
    const auto take = [&] {
      while (!found && AVCodecLib.avcodec_receive_frame(dec, frame) >= 0) {
        const int64_t pts = frame->best_effort_timestamp == AV_NOPTS_VALUE ? start : frame->best_effort_timestamp;
        // Half a millisecond of slack for time bases that do not hold the time exactly.
        if ((pts - start) * av_q2d(stream->time_base) + 0.0005 >= seconds) {
          use(*frame);
          found = true;
        }
      }
    };
    while (!found && AVFormat.av_read_frame(context, pkt) >= 0) {
      if (pkt->stream_index == index && AVCodecLib.avcodec_send_packet(dec, pkt) >= 0)
        take();
      AVCodecLib.av_packet_unref(pkt);
    }
    if (!found && AVCodecLib.avcodec_send_packet(dec, nullptr) >= 0)
      take();
    AVUtil.av_frame_free(&frame);
    AVCodecLib.av_packet_free(&pkt);
  }
  AVCodecLib.avcodec_free_context(&dec);
  AVFormat.avformat_close_input(&context);
  return found;
}

// The luma of the first picture of a file's video stream at (x, y); -1 without one.
inline int FirstLuma(const std::string &file, int x, int y) {
  int luma = -1;
  PictureAt(file, 0, [&](const AVFrame &frame) { luma = frame.data[0][y * frame.linesize[0] + x]; });
  return luma;
}

// The mean luma of the picture shown at the time; -1 without one.
inline double MeanLumaAt(const std::string &file, double seconds) {
  double mean = -1;
  PictureAt(file, seconds, [&](const AVFrame &frame) {
    double sum = 0;
    for (int y = 0; y < frame.height; ++y)
      for (int x = 0; x < frame.width; ++x)
        sum += frame.data[0][y * frame.linesize[0] + x];
    mean = sum / (static_cast<double>(frame.width) * frame.height);
  });
  return mean;
}
