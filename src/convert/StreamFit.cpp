#include "convert/StreamFit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

namespace {

double RateOf(AVRational rate) { return rate.num > 0 && rate.den > 0 ? static_cast<double>(rate.num) / rate.den : 0; }

// The stream's bit rate, or the one its statistics tags tell (Matroska files written by mkvmerge).
int64_t BitRateOf(const AVStream *st) {
  if (st->codecpar->bit_rate > 0)
    return st->codecpar->bit_rate;
  const AVDictionaryEntry *tag = AVUtil.av_dict_get(st->metadata, "BPS", nullptr, 0);
  return tag ? std::atoll(tag->value) : 0;
}

void ReadVideo(const AVStream *st, TSourceFacts &facts) {
  const AVCodecParameters *par = st->codecpar;
  facts.VideoCodec = par->codec_id;
  facts.Width = par->width;
  facts.Height = par->height;
  facts.PixelFormat = par->format;
  facts.FrameRate = RateOf(st->avg_frame_rate) > 0 ? RateOf(st->avg_frame_rate) : RateOf(st->r_frame_rate);
  facts.VideoBitRate = BitRateOf(st);
  facts.ColorPrimaries = par->color_primaries;
  facts.ColorTransfer = par->color_trc;
  facts.ColorSpace = par->color_space;
  for (int i = 0; i < st->nb_side_data; ++i)
    facts.Rotated = facts.Rotated || st->side_data[i].type == AV_PKT_DATA_DISPLAYMATRIX;
}

// The profile's encoder's codec id, or 0 when there is no such encoder.
int CodecOf(const std::string &encoder) {
  const AVCodec *codec = encoder.empty() ? nullptr : AVCodecLib.avcodec_find_encoder_by_name(encoder.c_str());
  return codec ? codec->id : 0;
}

bool SameRate(const std::string &profileRate, double sourceRate) {
  if (profileRate.empty())
    return true;
  const auto slash = profileRate.find('/');
  const double wanted = slash == std::string::npos
                            ? std::atof(profileRate.c_str())
                            : std::atof(profileRate.c_str()) / std::max(std::atof(profileRate.c_str() + slash + 1), 1.0);
  return sourceRate > 0 && std::fabs(wanted - sourceRate) < 0.01;
}

bool VideoFits(const TSourceFacts &s, const TOutputOptions &out) {
  std::string size = out.FrameSize;
  std::replace(size.begin(), size.end(), '*', 'x');
  const bool sameSize = size.empty() || size == std::to_string(s.Width) + "x" + std::to_string(s.Height);
  const bool reshaped = !out.AspectRatio.empty() || !out.VideoFilters.empty() || out.BurnSubtitle >= 0 || out.CropTop > 0 ||
                        out.CropBottom > 0 || out.CropLeft > 0 || out.CropRight > 0 || out.PadTop > 0 ||
                        out.PadBottom > 0 || out.PadLeft > 0 || out.PadRight > 0;
  // A bit rate the file does not tell may be anything: the stream is encoded to the profile's.
  const bool rateFits = out.VideoBitrate <= 0 || (s.VideoBitRate > 0 && s.VideoBitRate <= out.VideoBitrate);
  return s.VideoCodec != 0 && s.VideoCodec == CodecOf(out.VideoCodec) && sameSize && !reshaped && !s.Rotated &&
         SameRate(out.FrameRate, s.FrameRate) && s.PixelFormat == AV_PIX_FMT_YUV420P &&
         (out.PixelFormat.empty() || out.PixelFormat == "yuv420p") && rateFits;
}

// Sound that passes filters (loudness) is encoded anew.
bool Filtered(const TOutputOptions &out) {
  return out.ExtOptions.starts_with("afilters=") || out.ExtOptions.find("\nafilters=") != std::string::npos;
}

bool AudioFits(const TSourceFacts &s, const TOutputOptions &out) {
  const bool rateFits = out.AudioBitrate <= 0 || (s.AudioBitRate > 0 && s.AudioBitRate <= out.AudioBitrate);
  return s.AudioCodec != 0 && s.AudioCodec == CodecOf(out.AudioCodec) &&
         (out.AudioSampleRate <= 0 || out.AudioSampleRate == s.SampleRate) &&
         (out.AudioChannels <= 0 || out.AudioChannels == s.Channels) && (out.AudioVolume < 0 || out.AudioVolume == 256) &&
         rateFits && !Filtered(out);
}

} // namespace

TSourceFacts ReadSourceFacts(const AVFormatContext *context) {
  TSourceFacts facts;
  for (unsigned i = 0; context && i < context->nb_streams; ++i) {
    const AVStream *st = context->streams[i];
    const AVCodecParameters *par = st->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
        facts.VideoCodec == 0) {
      ReadVideo(st, facts);
    } else if (par->codec_type == AVMEDIA_TYPE_AUDIO && facts.AudioCodec == 0) {
      facts.AudioCodec = par->codec_id;
      facts.SampleRate = par->sample_rate;
      facts.Channels = par->ch_layout.nb_channels;
      facts.AudioBitRate = BitRateOf(st);
    }
  }
  // Containers that do not tell the picture's own rate tell the whole file's: an upper bound.
  if (context && facts.VideoCodec != 0 && facts.VideoBitRate <= 0 && context->bit_rate > 0)
    facts.VideoBitRate = context->bit_rate - facts.AudioBitRate;
  return facts;
}

TStreamFit DecideFit(const TSourceFacts &source, const TOutputOptions &out, bool trimmed, bool keyFrameAtTrim) {
  TStreamFit fit;
  fit.CopyVideo = !out.DisableVideo && VideoFits(source, out) && (!trimmed || keyFrameAtTrim);
  fit.CopyAudio = !out.DisableAudio && AudioFits(source, out);
  return fit;
}

bool StartsOnKeyFrame(const std::string &path, int64_t startMs) {
  AVFormatContext *context = nullptr;
  if (AVFormat.avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0)
    return false;
  bool key = false;
  const int video = AVFormat.avformat_find_stream_info(context, nullptr) >= 0
                        ? AVFormat.av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)
                        : -1;
  AVPacket *pkt = AVCodecLib.av_packet_alloc();
  if (video >= 0 && pkt) {
    // A trim counts from the file's start, as the conversion seeks it.
    const int64_t origin = context->start_time != AV_NOPTS_VALUE ? context->start_time : 0;
    const AVStream *st = context->streams[video];
    const int64_t start = AVUtil.av_rescale_q(startMs * 1000 + origin, AV_TIME_BASE_Q, st->time_base);
    if (AVFormat.av_seek_frame(context, video, start, AVSEEK_FLAG_BACKWARD) >= 0) {
      // The copy begins with the first picture shown at or after the start.
      while (AVFormat.av_read_frame(context, pkt) >= 0) {
        const bool first = pkt->stream_index == video && pkt->pts != AV_NOPTS_VALUE && pkt->pts >= start;
        key = first && (pkt->flags & AV_PKT_FLAG_KEY);
        AVCodecLib.av_packet_unref(pkt);
        if (first)
          break;
      }
    }
  }
  AVCodecLib.av_packet_free(&pkt);
  AVFormat.avformat_close_input(&context);
  return key;
}

void ApplyFit(TOutputOptions &out, const TStreamFit &fit) {
  if (fit.CopyVideo) {
    out.VideoCodec = "copy";
    out.FrameRate.clear();
    out.FrameSize.clear();
    out.PixelFormat.clear();
    out.VideoBitrate = -1;
  }
  if (fit.CopyAudio) {
    out.AudioCodec = "copy";
    out.AudioSampleRate = out.AudioChannels = out.AudioBitrate = out.AudioVolume = -1;
  }
}

std::string FitNote(const TStreamFit &fit) {
  if (!fit.CopyVideo && !fit.CopyAudio)
    return "";
  return std::string("Copied without re-encoding: ") +
         (fit.CopyVideo && fit.CopyAudio ? "video, audio." : fit.CopyVideo ? "video." : "audio.");
}
