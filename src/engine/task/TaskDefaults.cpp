#include "engine/FFmpeg.h"

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

  FOptions.CreateTemplates();
}

void TCustomFFmpeg::Log(int level, const std::string &text) const {
  if (OnLog)
    OnLog(level, text);
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
