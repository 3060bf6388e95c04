// Opening a task's files from the option records of the conversion driver.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <ctime>

#include "engine/FFmpeg.h"
#include "engine/options/OptionValues.h"

bool TFFmpeg::OpenInput(const std::string &fileName, const TInputOptions *options) {
  if (!options) {
    ResetInputOptions(InputOptions);
    return OpenInputFile(fileName);
  }
  InputOptions = *options;
  if (InputOptions.FileName.empty())
    InputOptions.FileName = fileName;
  AddOptions(InputOptions.ExtOptions, false);
  SetInputFormat(InputOptions.InputFormat);
  if (InputOptions.StartTimeMs > 0)
    SetStartTimeUs(int64_t{InputOptions.StartTimeMs} * 1000);
  SetStartTimeUs(InputOptions.StartTime);
  SetProgramId(InputOptions.ProgramId);
  return OpenInputFile(fileName);
}

bool TFFmpeg::OpenOutput(const std::string &fileName, const TOutputOptions *options) {
  if (!options) {
    ResetOutputOptions(OutputOptions);
    return OpenOutputFile(fileName) >= 0;
  }
  OutputOptions = *options;
  if (OutputOptions.FileName.empty())
    OutputOptions.FileName = fileName;
  ApplyTargetPreset(OutputOptions);
  AddOptions(OutputOptions.ExtOptions, false);
  ApplyOutputOptions(OutputOptions);
  MapRecordStreams(OutputOptions);
  // The hook events, when asked for, are connected by the component; ranges only gate the modules.
  if (!OutputOptions.UseCustomHook && !OutputOptions.UseBeforeHook)
    ApplyHookRanges(OutputOptions.HookRanges);
  if (OpenOutputFile(fileName) < 0)
    return false;
  AddOptions(OutputOptions.ExtOptions, true);
  return AddMappedStreams(OutputOptions);
}
