// Opening a task's output files and creating their streams. Each stream gets an encoder context of
// its own, configured from the settings; the muxer's stream parameters are filled from it when
// the encoder is opened.
#include <algorithm>
#include <bit>
#include <cctype>
#include <ctime>

#include "engine/FFmpeg.h"
#include "engine/FFmpegException.h"
#include "engine/options/OptionValues.h"
#include "engine/output/VideoEncoderSettings.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

namespace {

// Whether a filter graph description names a filter that changes the frame size.
bool FiltersResize(const std::string &description) {
  std::string lower = description;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  size_t pos = 0;
  while (pos <= lower.size()) {
    const size_t comma = std::min(lower.find(',', pos), lower.size());
    const std::string part = lower.substr(pos, comma - pos);
    const std::string name = Trim(part.substr(0, part.find('=')));
    if (name == "crop" || name == "rotate" || name == "scale" || name == "transpose")
      return true;
    pos = comma + 1;
  }
  return false;
}

// "YYYY-MM-DDTHH:MM:SS.000000Z", how muxers take a recording date.
std::string IsoTime(int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
  return text;
}

// Why the frame options cannot go together, or nothing when they can.
std::string FrameOptionsConflict(const TTaskSettings &S) {
  const bool cropping = S.FrameTopBand || S.FrameBottomBand || S.FrameLeftBand || S.FrameRightBand;
  const bool padding = S.FramePadTop || S.FramePadBottom || S.FramePadLeft || S.FramePadRight;
  if (!S.VFilters.empty() && cropping)
    return "Cannot enable crop options and filters at the same time.";
  if (padding && FiltersResize(S.VFilters))
    return "Cannot enable pad options and the filters which resize frame at the same time. (crop, rotate, "
           "scale, transpose, etc.)";
  return {};
}

// The recording date and the tags set for the file; the tags are used up.
void SetFileTags(AVFormatContext &context, TTaskSettings &S) {
  if (S.RecTimestamp != 0)
    AVUtil.av_dict_set(&context.metadata, "creation_time", IsoTime(S.RecTimestamp).c_str(), 0);
  // From the last pair to the first, so the first of two equal keys is the one kept.
  for (auto it = S.MetaData.rbegin(); it != S.MetaData.rend(); ++it)
    AVUtil.av_dict_set(&context.metadata, it->first.c_str(), it->second.c_str(), 0);
  S.MetaData.clear();
}

} // namespace

int TCustomFFmpeg::OpenOutputFile(const std::string &fileName) {
  // The forced formats serve one file only, whether it opens or not.
  struct TConsume {
    TTaskSettings &Settings;
    ~TConsume() {
      Settings.InputFormat = nullptr;
      Settings.OutputFormat = nullptr;
    }
  } consume{S};

  if (std::string conflict = FrameOptionsConflict(S); !conflict.empty()) {
    FErrorText = std::move(conflict);
    return -1;
  }
  FConfig.FiltersEnabled = !S.VFilters.empty();
  if (FOutputs.Files.size() >= MaxFiles) {
    FErrorText = fileName + ": too many output files (at most 20)";
    return -1;
  }
  TOutputFile added;
  added.Context.reset(AllocOutputContext(fileName));
  TStreamKinds kinds;
  if (!added.Context || !ChooseStreamKinds(*added.Context->oformat, kinds))
    return -1;

  // The streams are added to the file in place; a failure takes the file out again.
  FOutputs.Files.push_back(std::move(added));
  AVFormatContext &context = *FOutputs.Files.back().Context;
  const std::string failure = AddOutputStreams(static_cast<int>(FOutputs.Files.size()) - 1, kinds);
  if (!failure.empty())
    return DropLastOutput(failure);
  SetFileTags(context, S);
  return OpenOutputIo(fileName, context);
}

AVFormatContext *TCustomFFmpeg::AllocOutputContext(const std::string &fileName) {
  const AVOutputFormat *format = S.OutputFormat;
  if (!format)
    format = AVFormat.av_guess_format(nullptr, fileName.c_str(), nullptr);
  if (!format) {
    FErrorText = "Unable to find a suitable output format for '" + fileName + "'";
    return nullptr;
  }
  AVFormatContext *raw = nullptr;
  const int allocated = AVFormat.avformat_alloc_output_context2(&raw, format, nullptr, fileName.c_str());
  if (allocated < 0 || !raw) {
    FErrorText = OpenErrorText(fileName, allocated < 0 ? allocated : AVERROR(ENOMEM));
    return nullptr;
  }
  return raw;
}

bool TCustomFFmpeg::ChooseStreamKinds(const AVOutputFormat &format, TStreamKinds &kinds) {
  kinds.Video = S.VideoCodec.Copy || format.video_codec != AV_CODEC_ID_NONE || !S.VideoCodec.Name.empty();
  kinds.Audio = S.AudioCodec.Copy || format.audio_codec != AV_CODEC_ID_NONE || !S.AudioCodec.Name.empty();
  kinds.Subtitles =
      S.SubtitleCodec.Copy || format.subtitle_codec != AV_CODEC_ID_NONE || !S.SubtitleCodec.Name.empty();
  if (!FInputs.Files.empty()) {
    bool hasVideo = false, hasAudio = false, hasSubtitles = false;
    try {
      InputStreamTypes(hasVideo, hasAudio, hasSubtitles);
    } catch (const FFmpegException &e) {
      FErrorText = std::string("check_audio_video_sub_inputs fail: ") + e.what();
      return false;
    }
    kinds.Video = kinds.Video && hasVideo;
    kinds.Audio = kinds.Audio && hasAudio;
    kinds.Subtitles = kinds.Subtitles && hasSubtitles;
  }
  kinds.Video = kinds.Video && !S.VideoDisable;
  kinds.Audio = kinds.Audio && !S.AudioDisable;
  kinds.Subtitles = kinds.Subtitles && !S.SubtitleDisable;
  return true;
}

std::string TCustomFFmpeg::AddOutputStreams(int output, const TStreamKinds &kinds) {
  try {
    if (kinds.Video)
      NewVideoStream(output);
  } catch (const FFmpegException &e) {
    return std::string("new_video_stream fail: ") + e.what();
  }
  try {
    if (kinds.Audio)
      NewAudioStream(output);
  } catch (const FFmpegException &e) {
    return std::string("new_audio_stream fail: ") + e.what();
  }
  try {
    if (kinds.Subtitles)
      NewSubtitleStream(output);
  } catch (const FFmpegException &e) {
    return std::string("new_subtitle_stream fail: ") + e.what();
  }
  return {};
}

int TCustomFFmpeg::DropLastOutput(const std::string &errorText) {
  FErrorText = errorText;
  FOutputs.StreamCount -= static_cast<int>(FOutputs.Files.back().Streams.size());
  FOutputs.Files.pop_back();
  return -1;
}

int TCustomFFmpeg::OpenOutputIo(const std::string &fileName, AVFormatContext &context) {
  const AVOutputFormat &format = *context.oformat;
  if ((format.flags & AVFMT_NEEDNUMBER) && !AVFormat.av_filename_number_test(fileName.c_str()))
    return DropLastOutput(OpenErrorText(fileName, AVERROR(EDOM)));
  // The reason (permission denied, disk full, no such folder) is what the user can act on.
  const int opened =
      format.flags & AVFMT_NOFILE ? 0 : AVFormat.avio_open(&context.pb, fileName.c_str(), AVIO_FLAG_WRITE);
  if (opened < 0)
    return DropLastOutput("Could not open '" + fileName + "': " + AVErrorText(opened));

  context.max_delay = static_cast<int>(S.MuxMaxDelay * 1000000);
  // Preload and loop count are options of the muxers that have them.
  AVUtil.av_opt_set_int(&context, "preload", static_cast<int64_t>(S.MuxPreload * 1000000),
                        AV_OPT_SEARCH_CHILDREN);
  AVUtil.av_opt_set_int(&context, "loop", S.LoopOutput, AV_OPT_SEARCH_CHILDREN);
  ApplyGenericOptions(&context, FConfig.FormatTemplate.get(), AV_OPT_FLAG_ENCODING_PARAM);
  FOptions.ApplyMuxerOptions(&context);
  return static_cast<int>(FOutputs.Files.size());
}

// The encoder's context starts from its codec's own defaults: some encoders (libx264) declare
// their own and refuse to open with the generic ones.
TOutputStream &TCustomFFmpeg::AddOutputStream(int output, AVMediaType type, const TCodecChoice &choice,
                                              std::vector<std::string> &filters) {
  if (output < 0 || output >= static_cast<int>(FOutputs.Files.size()))
    throw FFmpegException("Could not alloc stream");
  TOutputFile &file = FOutputs.Files[static_cast<size_t>(output)];
  if (file.Streams.size() >= MaxFiles || FOutputs.StreamCount >= MaxCodecSlots)
    throw FFmpegException("Could not alloc stream");
  TOutputStream stream;
  stream.StreamCopy = choice.Copy;
  AVCodecID id = AV_CODEC_ID_NONE;
  if (!choice.Copy && !choice.Name.empty()) {
    stream.Codec = LookupCodec(choice.Name, type, true);
    if (!stream.Codec)
      throw FFmpegException(FErrorText);
    id = stream.Codec->id;
  } else if (!choice.Copy && type != AVMEDIA_TYPE_SUBTITLE) {
    id = AVFormat.av_guess_codec(file.Context->oformat, nullptr, file.Context->url, nullptr, type);
    stream.Codec = AVCodecLib.avcodec_find_encoder(id);
  }
  stream.Encoder.reset(AVCodecLib.avcodec_alloc_context3(stream.Codec));
  if (!stream.Encoder)
    throw FFmpegException("Could not alloc stream");
  stream.Stream = AVFormat.avformat_new_stream(file.Context.get(), nullptr);
  if (!stream.Stream)
    throw FFmpegException("Could not alloc stream");
  stream.Stream->id = static_cast<int>(file.Context->nb_streams) - 1;
  stream.Encoder->codec_type = type;
  stream.Encoder->codec_id = id;
  if (!choice.Copy) {
    const int kind = type == AVMEDIA_TYPE_VIDEO   ? AV_OPT_FLAG_VIDEO_PARAM
                     : type == AVMEDIA_TYPE_AUDIO ? AV_OPT_FLAG_AUDIO_PARAM
                                                  : AV_OPT_FLAG_SUBTITLE_PARAM;
    ApplyGenericOptions(stream.Encoder.get(), CodecTemplate(type), AV_OPT_FLAG_ENCODING_PARAM | kind);
  }
  stream.Encoder->thread_count = S.ThreadCount;
  stream.BitstreamFilters = std::move(filters);
  filters.clear();
  file.Streams.push_back(std::move(stream));
  ++FOutputs.StreamCount;
  return file.Streams.back();
}

void TCustomFFmpeg::NewVideoStream(int output) {
  const TCodecChoice choice = S.VideoCodec;
  S.VideoCodec = {};
  S.VideoDisable = false;
  TOutputStream &stream = AddOutputStream(output, AVMEDIA_TYPE_VIDEO, choice, S.VideoBitstreamFilters);
  AVCodecContext &c = *stream.Encoder;
  SetVideoHeaderFlags(c, *FOutputs.Files[static_cast<size_t>(output)].Context->oformat, S);
  if (choice.Copy) {
    c.sample_aspect_ratio = SampleAspect(S.FrameAspectRatio, S.FrameWidth, S.FrameHeight);
    stream.Stream->sample_aspect_ratio = c.sample_aspect_ratio;
    return;
  }
  SetVideoPicture(c, stream.Codec, S);
  stream.Stream->sample_aspect_ratio = c.sample_aspect_ratio;
  SetVideoRateControl(c, S);
}

void TCustomFFmpeg::NewAudioStream(int output) {
  const TCodecChoice choice = S.AudioCodec;
  S.AudioCodec = {};
  S.AudioDisable = false;
  TOutputStream &stream = AddOutputStream(output, AVMEDIA_TYPE_AUDIO, choice, S.AudioBitstreamFilters);
  const AVFormatContext *context = FOutputs.Files[static_cast<size_t>(output)].Context.get();
  AVCodecContext *c = stream.Encoder.get();
  if (S.AudioCodecTag)
    c->codec_tag = S.AudioCodecTag;
  if (context->oformat->flags & AVFMT_GLOBALHEADER)
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  // The input's layout when it has the channel count asked for, else the usual one for it.
  if (S.AudioChannelLayout != 0 && std::popcount(S.AudioChannelLayout) == S.AudioChannels)
    AVUtil.av_channel_layout_from_mask(&c->ch_layout, S.AudioChannelLayout);
  else if (S.AudioChannels > 0)
    AVUtil.av_channel_layout_default(&c->ch_layout, S.AudioChannels);
  if (!choice.Copy) {
    if (S.AudioQScale > -99999.0f) {
      c->flags |= AV_CODEC_FLAG_QSCALE;
      c->global_quality = static_cast<int>(FF_QP2LAMBDA * S.AudioQScale);
    }
    c->sample_fmt = static_cast<AVSampleFormat>(S.AudioSampleFmt);
    const struct AVCodec *codec = stream.Codec;
    if (codec && codec->sample_fmts) {
      const AVSampleFormat *p = codec->sample_fmts;
      while (*p != AV_SAMPLE_FMT_NONE && *p != c->sample_fmt)
        ++p;
      if (*p == AV_SAMPLE_FMT_NONE)
        c->sample_fmt = codec->sample_fmts[0];
    }
  }
  c->sample_rate = S.AudioSampleRate;
  if (S.AudioSampleRate > 0)
    c->time_base = AVRational{1, S.AudioSampleRate};
  if (!S.AudioLanguage.empty()) {
    AVUtil.av_dict_set(&stream.Stream->metadata, "language", S.AudioLanguage.c_str(), 0);
    S.AudioLanguage.clear();
  }
}

void TCustomFFmpeg::NewSubtitleStream(int output) {
  const TCodecChoice choice = S.SubtitleCodec;
  S.SubtitleCodec = {};
  S.SubtitleDisable = false;
  TOutputStream &stream = AddOutputStream(output, AVMEDIA_TYPE_SUBTITLE, choice, S.SubtitleBitstreamFilters);
  if (!S.SubtitleLanguage.empty()) {
    AVUtil.av_dict_set(&stream.Stream->metadata, "language", S.SubtitleLanguage.c_str(), 0);
    S.SubtitleLanguage.clear();
  }
}
