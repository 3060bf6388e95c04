// A task's lifecycle: start, the run on its thread, its end, stop requests and pausing.
#include <exception>
#include <filesystem>
#include <system_error>

extern "C" {
#include <libavformat/avformat.h>
}

#include "engine/FFmpeg.h"
#include "engine/FFmpegException.h"
#include "engine/FFmpegThread.h"
#include "media/AVCodecStubs.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

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
  auto *thread = new TDoTerminateThread(*this);
  FThread.reset(thread);
  thread->Resume();
}

void TCustomFFmpeg::RequestStop() {
  {
    std::lock_guard guard(FStateLock);
    StopRequested = true;
    FPaused = false;
  }
  FStateChanged.notify_all();
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

void TCustomFFmpeg::StopAndWait() {
  RequestStop();
  FThread.reset(); // joins: the stop request ends the worker after its current packet
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
