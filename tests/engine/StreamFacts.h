#pragma once
// What a written file holds, read back through the libraries: the first stream of a type.
#include <algorithm>
#include <string>

#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"

struct TStreamFacts {
  int Width = 0, Height = 0, SampleRate = 0, Channels = 0;
  double Seconds = 0;
  AVRational Aspect{0, 1}; // sample aspect ratio
};

// Facts of the first stream of the type, its duration from its last packet's end.
inline TStreamFacts Facts(const std::string &file, AVMediaType type) {
  TStreamFacts facts;
  AVFormatContext *context = nullptr;
  if (AVFormat.avformat_open_input(&context, file.c_str(), nullptr, nullptr) < 0)
    return facts;
  AVFormat.avformat_find_stream_info(context, nullptr);
  int index = -1;
  for (unsigned i = 0; i < context->nb_streams && index < 0; ++i)
    if (context->streams[i]->codecpar->codec_type == type)
      index = static_cast<int>(i);
  if (index >= 0) {
    const AVCodecParameters *par = context->streams[index]->codecpar;
    facts = {par->width, par->height, par->sample_rate, par->ch_layout.nb_channels, 0, par->sample_aspect_ratio};
    AVPacket *pkt = AVCodecLib.av_packet_alloc();
    int64_t first = AV_NOPTS_VALUE, end = 0;
    while (AVFormat.av_read_frame(context, pkt) >= 0) {
      if (pkt->stream_index == index && pkt->pts != AV_NOPTS_VALUE) {
        if (first == AV_NOPTS_VALUE || pkt->pts < first)
          first = pkt->pts;
        end = std::max(end, pkt->pts + pkt->duration);
      }
      AVCodecLib.av_packet_unref(pkt);
    }
    AVCodecLib.av_packet_free(&pkt);
    if (first != AV_NOPTS_VALUE)
      facts.Seconds = static_cast<double>(end - first) * av_q2d(context->streams[index]->time_base);
  }
  AVFormat.avformat_close_input(&context);
  return facts;
}
