#pragma once
// The feedback stage: what a running transcode tells its task and asks of it. The transcode hands
// on log lines, progress figures, the share of input read, preview pictures and hook calls; the task
// passes them to its handlers. Every call comes from the thread that runs the transcode.
#include <cstdint>
#include <functional>
#include <string>

#include "engine/EngineTypes.h"

struct TProgressFigures;

class TTaskEvents {
public:
  // Whether log lines are taken: texts that cost work to build are built only then.
  virtual bool Logging() const = 0;
  virtual void LogLine(int level, const std::string &text) = 0;
  virtual bool TakesProgress() const = 0;
  virtual void Progress(const TProgressFigures &figures) = 0;
  // Thousandths of the first input read so far.
  virtual void InputRead(int permille) = 0;
  virtual bool TakesPreviewBitmaps() const = 0;
  virtual void PreviewBitmap(TBitmap *bitmap, int frameNumber, int64_t pts) = 0;
  virtual bool HasBeforeHook() const = 0;
  virtual void BeforeHook(int64_t pts, THookAction &action) = 0;
  virtual bool HasCustomHook() const = 0;
  virtual void CustomHook(TBitmap *bitmap, int frameNumber, int64_t pts, bool &update, bool &stopHook) = 0;
  // Runs fn on the main thread while the transcode waits; false, without running it, once a stop
  // is asked.
  virtual bool CallOnMainThread(const std::function<void()> &fn) = 0;
  // Bit 0 preview window, bit 1 preview bitmap; read and cleared under PreviewLock() only.
  virtual uint8_t &PreviewFlagBits() = 0;

protected:
  ~TTaskEvents() = default;
};

// How often the transcode reports, and the length it reports progress against.
struct TFeedbackTimes {
  int64_t ProgressIntervalUs = 500000;
  int64_t PreviewIntervalUs = 100000;
  int TotalDurationMs = -1;
};
