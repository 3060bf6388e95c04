#pragma once
// The options stage: a task's configuration as its options left it. Option names and the records
// of the conversion driver come in; the settings, the library option templates and the hook ranges
// go on to opening the files and to the transcode. It holds no files, threads or events.
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/LibraryObjects.h"
#include "engine/options/TaskSettings.h"

// A time range of the frame hooks, in microseconds.
struct THookRange {
  int64_t Start = 0;
  int64_t End = 0;
};

struct TTaskConfig {
  TTaskSettings Settings;
  std::array<TCodecContextPtr, 5> CodecTemplates; // by media type: video, audio, data, subtitle, attachment
  TFormatContextPtr FormatTemplate;
  TScalerPtr ScalerTemplate;
  std::vector<std::string> SetOptionNames;
  std::vector<std::pair<std::string, std::string>> MuxerOptions; // private options of some muxers
  std::vector<std::pair<std::string, std::string>> EncoderOptions; // private options of some encoders
  bool FiltersEnabled = false;
  std::vector<THookRange> HookRanges;
  std::vector<std::vector<std::string>> VideoHooks;
};
