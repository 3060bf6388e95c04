#include "engine/FFmpeg.h"

#include "engine/FFmpegException.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/SwScaleStubs.h"

namespace {

// The generic option contexts by media type, in the order the fallback searches them.
constexpr AVMediaType TemplateTypes[] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_DATA,
                                         AVMEDIA_TYPE_SUBTITLE, AVMEDIA_TYPE_ATTACHMENT};

// Engine levels -1..3 on the library's scale, which spaces its levels further apart.
int LibraryLogLevel(int level) {
  if (level < 0)
    return AV_LOG_QUIET;
  constexpr int levels[] = {AV_LOG_ERROR, AV_LOG_INFO, AV_LOG_DEBUG, AV_LOG_TRACE};
  return levels[level > 3 ? 3 : level];
}

} // namespace

TCustomFFmpeg::~TCustomFFmpeg() { CleanupTask(); }

void TCustomFFmpeg::Reset() {
  CleanupTask();
  S = TTaskSettings{};
  FRunner.Reset();
  Finished = Failed = false;
  EndMessage.clear();
  TotalDurationMs = -1;
  FErrorText.clear();
  FConfig.FiltersEnabled = false;
  FConfig.HookRanges.clear();
  FConfig.VideoHooks.clear();

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

void TCustomFFmpeg::SetVerbose(int level) {
  S.Verbose = level;
  AVUtil.av_log_set_level(LibraryLogLevel(level));
}

void TCustomFFmpeg::Log(int level, const std::string &text) const {
  if (OnLog)
    OnLog(level, text);
}

AVCodecContext *TCustomFFmpeg::CodecTemplate(AVMediaType type) const {
  for (size_t i = 0; i < FConfig.CodecTemplates.size(); ++i)
    if (TemplateTypes[i] == type)
      return FConfig.CodecTemplates[i].get();
  return nullptr;
}

void TCustomFFmpeg::CleanupTask() {
  for (auto &t : FConfig.CodecTemplates)
    t.reset();
  FConfig.FormatTemplate.reset();
  FConfig.ScalerTemplate.reset();
  FConfig.SetOptionNames.clear();
  FConfig.MuxerOptions.clear();
  FConfig.EncoderOptions.clear();

  // Outputs first: their files are closed (and deleted when empty) before the inputs go.
  FOutputs.Files.clear();
  FOutputs.StreamCount = 0;
  FInputs.Files.clear();
  FInputs.Codecs.clear();

  S.IntraMatrix.clear();
  S.InterMatrix.clear();
  S.VStatsFileName.clear();
  S.VideoCodec.Name.clear();
  S.AudioCodec.Name.clear();
  S.SubtitleCodec.Name.clear();
  S.VideoStandard.clear();
  S.VideoRcOverride.clear();
  S.AudioLanguage.clear();
  S.SubtitleLanguage.clear();
  FConfig.VideoHooks.clear();
}
