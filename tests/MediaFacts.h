#pragma once
// What a converted file holds, read back by decoding it through the bound libraries: its streams,
// how many pictures and samples they decode to, how long they last, the picture format, the
// display shape and which side of the first picture is bright.
#include <algorithm>
#include <string>
#include <vector>

#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"

struct TStreamFacts {
  AVMediaType Type = AVMEDIA_TYPE_UNKNOWN;
  std::string Codec;
  int Frames = 0;       // decoded pictures or audio frames
  int64_t Samples = 0;  // decoded audio samples per channel
  double Seconds = 0;   // pictures: first shown to last gone; audio: samples / rate
  double FrameSeconds = 0; // one picture or one audio frame
  AVPixelFormat PixelFormat = AV_PIX_FMT_NONE;
  int Width = 0, Height = 0;
  double DisplayAspect = 0; // width / height as shown
  bool Rotated = false;     // carries a display matrix
  double TopLuma = 0, BottomLuma = 0; // mean of the first picture's top and bottom fifth
};

inline double MeanLuma(const AVFrame &f, int fromRow, int toRow) {
  const AVPixFmtDescriptor *desc = AVUtil.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f.format));
  const int bytes = desc->comp[0].step, shift = desc->comp[0].depth - 8;
  double sum = 0;
  for (int y = fromRow; y < toRow; ++y)
    for (int x = 0; x < f.width; ++x) {
      const uint8_t *p = f.data[0] + static_cast<ptrdiff_t>(y) * f.linesize[0] + static_cast<ptrdiff_t>(x) * bytes;
      sum += bytes == 2 ? (*reinterpret_cast<const uint16_t *>(p) >> shift) : *p;
    }
  return sum / (static_cast<double>(toRow - fromRow) * f.width);
}

// Empty when the file cannot be opened.
inline std::vector<TStreamFacts> ReadMediaFacts(const std::string &path) {
  std::vector<TStreamFacts> result;
  AVFormatContext *input = nullptr;
  if (AVFormat.avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0)
    return result;
  std::vector<AVCodecContext *> decoders;
  if (AVFormat.avformat_find_stream_info(input, nullptr) >= 0) {
    for (unsigned i = 0; i < input->nb_streams; ++i) {
      const AVStream *st = input->streams[i];
      TStreamFacts facts;
      facts.Type = st->codecpar->codec_type;
      facts.Codec = AVCodecLib.avcodec_get_name(st->codecpar->codec_id);
      facts.Rotated = AVFormat.av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr) != nullptr;
      facts.Width = st->codecpar->width;
      facts.Height = st->codecpar->height;
      const AVRational sar = st->sample_aspect_ratio.num ? st->sample_aspect_ratio : st->codecpar->sample_aspect_ratio;
      if (facts.Height > 0)
        facts.DisplayAspect = facts.Width * (sar.num > 0 ? av_q2d(sar) : 1.0) / facts.Height;
      const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
      if (facts.Type == AVMEDIA_TYPE_VIDEO && rate.num > 0)
        facts.FrameSeconds = 1 / av_q2d(rate);
      result.push_back(facts);
      const AVCodec *codec = AVCodecLib.avcodec_find_decoder(st->codecpar->codec_id);
      AVCodecContext *dec = codec ? AVCodecLib.avcodec_alloc_context3(codec) : nullptr;
      if (dec && (AVCodecLib.avcodec_parameters_to_context(dec, st->codecpar) < 0 ||
                  AVCodecLib.avcodec_open2(dec, codec, nullptr) < 0))
        AVCodecLib.avcodec_free_context(&dec);
      decoders.push_back(dec);
    }
    AVPacket *pkt = AVCodecLib.av_packet_alloc();
    AVFrame *frame = AVUtil.av_frame_alloc();
    std::vector<double> firstShown(result.size(), 1e300);
    auto receive = [&](size_t i) {
      TStreamFacts &facts = result[i];
      double &first = firstShown[i];
      while (AVCodecLib.avcodec_receive_frame(decoders[i], frame) >= 0) {
        if (facts.Type == AVMEDIA_TYPE_VIDEO && facts.Frames == 0) {
          facts.PixelFormat = static_cast<AVPixelFormat>(frame->format);
          facts.TopLuma = MeanLuma(*frame, 0, frame->height / 5);
          facts.BottomLuma = MeanLuma(*frame, frame->height - frame->height / 5, frame->height);
        }
        facts.Frames += 1;
        const int64_t pts = frame->best_effort_timestamp;
        if (facts.Type == AVMEDIA_TYPE_VIDEO && pts != AV_NOPTS_VALUE) {
          const double tb = av_q2d(input->streams[i]->time_base);
          const double start = static_cast<double>(pts) * tb;
          const double length = frame->pkt_duration > 0 ? static_cast<double>(frame->pkt_duration) * tb : facts.FrameSeconds;
          first = std::min(first, start);
          facts.Seconds = std::max(facts.Seconds, start + length - first);
        }
        if (facts.Type == AVMEDIA_TYPE_AUDIO && frame->sample_rate > 0) {
          facts.Samples += frame->nb_samples;
          facts.Seconds = static_cast<double>(facts.Samples) / frame->sample_rate;
          facts.FrameSeconds = static_cast<double>(frame->nb_samples) / frame->sample_rate;
        }
        AVUtil.av_frame_unref(frame);
      }
    };
    while (AVFormat.av_read_frame(input, pkt) >= 0) {
      const auto i = static_cast<size_t>(pkt->stream_index);
      if (i < decoders.size() && decoders[i] && AVCodecLib.avcodec_send_packet(decoders[i], pkt) >= 0)
        receive(i);
      AVCodecLib.av_packet_unref(pkt);
    }
    for (size_t i = 0; i < decoders.size(); ++i)
      if (decoders[i] && AVCodecLib.avcodec_send_packet(decoders[i], nullptr) >= 0)
        receive(i);
    AVUtil.av_frame_free(&frame);
    AVCodecLib.av_packet_free(&pkt);
  }
  for (AVCodecContext *dec : decoders)
    AVCodecLib.avcodec_free_context(&dec);
  AVFormat.avformat_close_input(&input);
  return result;
}

// The first stream of the type, or null.
inline const TStreamFacts *StreamOf(const std::vector<TStreamFacts> &facts, AVMediaType type) {
  for (const TStreamFacts &f : facts)
    if (f.Type == type)
      return &f;
  return nullptr;
}
