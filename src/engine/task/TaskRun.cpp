// A task's lifecycle: start, the run on its thread, its end, stop requests and pausing.
#include <exception>
#include <filesystem>
#include <system_error>

extern "C" {
#include <libavformat/avformat.h>
}

#include "engine/FFmpeg.h"
#include "engine/FFmpegException.h"
#include "engine/task/TaskThread.h"
#include "media/AVCodecStubs.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"
#include "platform/MainThread.h"

void TEngineThreadFree::operator()(TEngineThread *thread) const { delete thread; }

TFFmpeg::~TFFmpeg() { StopAndWait(); }

bool TCustomFFmpeg::IsRunning() const {
  std::lock_guard guard(FStateLock);
  return Running;
}

bool TCustomFFmpeg::HasEnded() const {
  std::lock_guard guard(FStateLock);
  return Ended;
}

bool TCustomFFmpeg::HasThread() const {
  std::lock_guard guard(FStateLock);
  return FThreadActive;
}

TEngineThread *TCustomFFmpeg::Start(bool asThread, TConvertPriority priority) {
  {
    std::lock_guard guard(FStateLock);
    if (Running || Ended)
      return nullptr;
  }
  try {
    if (FOutputFiles.empty()) {
      CleanupTask();
      throw FFmpegException("At least one output file must be specified");
    }
    if (FInputFiles.empty()) {
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
  {
    std::lock_guard guard(FStateLock);
    Running = true;
    StopRequested = Finished = Ended = false;
  }
  if (!asThread) {
    Run();
    return nullptr;
  }
  FThread.reset(new TFFmpegThread(*this, priority));
  std::lock_guard guard(FStateLock);
  FThreadActive = true;
  return FThread.get();
}

void TCustomFFmpeg::Run() {
  Finished = false;
  try {
    Transcode();
  } catch (const std::exception &e) {
    Log(-1, e.what());
    Failed = true;
    EndMessage = e.what();
  } catch (...) {
    CloseOpenCodecs();
    CleanupFailedTask();
    EndTask();
    throw;
  }
  CloseOpenCodecs();
  if (Failed)
    CleanupFailedTask();
  else
    CleanupTask();
  EndTask();
}

void TCustomFFmpeg::CleanupFailedTask() {
  // What a failed task wrote is broken: left under its final name it would pass for a converted
  // file. Only files are removed, never a device or pipe the output was sent to.
  std::vector<std::string> written;
  for (const TOutputFile &file : FOutputFiles) {
    const AVFormatContext *context = file.Context.get();
    if (context->pb && !(context->oformat->flags & AVFMT_NOFILE) && context->url)
      written.emplace_back(context->url);
  }
  CleanupTask();
  for (const std::string &path : written) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec))
      std::filesystem::remove(path, ec);
  }
}

void TCustomFFmpeg::EndTask() {
  {
    std::lock_guard guard(FStateLock);
    Running = false;
    Ended = true;
    FThreadActive = false;
    FPaused = false;
  }
  FStateChanged.notify_all();
  if (OnTerminate)
    OnTerminate(*this);
}

void TCustomFFmpeg::EndOnThread() {
  // Once only: replacing a thread that is ending would wait for it, and its end report may need
  // the lock the caller holds.
  if (FThread)
    return;
  auto *thread = new TDoTerminateThread(*this);
  FThread.reset(thread);
  thread->Resume();
}

// A call of the worker waiting for the main thread. Shared by both, so the main thread's queue may
// still hold it after the worker has gone.
struct TMainThreadCall {
  enum TState { csWaiting, csRunning, csDone, csCancelled };
  std::mutex Lock;
  std::condition_variable Changed;
  TState State = csWaiting; // guarded by Lock
  std::function<void()> Fn;
  std::exception_ptr Error;

  void Cancel() {
    {
      std::lock_guard guard(Lock);
      if (State == csWaiting)
        State = csCancelled;
    }
    Changed.notify_all();
  }
};

bool TCustomFFmpeg::CallOnMainThread(const std::function<void()> &fn) {
  if (platform::MainThread().IsMainThread()) {
    fn();
    return true;
  }
  auto call = std::make_shared<TMainThreadCall>();
  call->Fn = fn;
  {
    std::lock_guard guard(FStateLock);
    if (StopRequested)
      return false;
    FMainThreadCall = call;
  }
  platform::MainThread().Post([call] {
    {
      std::lock_guard guard(call->Lock);
      if (call->State != TMainThreadCall::csWaiting)
        return;
      call->State = TMainThreadCall::csRunning;
    }
    try {
      call->Fn();
    } catch (...) {
      call->Error = std::current_exception();
    }
    {
      std::lock_guard guard(call->Lock);
      call->State = TMainThreadCall::csDone;
    }
    call->Changed.notify_all();
  });
  TMainThreadCall::TState state;
  {
    std::unique_lock guard(call->Lock);
    call->Changed.wait(guard, [&call] {
      return call->State == TMainThreadCall::csDone || call->State == TMainThreadCall::csCancelled;
    });
    state = call->State;
  }
  {
    std::lock_guard guard(FStateLock);
    FMainThreadCall.reset();
  }
  if (call->Error)
    std::rethrow_exception(call->Error);
  return state == TMainThreadCall::csDone;
}

void TCustomFFmpeg::RequestStop() {
  std::shared_ptr<TMainThreadCall> pending;
  {
    std::lock_guard guard(FStateLock);
    StopRequested = true;
    FPaused = false;
    pending = FMainThreadCall;
  }
  FStateChanged.notify_all();
  // Whoever stops the task may be the main thread, about to wait for this worker.
  if (pending)
    pending->Cancel();
}

void TCustomFFmpeg::Pause() {
  std::lock_guard guard(FStateLock);
  if (FThreadActive)
    FPaused = true;
}

void TCustomFFmpeg::Resume() {
  {
    std::lock_guard guard(FStateLock);
    FPaused = false;
  }
  FStateChanged.notify_all();
}

bool TCustomFFmpeg::CheckStop() {
  std::unique_lock guard(FStateLock);
  FStateChanged.wait(guard, [this] { return !FPaused || StopRequested; });
  return StopRequested;
}

bool TCustomFFmpeg::StopAndWait(std::chrono::milliseconds timeout) {
  RequestStop();
  // The stop request ends the worker after its current packet. A worker that does not end in time
  // keeps its thread and task: whoever gave up on it must not free them.
  if (FThread && !FThread->WaitForEnd(timeout))
    return false;
  FThread.reset();
  return true;
}

void TCustomFFmpeg::CloseOpenCodecs() {
  for (AVCodecContext *encoder : FOpenEncoders) {
    AVUtil.av_freep(&encoder->stats_in);
    std::lock_guard guard(CodecLock());
    AVCodecLib.avcodec_close(encoder);
  }
  for (AVCodecContext *decoder : FOpenDecoders) {
    std::lock_guard guard(CodecLock());
    AVCodecLib.avcodec_close(decoder);
  }
  FOpenEncoders.clear();
  FOpenDecoders.clear();
}
