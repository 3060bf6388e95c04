#include "ReferenceTranscode.h"

#include <memory>
#include <vector>

#include "engine/LibraryObjects.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/SwResampleStubs.h"
#include "media/SwScaleStubs.h"

namespace {

struct TLane {
  int Input = -1;
  AVStream *Out = nullptr;
  TCodecContextPtr Dec, Enc;
  TScalerPtr Scaler;
  TResamplerPtr Resampler;
  TAudioFifoPtr Fifo;
  int64_t Next = 0; // frames or samples encoded
};

struct TJob {
  explicit TJob(const TReferenceJob &plan) : Plan(plan) {}
  const TReferenceJob &Plan;
  AVFormatContext *In = nullptr;
  AVFormatContext *Out = nullptr;
  std::vector<TLane> Lanes;
  TFramePtr Frame = NewFrame(), Work = NewFrame();
  TPacketPtr Packet = NewPacket();

  ~TJob() {
    if (Out) {
      if (Out->pb)
        AVFormat.avio_closep(&Out->pb);
      AVFormat.avformat_free_context(Out);
    }
    AVFormat.avformat_close_input(&In);
  }

  bool Write(TLane &lane) {
    for (;;) {
      const int ret = AVCodecLib.avcodec_receive_packet(lane.Enc.get(), Packet.get());
      if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
        return true;
      if (ret < 0)
        return false;
      Packet->stream_index = lane.Out->index;
      AVCodecLib.av_packet_rescale_ts(Packet.get(), lane.Enc->time_base, lane.Out->time_base);
      if (AVFormat.av_interleaved_write_frame(Out, Packet.get()) < 0)
        return false;
    }
  }

  bool EncodeAudio(TLane &lane, bool last) {
    const int size = lane.Enc->frame_size > 0 ? lane.Enc->frame_size : 1024;
    while (AVUtil.av_audio_fifo_size(lane.Fifo.get()) >= (last ? 1 : size)) {
      AVFrame *out = Work.get();
      AVUtil.av_frame_unref(out);
      out->nb_samples = std::min(size, AVUtil.av_audio_fifo_size(lane.Fifo.get()));
      out->format = lane.Enc->sample_fmt;
      AVUtil.av_channel_layout_copy(&out->ch_layout, &lane.Enc->ch_layout);
      if (AVUtil.av_frame_get_buffer(out, 0) < 0)
        return false;
      AVUtil.av_audio_fifo_read(lane.Fifo.get(), reinterpret_cast<void **>(out->extended_data), out->nb_samples);
      out->pts = lane.Next;
      lane.Next += out->nb_samples;
      if (AVCodecLib.avcodec_send_frame(lane.Enc.get(), out) < 0 || !Write(lane))
        return false;
    }
    return true;
  }

  bool Hand(TLane &lane, AVFrame *frame) {
    AVCodecContext *enc = lane.Enc.get();
    if (enc->codec_type == AVMEDIA_TYPE_VIDEO) {
      AVFrame *out = Work.get();
      AVUtil.av_frame_unref(out);
      out->format = enc->pix_fmt;
      out->width = enc->width;
      out->height = enc->height;
      if (AVUtil.av_frame_get_buffer(out, 0) < 0)
        return false;
      lane.Scaler.reset(SwScale.sws_getCachedContext(lane.Scaler.release(), frame->width, frame->height,
                                                     static_cast<AVPixelFormat>(frame->format), enc->width,
                                                     enc->height, enc->pix_fmt, SWS_BICUBIC, nullptr, nullptr,
                                                     nullptr));
      SwScale.sws_scale(lane.Scaler.get(), frame->data, frame->linesize, 0, frame->height, out->data, out->linesize);
      out->pts = lane.Next++;
      return AVCodecLib.avcodec_send_frame(enc, out) >= 0 && Write(lane);
    }
    std::vector<uint8_t *> planes(static_cast<size_t>(enc->ch_layout.nb_channels));
    const int room = SwResample.swr_get_out_samples(lane.Resampler.get(), frame->nb_samples);
    std::vector<uint8_t> buffer(static_cast<size_t>(
        AVUtil.av_samples_get_buffer_size(nullptr, enc->ch_layout.nb_channels, room, enc->sample_fmt, 1)));
    int linesize = 0;
    AVUtil.av_samples_fill_arrays(planes.data(), &linesize, buffer.data(), enc->ch_layout.nb_channels, room,
                                  enc->sample_fmt, 1);
    const int got = SwResample.swr_convert(lane.Resampler.get(), planes.data(), room,
                                           const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples);
    if (got < 0)
      return false;
    AVUtil.av_audio_fifo_write(lane.Fifo.get(), reinterpret_cast<void **>(planes.data()), got);
    return EncodeAudio(lane, false);
  }

  bool Decode(TLane &lane, const AVPacket *packet) {
    if (AVCodecLib.avcodec_send_packet(lane.Dec.get(), packet) < 0)
      return true; // a broken packet is skipped, as a player would
    for (;;) {
      const int ret = AVCodecLib.avcodec_receive_frame(lane.Dec.get(), Frame.get());
      if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
        return true;
      if (ret < 0 || !Hand(lane, Frame.get()))
        return false;
      AVUtil.av_frame_unref(Frame.get());
    }
  }

  bool Open(std::string &error);
  bool Run(std::string &error);
};

bool TJob::Open(std::string &error) {
  if (AVFormat.avformat_open_input(&In, Plan.Input.c_str(), nullptr, nullptr) < 0 ||
      AVFormat.avformat_find_stream_info(In, nullptr) < 0) {
    error = "cannot open " + Plan.Input;
    return false;
  }
  if (AVFormat.avformat_alloc_output_context2(&Out, nullptr, nullptr, Plan.Output.c_str()) < 0) {
    error = "no muxer for " + Plan.Output;
    return false;
  }
  for (AVMediaType type : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO}) {
    const int index = AVFormat.av_find_best_stream(In, type, -1, -1, nullptr, 0);
    const std::string &codecName = type == AVMEDIA_TYPE_VIDEO ? Plan.VideoCodec : Plan.AudioCodec;
    if (index < 0 || (!Plan.Copy && codecName.empty()))
      continue;
    TLane lane;
    lane.Input = index;
    AVStream *in = In->streams[index];
    lane.Out = AVFormat.avformat_new_stream(Out, nullptr);
    if (Plan.Copy) {
      AVCodecLib.avcodec_parameters_copy(lane.Out->codecpar, in->codecpar);
      lane.Out->codecpar->codec_tag = 0;
      lane.Out->time_base = in->time_base;
      Lanes.push_back(std::move(lane));
      continue;
    }
    const AVCodec *decoder = AVCodecLib.avcodec_find_decoder(in->codecpar->codec_id);
    const AVCodec *encoder = AVCodecLib.avcodec_find_encoder_by_name(codecName.c_str());
    if (!decoder || !encoder) {
      error = "no codec " + codecName;
      return false;
    }
    lane.Dec.reset(AVCodecLib.avcodec_alloc_context3(decoder));
    AVCodecLib.avcodec_parameters_to_context(lane.Dec.get(), in->codecpar);
    lane.Dec->thread_count = Plan.Threads;
    lane.Dec->pkt_timebase = in->time_base;
    lane.Enc.reset(AVCodecLib.avcodec_alloc_context3(encoder));
    AVCodecContext *enc = lane.Enc.get();
    enc->thread_count = Plan.Threads;
    if (type == AVMEDIA_TYPE_VIDEO) {
      enc->width = Plan.Width;
      enc->height = Plan.Height;
      enc->pix_fmt = AV_PIX_FMT_YUV420P;
      enc->bit_rate = Plan.VideoBitRate;
      enc->time_base = AVRational{in->avg_frame_rate.den, in->avg_frame_rate.num};
    } else {
      enc->sample_rate = Plan.SampleRate;
      enc->sample_fmt = encoder->sample_fmts[0];
      enc->bit_rate = Plan.AudioBitRate;
      enc->time_base = AVRational{1, Plan.SampleRate};
      AVUtil.av_channel_layout_default(&enc->ch_layout, Plan.Channels);
    }
    if (Out->oformat->flags & AVFMT_GLOBALHEADER)
      enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (AVCodecLib.avcodec_open2(lane.Dec.get(), decoder, nullptr) < 0 ||
        AVCodecLib.avcodec_open2(enc, encoder, nullptr) < 0) {
      error = "cannot open " + codecName;
      return false;
    }
    AVCodecLib.avcodec_parameters_from_context(lane.Out->codecpar, enc);
    lane.Out->time_base = enc->time_base;
    if (type == AVMEDIA_TYPE_AUDIO) {
      SwrContext *swr = nullptr;
      SwResample.swr_alloc_set_opts2(&swr, &enc->ch_layout, enc->sample_fmt, enc->sample_rate,
                                     &lane.Dec->ch_layout, lane.Dec->sample_fmt, lane.Dec->sample_rate, 0, nullptr);
      lane.Resampler.reset(swr);
      lane.Fifo.reset(AVUtil.av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, 4096));
      if (!swr || SwResample.swr_init(swr) < 0) {
        error = "no resampler";
        return false;
      }
    }
    Lanes.push_back(std::move(lane));
  }
  if (AVFormat.avio_open(&Out->pb, Plan.Output.c_str(), AVIO_FLAG_WRITE) < 0 ||
      AVFormat.avformat_write_header(Out, nullptr) < 0) {
    error = "cannot write " + Plan.Output;
    return false;
  }
  return true;
}

bool TJob::Run(std::string &error) {
  while (AVFormat.av_read_frame(In, Packet.get()) >= 0) {
    for (TLane &lane : Lanes) {
      if (lane.Input != Packet->stream_index)
        continue;
      if (Plan.Copy) {
        Packet->stream_index = lane.Out->index;
        AVCodecLib.av_packet_rescale_ts(Packet.get(), In->streams[lane.Input]->time_base, lane.Out->time_base);
        if (AVFormat.av_interleaved_write_frame(Out, Packet.get()) < 0) {
          error = "write failed";
          return false;
        }
      } else {
        TPacketPtr packet(AVCodecLib.av_packet_clone(Packet.get()));
        if (!Decode(lane, packet.get())) {
          error = "conversion failed";
          return false;
        }
      }
    }
    AVCodecLib.av_packet_unref(Packet.get());
  }
  for (TLane &lane : Lanes) {
    if (Plan.Copy)
      continue;
    if (!Decode(lane, nullptr) || (lane.Fifo && !EncodeAudio(lane, true)) ||
        AVCodecLib.avcodec_send_frame(lane.Enc.get(), nullptr) < 0 || !Write(lane)) {
      error = "flush failed";
      return false;
    }
  }
  return AVFormat.av_write_trailer(Out) >= 0;
}

} // namespace

bool ReferenceTranscode(const TReferenceJob &plan, std::string &error) {
  TJob job(plan);
  return job.Open(error) && job.Run(error);
}
