#include "ClipWriter.h"
#include "ClipContent.h"

#include "media/AVChapters.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct TOutStream {
  TStreamPlan Plan;
  AVStream *Stream = nullptr;
  AVCodecContext *Codec = nullptr; // null for text subtitle and data streams
  AVFrame *Frame = nullptr;
  int64_t NextPts = 0; // in the encoder's time base
  int64_t Frames = 0;  // pictures or audio frames sent
  int64_t Packets = 0;
  int64_t LastPts = AV_NOPTS_VALUE; // of the last packet written, in the stream's time base
  bool Done = false;
};

// Everything one clip holds, released whatever way the write ends.
struct TClip {
  AVFormatContext *Output = nullptr;
  AVPacket *Packet = nullptr;
  std::vector<TOutStream> Streams;
  int64_t JumpAtUs = 0, JumpByUs = 0;

  ~TClip() {
    for (TOutStream &s : Streams) {
      AVCodecLib.avcodec_free_context(&s.Codec);
      AVUtil.av_frame_free(&s.Frame);
    }
    if (Output) {
      if (!(Output->oformat->flags & AVFMT_NOFILE))
        AVFormat.avio_closep(&Output->pb);
      AVFormat.avformat_free_context(Output);
    }
    AVCodecLib.av_packet_free(&Packet);
  }
};

bool Failed(int result, const std::string &what, std::string &error) {
  if (result >= 0)
    return false;
  error = what + ": " + AVErrorText(result);
  return true;
}

// The marks of a picture in that transfer: BT.2020 for PQ and HLG, BT.709 for any other set one.
void MarkColours(AVCodecContext *c, int transfer) {
  if (transfer == 0)
    return;
  const bool hdr = transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
  c->color_trc = static_cast<AVColorTransferCharacteristic>(transfer);
  c->color_primaries = hdr ? AVCOL_PRI_BT2020 : AVCOL_PRI_BT709;
  c->colorspace = hdr ? AVCOL_SPC_BT2020_NCL : AVCOL_SPC_BT709;
  c->color_range = AVCOL_RANGE_MPEG;
}

bool OpenEncoder(TClip &clip, TOutStream &s, std::string &error) {
  const AVCodec *codec = AVCodecLib.avcodec_find_encoder_by_name(s.Plan.Codec.c_str());
  if (!codec) {
    error = "no encoder " + s.Plan.Codec;
    return false;
  }
  AVCodecContext *c = s.Codec = AVCodecLib.avcodec_alloc_context3(codec);
  s.Frame = AVUtil.av_frame_alloc();
  if (!c || !s.Frame) {
    error = "out of memory";
    return false;
  }
  if (s.Plan.Kind == TStreamKind::Video || s.Plan.Kind == TStreamKind::Cover) {
    c->width = s.Plan.Width;
    c->height = s.Plan.Height;
    c->time_base = s.Plan.ClockRate > 0 ? AVRational{1, s.Plan.ClockRate} : AVRational{s.Plan.RateDen, s.Plan.RateNum};
    c->framerate = AVRational{s.Plan.RateNum, s.Plan.RateDen};
    c->pix_fmt = AVUtil.av_get_pix_fmt(s.Plan.PixelFormat.c_str());
    c->gop_size = s.Plan.KeyInterval;
    c->max_b_frames = s.Plan.MaxBFrames;
    c->bit_rate = s.Plan.BitRate > 0 ? s.Plan.BitRate : 150000;
    if (codec->id == AV_CODEC_ID_MJPEG) // JPEG pictures are full range
      c->color_range = AVCOL_RANGE_JPEG;
    if (s.Plan.SarNum > 0)
      c->sample_aspect_ratio = AVRational{s.Plan.SarNum, s.Plan.SarDen};
    MarkColours(c, s.Plan.Transfer);
  } else {
    c->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    c->sample_rate = s.Plan.SampleRate;
    AVUtil.av_channel_layout_default(&c->ch_layout, s.Plan.Channels);
    c->bit_rate = s.Plan.BitRate > 0 ? s.Plan.BitRate : 64000;
    c->time_base = AVRational{1, s.Plan.SampleRate};
  }
  if (clip.Output->oformat->flags & AVFMT_GLOBALHEADER)
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (Failed(AVCodecLib.avcodec_open2(c, codec, nullptr), "open encoder " + s.Plan.Codec, error))
    return false;
  if (Failed(AVCodecLib.avcodec_parameters_from_context(s.Stream->codecpar, c), "stream parameters", error))
    return false;
  s.Stream->time_base = c->time_base;
  s.Stream->sample_aspect_ratio = c->sample_aspect_ratio;
  s.Stream->avg_frame_rate = c->framerate;
  if (s.Plan.Rotation != 0) {
    auto *matrix = reinterpret_cast<int32_t *>(
        AVFormat.av_stream_new_side_data(s.Stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
    if (!matrix) {
      error = "out of memory";
      return false;
    }
    // The MP4 muxer writes the matrix transposed: this angle reads back as a turn of Rotation
    // degrees clockwise, as phones' files do.
    AVUtil.av_display_rotation_set(matrix, s.Plan.Rotation);
  }

  AVFrame *f = s.Frame;
  if (s.Plan.Kind == TStreamKind::Video || s.Plan.Kind == TStreamKind::Cover) {
    f->format = c->pix_fmt;
    f->width = c->width;
    f->height = c->height;
  } else {
    f->format = c->sample_fmt;
    f->sample_rate = c->sample_rate;
    f->nb_samples = c->frame_size > 0 ? c->frame_size : 1024;
    if (Failed(AVUtil.av_channel_layout_copy(&f->ch_layout, &c->ch_layout), "channel layout", error))
      return false;
  }
  return !Failed(AVUtil.av_frame_get_buffer(f, 0), "frame buffer", error);
}

// Ticks of the clock between one picture and the next: even at the nominal rate, or alternating
// between a shorter and a longer step around it, as phones and screen recorders write.
int64_t FrameStep(const TOutStream &s) {
  if (s.Plan.ClockRate <= 0)
    return 1;
  const int64_t step = int64_t{s.Plan.ClockRate} * s.Plan.RateDen / s.Plan.RateNum;
  return s.Frames % 2 == 0 ? step * 2 / 3 : step * 4 / 3;
}

// Sends one frame (null drains) and writes every packet the encoder gives back.
bool Encode(TClip &clip, TOutStream &s, AVFrame *frame, std::string &error) {
  if (Failed(AVCodecLib.avcodec_send_frame(s.Codec, frame), "encode", error))
    return false;
  for (;;) {
    const int got = AVCodecLib.avcodec_receive_packet(s.Codec, clip.Packet);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
      return true;
    if (Failed(got, "encode", error))
      return false;
    AVCodecLib.av_packet_rescale_ts(clip.Packet, s.Codec->time_base, s.Stream->time_base);
    const AVRational tb = s.Stream->time_base;
    if (clip.JumpByUs != 0 && clip.Packet->dts != AV_NOPTS_VALUE &&
        clip.Packet->dts >= AVUtil.av_rescale_q(clip.JumpAtUs, AVRational{1, 1000000}, tb)) {
      const int64_t jump = AVUtil.av_rescale_q(clip.JumpByUs, AVRational{1, 1000000}, tb);
      clip.Packet->dts += jump;
      if (clip.Packet->pts != AV_NOPTS_VALUE)
        clip.Packet->pts += jump;
    }
    clip.Packet->stream_index = s.Stream->index;
    if (s.Plan.RepeatTimestampEvery > 0 && ++s.Packets % s.Plan.RepeatTimestampEvery == 0 &&
        s.LastPts != AV_NOPTS_VALUE)
      clip.Packet->pts = clip.Packet->dts = s.LastPts;
    s.LastPts = clip.Packet->pts;
    if (Failed(AVFormat.av_interleaved_write_frame(clip.Output, clip.Packet), "write", error))
      return false;
  }
}

bool WriteRawPacket(TClip &clip, const TOutStream &s, const std::string &payload, int64_t pts,
                    int64_t duration, std::string &error) {
  if (Failed(AVCodecLib.av_new_packet(clip.Packet, static_cast<int>(payload.size())), "packet", error))
    return false;
  std::memcpy(clip.Packet->data, payload.data(), payload.size());
  clip.Packet->pts = clip.Packet->dts = pts;
  clip.Packet->duration = duration;
  clip.Packet->flags |= AV_PKT_FLAG_KEY;
  clip.Packet->stream_index = s.Stream->index;
  return !Failed(AVFormat.av_interleaved_write_frame(clip.Output, clip.Packet), "write", error);
}

// The header of the ASS files the generator writes: one style, the usual event fields.
constexpr const char AssHeader[] = "[Script Info]\nScriptType: v4.00+\nPlayResX: 384\nPlayResY: 288\n\n"
                                   "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, Bold, Italic, "
                                   "Alignment, MarginL, MarginR, MarginV\nStyle: Default,Arial,16,&Hffffff,0,0,2,10,10,10\n\n"
                                   "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, "
                                   "Effect, Text\n";

// A DVD subtitle line as a disc holds it: a white bar edged in black across the lower part of the
// picture, where lines stand, shown for the caption's time.
std::string BitmapCaption(const TOutStream &s, const TCaption &caption, std::string &error) {
  const int width = s.Plan.Width * 3 / 4, height = 24;
  std::vector<uint8_t> pixels(static_cast<size_t>(width * height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      pixels[static_cast<size_t>(y * width + x)] = y < 3 || y >= height - 3 || x < 3 || x >= width - 3 ? 2 : 1;
  uint32_t palette[256] = {0x00000000, 0xFFFFFFFF, 0xFF000000, 0xFF808080};
  AVSubtitleRect rect{};
  rect.x = (s.Plan.Width - width) / 2;
  rect.y = s.Plan.Height - height - 16;
  rect.w = width;
  rect.h = height;
  rect.nb_colors = 4;
  rect.data[0] = pixels.data();
  rect.linesize[0] = width;
  rect.data[1] = reinterpret_cast<uint8_t *>(palette);
  rect.type = SUBTITLE_BITMAP;
  AVSubtitleRect *rects[] = {&rect};
  AVSubtitle sub{};
  sub.num_rects = 1;
  sub.rects = rects;
  sub.end_display_time = static_cast<uint32_t>(std::lround((caption.End - caption.Start) * 1000));
  sub.pts = std::llround(caption.Start * 1000000);
  std::vector<uint8_t> buffer(1 << 16);
  const int size = AVCodecLib.avcodec_encode_subtitle(s.Codec, buffer.data(), static_cast<int>(buffer.size()), &sub);
  if (Failed(size, "encode dvdsub", error))
    return "";
  return std::string(reinterpret_cast<const char *>(buffer.data()), static_cast<size_t>(size));
}

bool WriteCaptions(TClip &clip, const TOutStream &s, std::string &error) {
  const AVRational tb = s.Stream->time_base;
  const auto ticks = [tb](double seconds) { return static_cast<int64_t>(seconds * tb.den / tb.num + 0.5); };
  std::vector<TCaption> captions = s.Plan.Captions;
  if (captions.empty())
    captions.push_back({0, 1, "Test caption"});
  int order = 0;
  for (const TCaption &caption : captions) {
    if (s.Plan.Codec == "dvdsub") {
      const std::string payload = BitmapCaption(s, caption, error);
      if (payload.empty() || !WriteRawPacket(clip, s, payload, ticks(caption.Start), ticks(caption.End - caption.Start), error))
        return false;
      continue;
    }
    // Matroska's ASS packets: read order, layer, style, name, margins, effect, text.
    const std::string payload = s.Plan.Codec == "ass"
                                    ? std::to_string(order++) + ",0,Default,,0,0,0,," + caption.Text
                                    : caption.Text;
    if (!WriteRawPacket(clip, s, payload, ticks(caption.Start), ticks(caption.End - caption.Start), error))
      return false;
  }
  return true;
}

// An attached picture is a single packet, written before the sound.
bool WriteCover(TClip &clip, TOutStream &s, std::string &error) {
  FillPicture(s.Frame, 0, s.Plan);
  s.Frame->pts = 0;
  s.Done = true;
  return Encode(clip, s, s.Frame, error) && Encode(clip, s, nullptr, error);
}

// Subtitles get their captions; data streams a small KLV item every second.
bool WriteSideStreams(TClip &clip, const TClipPlan &plan, std::string &error) {
  for (TOutStream &s : clip.Streams) {
    const AVRational tb = s.Stream->time_base;
    const int64_t second = AVUtil.av_rescale(1, tb.den, tb.num);
    if (s.Plan.Kind == TStreamKind::Subtitle && !WriteCaptions(clip, s, error))
      return false;
    if (s.Plan.Kind == TStreamKind::Cover && !WriteCover(clip, s, error))
      return false;
    if (s.Plan.Kind == TStreamKind::Data) {
      std::string klv(16, '\x06');
      klv += '\x04';
      klv += "tvl!";
      for (int i = 0; i < static_cast<int>(plan.Seconds); ++i)
        if (!WriteRawPacket(clip, s, klv, i * second, second, error))
          return false;
    }
  }
  return true;
}

// The dvdsub encoder, opened for the picture's size; its palette goes into the stream.
bool OpenBitmapSubtitles(TOutStream &s, std::string &error) {
  const AVCodec *codec = AVCodecLib.avcodec_find_encoder_by_name("dvdsub");
  s.Codec = codec ? AVCodecLib.avcodec_alloc_context3(codec) : nullptr;
  if (!s.Codec) {
    error = "no encoder dvdsub";
    return false;
  }
  s.Codec->width = s.Plan.Width;
  s.Codec->height = s.Plan.Height;
  s.Codec->time_base = AVRational{1, 1000};
  // Written with the other side streams, not in the loop over encoded pictures and sound.
  s.Done = true;
  s.Stream->time_base = s.Codec->time_base;
  return !Failed(AVCodecLib.avcodec_open2(s.Codec, codec, nullptr), "open encoder dvdsub", error) &&
         !Failed(AVCodecLib.avcodec_parameters_from_context(s.Stream->codecpar, s.Codec), "stream parameters", error);
}

bool SetExtradata(AVCodecParameters *par, const std::string &bytes, std::string &error) {
  auto *extradata = static_cast<uint8_t *>(AVUtil.av_mallocz(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!extradata) {
    error = "out of memory";
    return false;
  }
  std::memcpy(extradata, bytes.data(), bytes.size());
  par->extradata = extradata;
  par->extradata_size = static_cast<int>(bytes.size());
  return true;
}

// The attached file's bytes: any will do, players only hand them to the subtitle renderer.
bool AddAttachment(TOutStream &s, std::string &error) {
  s.Stream->codecpar->codec_type = AVMEDIA_TYPE_ATTACHMENT;
  s.Stream->codecpar->codec_id = AV_CODEC_ID_TTF;
  return SetExtradata(s.Stream->codecpar, "TestSans: not a real font, only bytes to attach.", error);
}

bool AddSubtitleStream(TOutStream &s, std::string &error) {
  if (s.Plan.Codec == "dvdsub")
    return OpenBitmapSubtitles(s, error);
  s.Stream->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
  s.Stream->codecpar->codec_id = s.Plan.Codec == "ass" ? AV_CODEC_ID_ASS : AV_CODEC_ID_SUBRIP;
  s.Stream->time_base = AVRational{1, 1000};
  return s.Plan.Codec != "ass" || SetExtradata(s.Stream->codecpar, std::string(AssHeader, sizeof AssHeader - 1), error);
}

bool AddChapters(AVFormatContext *context, const TClipPlan &plan, std::string &error) {
  int64_t id = 0;
  for (const TChapter &c : plan.Chapters) {
    AVChapter *chapter = AddChapter(context, ++id, AVRational{1, 1000}, static_cast<int64_t>(c.Start * 1000),
                                    static_cast<int64_t>(c.End * 1000));
    if (!chapter || AVUtil.av_dict_set(&chapter->metadata, "title", c.Title.c_str(), 0) < 0) {
      error = "out of memory";
      return false;
    }
  }
  return true;
}

bool AddStream(TClip &clip, const TStreamPlan &plan, std::string &error) {
  TOutStream &s = clip.Streams.emplace_back();
  s.Plan = plan;
  s.Stream = AVFormat.avformat_new_stream(clip.Output, nullptr);
  if (!s.Stream) {
    error = "out of memory";
    return false;
  }
  if (s.Plan.Kind == TStreamKind::Subtitle) {
    if (!AddSubtitleStream(s, error))
      return false;
  } else if (s.Plan.Kind == TStreamKind::Attachment) {
    if (!AddAttachment(s, error))
      return false;
  } else if (s.Plan.Kind == TStreamKind::Data) {
    s.Stream->codecpar->codec_type = AVMEDIA_TYPE_DATA;
    s.Stream->codecpar->codec_id = AV_CODEC_ID_SMPTE_KLV;
    s.Stream->time_base = AVRational{1, 90000};
  } else if (!OpenEncoder(clip, s, error)) {
    return false;
  }
  for (const auto &[key, value] : s.Plan.Metadata)
    AVUtil.av_dict_set(&s.Stream->metadata, key.c_str(), value.c_str(), 0);
  s.Stream->disposition = s.Plan.Disposition | (s.Plan.Kind == TStreamKind::Cover ? AV_DISPOSITION_ATTACHED_PIC : 0);
  return true;
}

} // namespace

TStreamPlan VideoStream(const std::string &codec, int width, int height, int rateNum, int rateDen) {
  TStreamPlan s{TStreamKind::Video, codec};
  s.Width = width;
  s.Height = height;
  s.RateNum = rateNum;
  s.RateDen = rateDen;
  return s;
}

TStreamPlan AudioStream(const std::string &codec, int sampleRate, int channels) {
  TStreamPlan s{TStreamKind::Audio, codec};
  s.SampleRate = sampleRate;
  s.Channels = channels;
  return s;
}

bool WriteClip(const std::string &path, const TClipPlan &plan, std::string &error) {
  TClip clip;
  if (Failed(
          AVFormat.avformat_alloc_output_context2(&clip.Output, nullptr, plan.Format.c_str(), path.c_str()),
          "muxer " + plan.Format, error))
    return false;
  clip.JumpAtUs = static_cast<int64_t>(plan.JumpAt * 1000000);
  clip.JumpByUs = static_cast<int64_t>(plan.JumpBy * 1000000);
  clip.Packet = AVCodecLib.av_packet_alloc();
  if (!clip.Packet) {
    error = "out of memory";
    return false;
  }
  for (const TStreamPlan &streamPlan : plan.Streams)
    if (!AddStream(clip, streamPlan, error))
      return false;
  if (!AddChapters(clip.Output, plan, error))
    return false;
  for (const auto &[key, value] : plan.Metadata)
    AVUtil.av_dict_set(&clip.Output->metadata, key.c_str(), value.c_str(), 0);
  if (!(clip.Output->oformat->flags & AVFMT_NOFILE)) {
    if (Failed(AVFormat.avio_open(&clip.Output->pb, path.c_str(), AVIO_FLAG_WRITE), path, error))
      return false;
  }
  if (Failed(AVFormat.avformat_write_header(clip.Output, nullptr), "header", error))
    return false;
  if (!WriteSideStreams(clip, plan, error))
    return false;
  // Feed the encoded streams in time order so the muxer interleaves them with little buffering.
  for (;;) {
    TOutStream *next = nullptr;
    double nextTime = 0;
    for (TOutStream &s : clip.Streams) {
      if (!s.Codec || s.Done)
        continue;
      const double time = static_cast<double>(s.NextPts) * av_q2d(s.Codec->time_base);
      if (time >= plan.Seconds) {
        s.Done = true;
        if (!Encode(clip, s, nullptr, error))
          return false;
      } else if (!next || time < nextTime) {
        next = &s;
        nextTime = time;
      }
    }
    if (!next)
      break;
    if (Failed(AVUtil.av_frame_make_writable(next->Frame), "frame", error))
      return false;
    const bool video = next->Plan.Kind == TStreamKind::Video;
    if (video)
      FillPicture(next->Frame, next->Frames, next->Plan);
    else
      FillTone(next->Frame, next->NextPts, next->Plan.Content, next->Plan.ToneLevel);
    next->Frame->pts = next->NextPts;
    next->NextPts += video ? FrameStep(*next) : next->Frame->nb_samples;
    next->Frames += 1;
    if (!Encode(clip, *next, next->Frame, error))
      return false;
  }
  return !Failed(AVFormat.av_write_trailer(clip.Output), "trailer", error);
}
