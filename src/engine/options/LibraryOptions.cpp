// Names the option table does not know go to the libraries' own option system: they are set on
// the task's template contexts, made here, and copied from there onto every context the task creates.
#include <memory>

#include "engine/FFmpegException.h"
#include "engine/options/OptionValues.h"
#include "engine/options/TaskOptions.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/SwScaleStubs.h"

namespace {

// The generic option contexts by media type, in the order the fallback searches them.
constexpr AVMediaType TemplateTypes[] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_DATA,
                                         AVMEDIA_TYPE_SUBTITLE, AVMEDIA_TYPE_ATTACHMENT};

// Flag masks of the codec templates, in template order (video, audio, data, subtitle, attachment).
constexpr int TemplateMasks[] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0, AV_OPT_FLAG_SUBTITLE_PARAM, 0};

// Engine levels -1..3 on the library's scale, which spaces its levels further apart.
int LibraryLogLevel(int level) {
  if (level < 0)
    return AV_LOG_QUIET;
  constexpr int levels[] = {AV_LOG_ERROR, AV_LOG_INFO, AV_LOG_DEBUG, AV_LOG_TRACE};
  return levels[level > 3 ? 3 : level];
}

} // namespace

void TTaskOptions::CreateTemplates() {
  for (size_t i = 0; i < FConfig.CodecTemplates.size(); ++i) {
    FConfig.CodecTemplates[i].reset(AVCodecLib.avcodec_alloc_context3(nullptr));
    if (!FConfig.CodecTemplates[i])
      throw FFmpegException("Could not allocate the codec option context");
    FConfig.CodecTemplates[i]->codec_type = TemplateTypes[i];
  }
  FConfig.FormatTemplate.reset(AVFormat.avformat_alloc_context());
  FConfig.ScalerTemplate.reset(SwScale.sws_getContext(16, 16, AV_PIX_FMT_YUV420P, 16, 16, AV_PIX_FMT_YUV420P,
                                                      S.SwsFlags, nullptr, nullptr, nullptr));
  if (!FConfig.FormatTemplate || !FConfig.ScalerTemplate)
    throw FFmpegException("Could not allocate the format and scaler option contexts");
}

AVCodecContext *TTaskOptions::CodecTemplate(AVMediaType type) const {
  for (size_t i = 0; i < FConfig.CodecTemplates.size(); ++i)
    if (TemplateTypes[i] == type)
      return FConfig.CodecTemplates[i].get();
  return nullptr;
}

void TTaskOptions::SetVerbose(int level) {
  S.Verbose = level;
  AVUtil.av_log_set_level(LibraryLogLevel(level));
}

bool TTaskOptions::SetGenericOption(const std::string &name, const std::string &value) {
  if (Trim(name).empty() || Trim(value).empty() || !FConfig.FormatTemplate)
    return false;
  const AVOption *found = nullptr;
  int result = 0;
  for (size_t i = 0; i < FConfig.CodecTemplates.size(); ++i) {
    const AVOption *option = AVUtil.av_opt_find(FConfig.CodecTemplates[0].get(), name.c_str(), nullptr, TemplateMasks[i], 0);
    if (!option)
      continue;
    found = option;
    result = AVUtil.av_opt_set(FConfig.CodecTemplates[i].get(), name.c_str(), value.c_str(), 0);
    if (result < 0)
      break;
  }
  for (void *context : {static_cast<void *>(FConfig.FormatTemplate.get()), static_cast<void *>(FConfig.ScalerTemplate.get())}) {
    if (found)
      break;
    found = AVUtil.av_opt_find(context, name.c_str(), nullptr, 0, 0);
    if (found)
      result = AVUtil.av_opt_set(context, name.c_str(), value.c_str(), 0);
  }
  // "vb" sets "b" of the video template, "abt" sets "bt" of the audio template.
  if (!found && (name[0] == 'a' || name[0] == 'v' || name[0] == 's')) {
    const AVMediaType type = name[0] == 'v'   ? AVMEDIA_TYPE_VIDEO
                             : name[0] == 'a' ? AVMEDIA_TYPE_AUDIO
                                              : AVMEDIA_TYPE_SUBTITLE;
    const int mask = TemplateMasks[type == AVMEDIA_TYPE_VIDEO ? 0 : type == AVMEDIA_TYPE_AUDIO ? 1 : 3];
    const std::string rest = name.substr(1);
    found = AVUtil.av_opt_find(CodecTemplate(type), rest.c_str(), nullptr, mask, 0);
    if (found)
      result = AVUtil.av_opt_set(CodecTemplate(type), rest.c_str(), value.c_str(), 0);
  }
  if (!found)
    return SetMuxerOption(name, value) || SetEncoderOption(name, value);
  if (result < 0) {
    AVUtil.av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n", value.c_str(), name.c_str());
    return false;
  }
  FConfig.SetOptionNames.emplace_back(found->name);

  if (CodecTemplate(AVMEDIA_TYPE_VIDEO)->debug != 0 || FConfig.FormatTemplate->debug != 0)
    SetVerbose(2);
  return true;
}

bool TTaskOptions::SetMuxerOption(const std::string &name, const std::string &value) {
  // Options such as "muxrate" and "preload" belong to some muxers only: they are kept by name and
  // set on the output when its muxer has them.
  void *iterator = nullptr;
  while (const AVOutputFormat *muxer = AVFormat.av_muxer_iterate(&iterator)) {
    if (muxer->priv_class &&
        AVUtil.av_opt_find(const_cast<const AVClass **>(&muxer->priv_class), name.c_str(), nullptr, AV_OPT_FLAG_ENCODING_PARAM,
                           AV_OPT_SEARCH_FAKE_OBJ)) {
      FConfig.MuxerOptions.emplace_back(name, value);
      return true;
    }
  }
  return false;
}

bool TTaskOptions::SetEncoderOption(const std::string &name, const std::string &value) {
  // Constant-quality controls such as "crf" belong to some encoders only: kept by name like the
  // muxer options and set on each encoder that has them before it opens.
  void *iterator = nullptr;
  while (const AVCodec *codec = AVCodecLib.av_codec_iterate(&iterator)) {
    if (codec->priv_class && AVCodecLib.av_codec_is_encoder(codec) &&
        AVUtil.av_opt_find(const_cast<const AVClass **>(&codec->priv_class), name.c_str(), nullptr,
                           AV_OPT_FLAG_ENCODING_PARAM, AV_OPT_SEARCH_FAKE_OBJ)) {
      FConfig.EncoderOptions.emplace_back(name, value);
      return true;
    }
  }
  return false;
}

void TTaskOptions::ApplyMuxerOptions(AVFormatContext *output) const {
  for (const auto &[name, value] : FConfig.MuxerOptions)
    if (AVUtil.av_opt_find(output, name.c_str(), nullptr, 0, AV_OPT_SEARCH_CHILDREN) &&
        AVUtil.av_opt_set(output, name.c_str(), value.c_str(), AV_OPT_SEARCH_CHILDREN) < 0)
      AVUtil.av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n", value.c_str(), name.c_str());
}

void TTaskOptions::ApplyGenericOptions(void *target, void *templateContext, int flags) const {
  if (!target || !templateContext)
    return;
  for (const std::string &name : FConfig.SetOptionNames) {
    if (!AVUtil.av_opt_find(templateContext, name.c_str(), nullptr, flags, 0))
      continue;
    uint8_t *text = nullptr;
    if (AVUtil.av_opt_get(templateContext, name.c_str(), 0, &text) < 0)
      continue;
    std::unique_ptr<uint8_t, TAVFree> owned(text);
    AVUtil.av_opt_set(target, name.c_str(), reinterpret_cast<const char *>(text), 0);
  }
}
