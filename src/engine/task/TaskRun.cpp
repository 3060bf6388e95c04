// A task's lifecycle as its façade offers it: start, the run on its thread, its end, stop requests
// and pausing, all passed to the task's runner; and the transcode's events passed to the handlers.
#include <exception>
#include <filesystem>
#include <system_error>

#include "engine/FFmpeg.h"
#include "engine/FFmpegException.h"
#include "engine/feedback/ProgressReport.h"
#include "engine/task/TaskThread.h"
#include "engine/transcode/Transcoder.h"

TFFmpeg::~TFFmpeg() { StopAndWait(); }

bool TCustomFFmpeg::IsRunning() const { return FRunner.IsRunning(); }

bool TCustomFFmpeg::HasEnded() const { return FRunner.HasEnded(); }

bool TCustomFFmpeg::HasThread() const { return FRunner.HasThread(); }

TEngineThread *TCustomFFmpeg::Start(bool asThread, TConvertPriority priority) {
  if (!FRunner.Begin())
    return nullptr;
  try {
    if (FOutputs.Files.empty()) {
      CleanupTask();
      throw FFmpegException("At least one output file must be specified");
    }
    if (FInputs.Files.empty()) {
      CleanupTask();
      throw FFmpegException("At least one input file must be specified");
    }
  } catch (const FFmpegException &e) {
    Log(-1, e.what());
    Failed = true;
    EndMessage = e.what();
    EndTask();
    return nullptr;
  }
  Finished = false;
  if (!asThread) {
    Run();
    return nullptr;
  }
  auto *thread = new TFFmpegThread(*this, priority);
  FRunner.Attach(thread, true);
  return thread;
}

void TCustomFFmpeg::Transcode() {
  const TFeedbackTimes times{ProgressIntervalUs, PreviewIntervalUs, TotalDurationMs};
  Finished = TTranscoder({FConfig, FInputs, FOutputs, *this, FRunner, times}).Transcode();
}

bool TCustomFFmpeg::TakeAudioFilter() {
  if (!AudioFilterBeforeRun)
    return true;
  const std::optional<std::string> filter = AudioFilterBeforeRun([this] { return !CheckStop(); });
  if (filter)
    S.AudioFilters = *filter;
  return filter.has_value();
}

void TCustomFFmpeg::Run() {
  Finished = false;
  try {
    if (TakeAudioFilter())
      Transcode();
  } catch (const std::exception &e) {
    Log(-1, e.what());
    Failed = true;
    EndMessage = e.what();
  } catch (...) {
    CleanupFailedTask();
    EndTask();
    throw;
  }
  if (Failed)
    CleanupFailedTask();
  else
    CleanupTask();
  EndTask();
}

void TCustomFFmpeg::CleanupFailedTask() {
  // What a failed task wrote is broken: left under its final name it would pass for a converted
  // file. Only files are removed, never a device or pipe the output was sent to.
  const std::vector<std::string> written = FOutputs.WrittenFiles();
  CleanupTask();
  for (const std::string &path : written) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec))
      std::filesystem::remove(path, ec);
  }
}

void TCustomFFmpeg::EndTask() {
  FRunner.End();
  if (OnTerminate)
    OnTerminate(*this);
}

void TCustomFFmpeg::EndOnThread() {
  // Once only: replacing a thread that is ending would wait for it, and its end report may need
  // the lock the caller holds.
  if (FRunner.HasAttached())
    return;
  auto *thread = new TDoTerminateThread(*this);
  FRunner.Attach(thread, false);
  thread->Resume();
}

bool TCustomFFmpeg::CallOnMainThread(const std::function<void()> &fn) { return FRunner.CallOnMainThread(fn); }

void TCustomFFmpeg::RequestStop() { FRunner.RequestStop(); }

void TCustomFFmpeg::Pause() { FRunner.Pause(); }

void TCustomFFmpeg::Resume() { FRunner.Resume(); }

bool TCustomFFmpeg::CheckStop() { return FRunner.CheckStop(); }

bool TCustomFFmpeg::StopAndWait(std::chrono::milliseconds timeout) { return FRunner.StopAndWait(timeout); }

void TCustomFFmpeg::Progress(const TProgressFigures &f) {
  OnProgress(*this, f.FrameNumber, f.Fps, f.CurrentDuration, f.Quality, f.BitRate, f.CurrentSize,
             f.TotalOutputDuration);
}

void TCustomFFmpeg::PreviewBitmap(TBitmap *bitmap, int frameNumber, int64_t pts) {
  OnPreviewBitmap(*this, bitmap, frameNumber, pts);
}

void TCustomFFmpeg::BeforeHook(int64_t pts, THookAction &action) { OnBeforeHook(*this, pts, action); }

void TCustomFFmpeg::CustomHook(TBitmap *bitmap, int frameNumber, int64_t pts, bool &update, bool &stopHook) {
  OnCustomHook(*this, bitmap, frameNumber, pts, update, stopHook);
}
