// Opening an input file: its format, start offset and streams, and the decoder settings of each.
#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <mutex>

#include "engine/FFmpeg.h"
#include "engine/FFmpegException.h"
#include "engine/filter/DisplayTurn.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"
#include "media/InputFileKind.h"

namespace {

struct TDictionaryFree {
  void operator()(AVDictionary *dictionary) const { AVUtil.av_dict_free(&dictionary); }
};

std::string Fixed2(double value) {
  std::array<char, 64> text{};
  auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, 2);
  return ec == std::errc() ? std::string(text.data(), end) : std::string("?");
}

} // namespace

void TCustomFFmpeg::InputStreamTypes(bool &hasVideo, bool &hasAudio, bool &hasSubtitle) const {
  hasVideo = hasAudio = hasSubtitle = false;
  for (const TOpenedInput &file : FInputs.Files) {
    for (unsigned i = 0; i < file.Context->nb_streams; ++i) {
      const AVMediaType type = file.Context->streams[i]->codecpar->codec_type;
      if (type < AVMEDIA_TYPE_UNKNOWN || type > AVMEDIA_TYPE_ATTACHMENT)
        throw FFmpegException("invalid codec_type of input file");
      hasVideo |= type == AVMEDIA_TYPE_VIDEO;
      hasAudio |= type == AVMEDIA_TYPE_AUDIO;
      hasSubtitle |= type == AVMEDIA_TYPE_SUBTITLE;
    }
  }
}

void TCustomFFmpeg::ClearInputConsumables() {
  S.InputFormat = nullptr;
  S.OutputFormat = nullptr;
  S.VideoChannel = 0;
  S.VideoCodec.Name.clear();
  S.AudioCodec.Name.clear();
  S.SubtitleCodec.Name.clear();
}

// What raw and device inputs cannot find out themselves; other demuxers leave these unused.
AVDictionary *TCustomFFmpeg::DemuxerParameters() const {
  AVDictionary *parameters = nullptr;
  auto set = [&parameters](const char *key, const std::string &value) {
    AVUtil.av_dict_set(&parameters, key, value.c_str(), 0);
  };
  if (S.FrameRate.num > 0 && S.FrameRate.den > 0)
    set("framerate", std::to_string(S.FrameRate.num) + "/" + std::to_string(S.FrameRate.den));
  if (S.AudioSampleRate > 0)
    set("sample_rate", std::to_string(S.AudioSampleRate));
  if (S.AudioChannels > 0)
    set("channels", std::to_string(S.AudioChannels));
  const int width = S.FrameWidth + S.FramePadLeft + S.FramePadRight;
  const int height = S.FrameHeight + S.FramePadTop + S.FramePadBottom;
  if (width > 0 && height > 0)
    set("video_size", std::to_string(width) + "x" + std::to_string(height));
  if (const char *pixelFormat = AVUtil.av_get_pix_fmt_name(static_cast<AVPixelFormat>(S.FramePixFmt)))
    set("pixel_format", pixelFormat);
  if (S.VideoChannel != 0)
    set("channel", std::to_string(S.VideoChannel));
  if (!S.VideoStandard.empty())
    set("standard", S.VideoStandard);
  if (S.LoopInput)
    set("loop", "1");
  return parameters;
}

// Reads enough of the file to know its streams, of the chosen program only; false on failure.
bool TCustomFFmpeg::FindStreamInfo(AVFormatContext *raw, const std::string &fileName) {
  if (S.ProgramId != 0)
    for (unsigned i = 0; i < raw->nb_programs; ++i)
      if (raw->programs[i]->id != S.ProgramId)
        raw->programs[i]->discard = AVDISCARD_ALL;

  int result;
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    result = AVFormat.avformat_find_stream_info(raw, nullptr);
  }
  if (result < 0 && S.Verbose >= 0) {
    FErrorText = fileName + ": could not find codec parameters";
    return false;
  }
  return true;
}

bool TCustomFFmpeg::OpenInputFile(const std::string &fileName) {
  // Whatever the outcome, the forced formats, the device channel and the codec names were meant
  // for this file only.
  struct TConsume {
    TCustomFFmpeg &Task;
    ~TConsume() { Task.ClearInputConsumables(); }
  } consume{*this};

  FErrorText = NotRegularFileText(fileName);
  if (!FErrorText.empty())
    return false;
  if (FInputs.Files.size() >= MaxFiles) {
    FErrorText = fileName + ": too many input files (at most 20)";
    return false;
  }
  TOpenedInput file;
  file.Context.reset(OpenDemuxer(fileName));
  if (!file.Context || !FindStreamInfo(file.Context.get(), fileName))
    return false;
  const int64_t timestamp = SeekToStart(file);

  std::vector<const struct AVCodec *> slots;
  ReadInputStreams(file, slots);
  if (FInputs.Codecs.size() + slots.size() > MaxCodecSlots) {
    FErrorText = fileName + ": too many input streams (at most 400 in all)";
    return false;
  }
  const AVFormatContext *raw = file.Context.get();
  if (raw->duration != AV_NOPTS_VALUE && raw->duration / 1000 > TotalDurationMs)
    TotalDurationMs =
        static_cast<int>(std::min<int64_t>(raw->duration / 1000, std::numeric_limits<int>::max()));
  file.TsOffset = S.CopyTs ? S.InputTsOffset : S.InputTsOffset - timestamp;
  if (S.Verbose >= 0)
    AVFormat.av_dump_format(file.Context.get(), static_cast<int>(FInputs.Files.size()), fileName.c_str(), 0);

  FInputs.Codecs.insert(FInputs.Codecs.end(), slots.begin(), slots.end());
  FInputs.Files.push_back(std::move(file));
  return true;
}

AVFormatContext *TCustomFFmpeg::OpenDemuxer(const std::string &fileName) {
  AVCodecID videoId, audioId, subtitleId;
  if (!FindCodecId(S.VideoCodec.Name, AVMEDIA_TYPE_VIDEO, false, videoId) ||
      !FindCodecId(S.AudioCodec.Name, AVMEDIA_TYPE_AUDIO, false, audioId) ||
      !FindCodecId(S.SubtitleCodec.Name, AVMEDIA_TYPE_SUBTITLE, false, subtitleId))
    return nullptr;
  TFormatContextPtr context(AVFormat.avformat_alloc_context());
  if (!context) {
    FErrorText = OpenErrorText(fileName, AVERROR(ENOMEM));
    return nullptr;
  }
  ApplyGenericOptions(context.get(), FConfig.FormatTemplate.get(), AV_OPT_FLAG_DECODING_PARAM);
  context->video_codec_id = S.PgmyuvMode ? AV_CODEC_ID_PGMYUV : videoId;
  context->audio_codec_id = audioId;
  context->subtitle_codec_id = subtitleId;

  AVDictionary *parameters = DemuxerParameters();
  AVFormatContext *raw = context.release(); // freed by the library when the open fails
  const int result = AVFormat.avformat_open_input(&raw, fileName.c_str(), S.InputFormat, &parameters);
  const std::unique_ptr<AVDictionary, TDictionaryFree> ownedParameters(parameters);
  if (result < 0) {
    FErrorText = OpenErrorText(fileName, result);
    return nullptr;
  }
  return raw;
}

int64_t TCustomFFmpeg::SeekToStart(TOpenedInput &file) {
  AVFormatContext *raw = file.Context.get();
  int64_t timestamp = S.StartTime;
  if (raw->start_time != AV_NOPTS_VALUE)
    timestamp += raw->start_time;
  if (S.StartTime != 0) {
    AVFormat.av_seek_frame(raw, -1, timestamp, AVSEEK_FLAG_BACKWARD);
    S.StartTime = 0;
    file.Seeked = true;
  }
  return timestamp;
}

const struct AVCodec *TCustomFFmpeg::DecoderNamed(const std::string &name, AVMediaType type) {
  return name.empty() ? nullptr : LookupCodec(name, type, false);
}

// A video stream's picture size, shape, format and rate become the settings outputs start from.
void TCustomFFmpeg::ReadVideoStream(AVStream *st, unsigned index, AVCodecContext *decoder,
                                    std::vector<const struct AVCodec *> &slots) {
  const AVCodecParameters *par = st->codecpar;
  ApplyGenericOptions(decoder, CodecTemplate(AVMEDIA_TYPE_VIDEO),
                      AV_OPT_FLAG_DECODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM);
  S.FrameWidth = par->width;
  S.FrameHeight = par->height;
  const AVRational sar =
      st->sample_aspect_ratio.num != 0 ? st->sample_aspect_ratio : par->sample_aspect_ratio;
  float aspect = sar.den != 0 ? static_cast<float>(sar.num) / static_cast<float>(sar.den) : 0.0f;
  if (par->width * par->height != 0)
    aspect = aspect != 0.0f ? static_cast<float>(par->width) * aspect / static_cast<float>(par->height)
                            : static_cast<float>(par->width) / static_cast<float>(par->height);
  else if (aspect == 0.0f)
    aspect = 4.0f / 3.0f;
  // Sizes and shape of the picture as shown: a phone's sideways picture is turned upright.
  if (DisplayTurnOf(st).SwapsSides) {
    std::swap(S.FrameWidth, S.FrameHeight);
    aspect = 1.0f / aspect;
  }
  S.FrameAspectRatio = aspect;
  S.FramePixFmt = par->format == -1 ? 0 : par->format;
  const AVRational real = st->r_frame_rate;
  const AVRational average = st->avg_frame_rate;
  if (average.num != 0 && average.den != 0 && real.den != 0 &&
      int64_t{average.num} * real.den != int64_t{real.num} * average.den && S.Verbose > 0 && OnLog)
    Log(1, "Seems stream " + std::to_string(index) +
               " codec frame rate differs from container frame rate: " + Fixed2(av_q2d(average)) + " (" +
               std::to_string(average.num) + "/" + std::to_string(average.den) + ") -> " +
               Fixed2(av_q2d(real)) + " (" + std::to_string(real.num) + "/" + std::to_string(real.den) + ")");
  // The average rate: the real one of a variable-rate stream is its clock (90000/1, 1000/1).
  S.FrameRate = average.num > 0 && average.den > 0 ? average : real;
  slots.push_back(DecoderNamed(S.VideoCodec.Name, AVMEDIA_TYPE_VIDEO));
  if (S.VideoDisable)
    st->discard = AVDISCARD_ALL;
  else if (S.VideoDiscard != 0)
    st->discard = static_cast<AVDiscard>(S.VideoDiscard);
}

void TCustomFFmpeg::ReadInputStreams(TOpenedInput &file, std::vector<const struct AVCodec *> &slots) {
  AVFormatContext *context = file.Context.get();
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    AVStream *st = context->streams[i];
    const AVCodecParameters *par = st->codecpar;
    TCodecContextPtr decoder;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO || par->codec_type == AVMEDIA_TYPE_AUDIO ||
        par->codec_type == AVMEDIA_TYPE_SUBTITLE) {
      decoder.reset(AVCodecLib.avcodec_alloc_context3(nullptr));
      if (!decoder || AVCodecLib.avcodec_parameters_to_context(decoder.get(), par) < 0)
        throw FFmpegException("Could not allocate a decoder context");
      decoder->thread_count = S.ThreadCount;
    }
    switch (par->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
      ReadVideoStream(st, i, decoder.get(), slots);
      break;
    case AVMEDIA_TYPE_AUDIO:
      ApplyGenericOptions(decoder.get(), CodecTemplate(AVMEDIA_TYPE_AUDIO),
                          AV_OPT_FLAG_DECODING_PARAM | AV_OPT_FLAG_AUDIO_PARAM);
      S.AudioChannelLayout = par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? par->ch_layout.u.mask : 0;
      S.AudioChannels = par->ch_layout.nb_channels;
      S.AudioSampleRate = par->sample_rate;
      S.AudioSampleFmt = par->format;
      slots.push_back(DecoderNamed(S.AudioCodec.Name, AVMEDIA_TYPE_AUDIO));
      if (S.AudioDisable)
        st->discard = AVDISCARD_ALL;
      break;
    case AVMEDIA_TYPE_DATA:
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      slots.push_back(DecoderNamed(S.SubtitleCodec.Name, AVMEDIA_TYPE_SUBTITLE));
      if (S.SubtitleDisable)
        st->discard = AVDISCARD_ALL;
      break;
    case AVMEDIA_TYPE_ATTACHMENT:
    case AVMEDIA_TYPE_UNKNOWN:
      slots.push_back(nullptr);
      break;
    default:
      throw FFmpegException("invalid codec_type");
    }
    file.Decoders.push_back(std::move(decoder));
  }
}
