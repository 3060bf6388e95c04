#pragma once
// What a task's options reach beyond its configuration: the log, the length shown for progress,
// and the few options that depend on the files opened so far (a scale for the next input, a
// norm from the inputs' frame rates, a stream more for the last output). The task implements it.
#include <string>
#include <vector>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/rational.h>
}

class TOptionHost {
public:
  virtual bool LogsOptions() const = 0;
  virtual void LogOption(int level, const std::string &text) const = 0;
  // The recording time became the task's length.
  virtual void SetTotalDurationMs(int ms) = 0;
  virtual int InputCount() const = 0;
  // The average frame rates of the opened inputs' video streams, in file and stream order.
  virtual std::vector<AVRational> InputVideoFrameRates() const = 0;
  virtual int OutputCount() const = 0;
  virtual void NewStream(AVMediaType type, int output) = 0;

protected:
  ~TOptionHost() = default;
};
