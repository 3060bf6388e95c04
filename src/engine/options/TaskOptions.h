#pragma once
// The option parsers of a task: option names and values, and the records of the conversion
// driver, turned into the task's configuration (settings, library option templates, hook ranges).
// The configuration is the task's; what lies beyond it is reached through the task's option host.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/FFmpegOptions.h"
#include "engine/options/OptionHost.h"
#include "engine/options/TaskConfig.h"

struct AVCodecContext;
struct AVFormatContext;
enum class TTvNorm;

class TTaskOptions {
public:
  TTaskOptions(TTaskConfig &config, TOptionHost &host) : FConfig(config), S(config.Settings), FHost(host) {}
  TTaskOptions(const TTaskOptions &) = delete;
  TTaskOptions &operator=(const TTaskOptions &) = delete;

  // Allocates the library option templates anew (the libraries must be bound).
  void CreateTemplates();
  AVCodecContext *CodecTemplate(AVMediaType type) const;
  void SetVerbose(int level);

  void AddOptions(const std::string &text, bool streamPass);
  void SetOption(const std::string &name, const std::string &value);
  bool SetGenericOption(const std::string &name, const std::string &value);
  void ApplyGenericOptions(void *target, void *templateContext, int flags) const;
  void ApplyMuxerOptions(AVFormatContext *output) const;
  void SetInputFormat(const std::string &name);
  void SetOutputFormat(const std::string &name);
  void ApplyTarget(const std::string &type, const std::string &norm, const std::string &fallbackNorm);
  void ApplyTargetPreset(const TOutputOptions &options);
  void ApplyOutputOptions(const TOutputOptions &options);
  // The record's picture, sound and subtitle sources mapped; their streams are added after opening.
  void MapRecordStreams(const TOutputOptions &options);
  void ApplyHookRanges(const std::string &text);
  void SetRecordingTimeMs(int64_t ms);
  void SetRecordingTimeUs(int64_t us);
  void SetStartTimeUs(int64_t us);
  void SetProgramId(int id);

private:
  // Option actions that take more than one line.
  bool SetSimpleOption(const std::string &name, const std::string &value);
  bool SetVideoOption(const std::string &name, const std::string &value);
  bool SetAudioOption(const std::string &name, const std::string &value);
  void SetFormat(const std::string &value);
  int64_t ParseTime(const std::string &name, const std::string &value, bool duration) const;
  void SetStreamMap(const std::string &value);
  void SetMetaDataMap(const std::string &value);
  void SetBurnSubtitle(const std::string &value);
  void SetItsScale(const std::string &value);
  void SetMetaData(const std::string &value);
  void SetBitrate(const std::string &name, const std::string &value);
  void SetFrameSize(const std::string &value);
  void SetAspect(const std::string &value);
  void SetCrop(const std::string &name, int value);
  void SetPad(const std::string &name, int value);
  void SetPadColor(int rgb);
  void ListFormats(bool pixelFormats) const;
  void SetMatrix(std::vector<uint16_t> &matrix, const std::string &value);
  uint32_t ParseTag(const std::string &value, const char *assertion) const;
  void SetVStats();
  void SetVideoHook(const std::string &value);
  void SetBitstreamFilter(const std::string &name, const std::string &value);
  void SetTargetOption(const std::string &value);
  // The output record's parts, in the order ApplyOutputOptions applies them.
  void ApplyOutputAudio(const TOutputOptions &o);
  void ApplyOutputVideo(const TOutputOptions &o);
  void ApplyOutputTimes(const TOutputOptions &o);
  void ApplyOutputTags(const TOutputOptions &o);
  // The norm the inputs' frame rates name, if any.
  std::optional<TTvNorm> NormOfInputs() const;
  void NewStreamOption(const std::string &name);
  bool SetMuxerOption(const std::string &name, const std::string &value);
  bool SetEncoderOption(const std::string &name, const std::string &value);

  TTaskConfig &FConfig;
  TTaskSettings &S; // the settings the option actions set
  TOptionHost &FHost;
};
