// The component's settings: the log level, the previews, the progress interval and the workers'
// priority. Each is read and set under the event lock; the preview flags reach the tasks already
// created as well.
#include "engine/FFmpegVCL.h"

#include "engine/feedback/LibraryLog.h"
#include "engine/task/TaskThread.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

TLogLevel TCustomFFmpegVCL::LogLevel() const {
  std::lock_guard guard(FEventLock);
  return FLogLevel;
}

void TCustomFFmpegVCL::SetLogLevel(TLogLevel value) {
  std::lock_guard guard(FEventLock);
  FLogLevel = value;
  if (FFLoader.LibraryLoaded(LibAVUtil) && AVUtil.av_log_set_level && AVUtil.av_log_get_level)
    AVUtil.av_log_set_level(LibraryLogLevel(Verbosity()));
}

bool TCustomFFmpegVCL::Preview() const {
  std::lock_guard guard(FEventLock);
  return FPreview;
}

void TCustomFFmpegVCL::SetPreview(bool value) { SetPreviewFlag(FPreview, 1, value); }

bool TCustomFFmpegVCL::PreviewBitmap() const {
  std::lock_guard guard(FEventLock);
  return FPreviewBitmap;
}

void TCustomFFmpegVCL::SetPreviewBitmap(bool value) { SetPreviewFlag(FPreviewBitmap, 2, value); }

void TCustomFFmpegVCL::SetPreviewFlag(bool &property, uint8_t bit, bool value) {
  std::lock_guard preview(PreviewLock());
  std::lock_guard guard(FEventLock);
  property = value;
  for (int i = 0; i < FTasks.Count(); ++i) {
    TCustomFFmpeg &task = *FTasks.Items(i);
    if (!task.PreviewsOff)
      task.PreviewFlags = static_cast<uint8_t>(value ? task.PreviewFlags | bit : task.PreviewFlags & ~bit);
  }
}

void TCustomFFmpegVCL::KeepPreviewsOff(int index) {
  std::lock_guard preview(PreviewLock());
  std::lock_guard guard(FEventLock);
  if (index < 0 || index >= FTasks.Count())
    return;
  TCustomFFmpeg &task = *FTasks.Items(index);
  task.PreviewsOff = true;
  task.PreviewFlags = 0;
}

void TCustomFFmpegVCL::SetAudioFilterBeforeRun(int index, TCustomFFmpeg::TAudioFilterSource source) {
  std::lock_guard guard(FEventLock);
  if (index >= 0 && index < FTasks.Count())
    FTasks.Items(index)->AudioFilterBeforeRun = std::move(source);
}

int TCustomFFmpegVCL::ProgressInterval() const {
  std::lock_guard guard(FEventLock);
  return FProgressInterval;
}

void TCustomFFmpegVCL::SetProgressInterval(int milliseconds) {
  std::lock_guard guard(FEventLock);
  FProgressInterval = milliseconds <= 100 ? 100 : milliseconds;
}

TConvertPriority TCustomFFmpegVCL::ThreadPriority() const {
  std::lock_guard guard(FEventLock);
  return FThreadPriority;
}

void TCustomFFmpegVCL::SetThreadPriority(TConvertPriority value) {
  std::lock_guard guard(FEventLock);
  FThreadPriority = value;
}
