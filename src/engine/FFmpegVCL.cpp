#include "engine/FFmpegVCL.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <shared_mutex>
#include <unistd.h>

#include "engine/feedback/LibraryLog.h"
#include "engine/task/TaskThread.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"
#include "platform/MainThread.h"

namespace {

// A task's event handler that does nothing once the component has given up on the task.
template <typename Fn> auto Linked(std::shared_ptr<TFFmpeg::TComponentLink> link, Fn fn) {
  return [link = std::move(link), fn = std::move(fn)](auto &&...args) {
    std::shared_lock guard(link->Lock);
    if (!link->Cut)
      fn(std::forward<decltype(args)>(args)...);
  };
}

// Tasks whose worker did not stop in time. They stay allocated for as long as the process lives:
// their workers may still use them.
std::vector<TFFmpeg *> &AbandonedTasks() {
  static auto *tasks = new std::vector<TFFmpeg *>; // never freed, for the same reason
  return *tasks;
}

} // namespace

TCustomFFmpegVCL::TCustomFFmpegVCL() : FAlive(std::make_shared<TCustomFFmpegVCL *>(this)) {
  ComponentRegistry().Add(this);
}

TCustomFFmpegVCL::~TCustomFFmpegVCL() { ShutDown(); }

void TCustomFFmpegVCL::ShutDown() {
  FAlive.reset();
  ComponentRegistry().Remove(this);
  {
    std::lock_guard guard(FEventLock);
    FTasksLeft = 0;
    for (int i = 0; i < FTasks.Count(); ++i)
      FTasks.Items(i)->RequestStop();
  }
  // Without the lock: a worker reports its end under it before its thread can end. The tasks stay
  // in the list meanwhile, so no end report counts the run as over.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(StopTimeoutMs);
  for (int i = 0; i < FTasks.Count(); ++i)
    FTasks.Items(i)->StopAndWait(std::chrono::duration_cast<std::chrono::milliseconds>(
        std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero())));
  std::vector<std::unique_ptr<TFFmpeg>> tasks;
  {
    std::lock_guard guard(FEventLock); // an event still running finishes first
    tasks = FTasks.ExtractAll();
  }
  FreeTasks(std::move(tasks), std::chrono::milliseconds(0));
}

void TCustomFFmpegVCL::FreeTasks(std::vector<std::unique_ptr<TFFmpeg>> tasks, std::chrono::milliseconds timeout) {
  // Without the lock: a worker reports its end under it before its thread can end. A stop also
  // cancels the worker's pending hand-off to this thread, so the wait needs nothing of this thread.
  for (auto &task : tasks) {
    if (task->StopAndWait(timeout))
      continue;
    // Freeing the task would pull it from under its worker: it is left to the worker, which never
    // reaches this component again (its events are cut off first).
    const std::string &input = task->InputOptions.FileName;
    const std::string message = (input.empty() ? std::string("A task") : "The task of \"" + input + "\"") +
                                " did not stop within " + std::to_string(StopTimeoutMs) +
                                " ms; it is left to end on its own.";
    std::fprintf(stderr, "tavrelle: %s\n", message.c_str());
    {
      std::lock_guard guard(FEventLock);
      FErrorText = message;
    }
    // From here on the worker's events do not reach this component, which may soon be gone.
    TFFmpeg::TComponentLink &link = *task->Link;
    link.Cut = true;
    if (link.Lock.try_lock_for(std::chrono::milliseconds(StopTimeoutMs)))
      link.Lock.unlock(); // no event of the task is running
    AbandonedTasks().push_back(task.release());
  }
}

bool TCustomFFmpegVCL::BindLibraries(const std::string &libraryFolder) {
  FFLoader.LibraryPath = libraryFolder;
  if (!FFLoader.LoadLibraries(EngineLibraries)) {
    FErrorText = FFLoader.LastError();
    return false;
  }
  AVUtil.av_log_set_callback(LibraryLogCallback);
  AVUtil.av_log_set_level(LibraryLogLevel(static_cast<int>(LogLevel()) - 1));
  return true;
}

int TCustomFFmpegVCL::CreateTask(const std::string &fileName, const TInputOptions *inputOptions) {
  try {
    auto task = std::make_unique<TFFmpeg>();
    TFFmpeg *t = task.get();
    const auto link = t->Link;
    t->OnLog = Linked(link, [this, t](int level, const std::string &text) { DoLog(t, level, text); });
    if (FFLoader.LibrariesLoaded(EngineLibraries))
      t->Reset();
    t->SetVerbose(static_cast<int>(LogLevel()) - 1);
    {
      const uint8_t flags = static_cast<uint8_t>((Preview() ? 1 : 0) | (PreviewBitmap() ? 2 : 0));
      std::lock_guard preview(PreviewLock());
      t->PreviewFlags = flags;
    }
    t->OnPreviewBitmap = Linked(link, [this](TCustomFFmpeg &task, TBitmap *bitmap, int frameNumber, int64_t pts) {
      DoPreviewBitmap(task, bitmap, frameNumber, pts);
    });
    if (!t->OpenInput(fileName, inputOptions)) {
      t->OnLog = nullptr;
      FErrorText = t->ErrorText();
      return -1;
    }
    t->OnProgress = Linked(link, [this](TCustomFFmpeg &task, int frameNumber, int fps, int currentDuration,
                                        float quality, float bitRate, int64_t currentSize, int totalOutputDuration) {
      DoProgress(task, frameNumber, fps, currentDuration, quality, bitRate, currentSize, totalOutputDuration);
    });
    t->OnTerminate = Linked(link, [this](TCustomFFmpeg &task) { DoTerminate(task); });
    std::lock_guard guard(FEventLock);
    return FTasks.Add(std::move(task));
  } catch (const std::exception &e) {
    FErrorText = e.what();
    return -1;
  }
}

bool TCustomFFmpegVCL::OpenTaskOutput(int taskIndex, const std::string &fileName,
                                      const TOutputOptions *outputOptions) {
  try {
    TFFmpeg *task;
    {
      std::lock_guard guard(FEventLock);
      task = FTasks.Items(taskIndex);
    }
    if (!task) {
      FErrorText = "Invalid task index " + std::to_string(taskIndex);
      return false;
    }
    if (outputOptions && outputOptions->UseCustomHook)
      task->OnCustomHook = Linked(task->Link, [this](TCustomFFmpeg &t, TBitmap *bitmap, int frameNumber, int64_t pts,
                                                     bool &update, bool &stopHook) {
        DoCustomHook(t, bitmap, frameNumber, pts, update, stopHook);
      });
    else if (outputOptions && outputOptions->UseBeforeHook)
      task->OnBeforeHook = Linked(task->Link, [this](TCustomFFmpeg &t, int64_t pts, THookAction &action) {
        DoBeforeHook(t, pts, action);
      });
    if (!task->OpenOutput(fileName, outputOptions)) {
      FErrorText = task->ErrorText();
      return false;
    }
    return true;
  } catch (const std::exception &e) {
    FErrorText = e.what();
    return false;
  }
}

void TCustomFFmpegVCL::DeleteTask(int taskIndex) {
  std::vector<std::unique_ptr<TFFmpeg>> tasks;
  {
    std::lock_guard guard(FEventLock);
    if (auto task = FTasks.Extract(taskIndex))
      tasks.push_back(std::move(task));
  }
  FreeTasks(std::move(tasks), std::chrono::milliseconds(StopTimeoutMs));
}

void TCustomFFmpegVCL::DeleteAllTasks() {
  std::vector<std::unique_ptr<TFFmpeg>> tasks;
  {
    std::lock_guard guard(FEventLock);
    tasks = FTasks.ExtractAll();
    FErrorText.clear();
    FConcurrency = 0;
  }
  FreeTasks(std::move(tasks), std::chrono::milliseconds(StopTimeoutMs));
}

int TCustomFFmpegVCL::TaskTotal() const {
  std::lock_guard guard(FEventLock);
  return FTasks.Count();
}

int TCustomFFmpegVCL::TaskInputPermille(int taskIndex) const {
  std::lock_guard guard(FEventLock);
  const TFFmpeg *task = taskIndex >= 0 && taskIndex < FTasks.Count() ? FTasks.Items(taskIndex) : nullptr;
  return task ? task->InputPermille.load() : -1;
}

void TCustomFFmpegVCL::StartTasks(int concurrency) {
  ComponentRegistry().ClearLogs();
  {
    std::lock_guard guard(FEventLock);
    FNextTask = 0;
    FTerminated = 0;
    FConcurrency = concurrency;
    FTasksLeft = FTasks.Count();
    FPaused = false;
  }
  int n = concurrency;
  do {
    std::optional<TTaskEnd> endedAtStart;
    {
      std::lock_guard guard(FEventLock);
      if (FTasksLeft <= 0)
        break;
      endedAtStart = StartNextTask();
    }
    if (endedAtStart)
      ReportEndAndGoOn(*endedAtStart);
  } while (--n > 0);
}

std::optional<TCustomFFmpegVCL::TTaskEnd> TCustomFFmpegVCL::StartNextTask() {
  std::lock_guard guard(FEventLock);
  if (FTasksLeft <= 0)
    return std::nullopt;
  --FTasksLeft;
  const int index = FNextTask++;
  if (FConcurrency > 0)
    return StartTaskAt(index);
  std::weak_ptr<TCustomFFmpegVCL *> alive = FAlive;
  platform::MainThread().PostDelayed(100, [alive, index] {
    if (auto component = alive.lock())
      (*component)->StartTaskAt(index); // runs the task here, so its end is reported as it ends
  });
  return std::nullopt;
}

namespace {

// The component starting a task's thread on this thread, and the end of that task if it ended in
// its start: that end is reported after the start, outside the event lock.
struct TStartOnThread {
  const TCustomFFmpegVCL *Component = nullptr;
  bool Ended = false;
};
thread_local TStartOnThread StartOnThread;

} // namespace

std::optional<TCustomFFmpegVCL::TTaskEnd> TCustomFFmpegVCL::StartTaskAt(int index) {
  std::unique_lock guard(FEventLock);
  TFFmpeg *task = FTasks.Items(index);
  if (!task)
    return std::nullopt;
  task->ProgressIntervalUs = int64_t{FProgressInterval} * 1000;
  task->SetVerbose(Verbosity());
  if (FConcurrency <= 0) {
    // The whole conversion runs here, in the timer's call on the main thread; the lock is only
    // taken again by the events.
    task->ThreadId = static_cast<int>(gettid());
    const TConvertPriority priority = FThreadPriority;
    guard.unlock();
    task->Start(false, priority);
    return std::nullopt;
  }
  StartOnThread = {this, false};
  TEngineThread *thread = task->Start(true, FThreadPriority);
  const bool endedAtStart = StartOnThread.Ended;
  StartOnThread = {};
  if (thread) {
    task->ThreadId = thread->ThreadId();
    if (FPaused)
      task->Pause();
    thread->Resume();
    return std::nullopt;
  }
  task->ThreadId = 0;
  if (!endedAtStart)
    return std::nullopt;
  return TTaskEnd{task->TaskIndex, task->Finished, task->Failed, task->EndMessage};
}

void TCustomFFmpegVCL::StopTasks() {
  std::lock_guard guard(FEventLock);
  FTasksLeft = 0;
  for (int i = 0; i < FTasks.Count(); ++i) {
    TFFmpeg *task = FTasks.Items(i);
    if (task->IsRunning())
      task->RequestStop();
    else if (!task->HasEnded())
      task->EndOnThread();
  }
}

void TCustomFFmpegVCL::PauseTasks() {
  std::lock_guard guard(FEventLock);
  FPaused = true;
  for (int i = 0; i < FTasks.Count(); ++i)
    FTasks.Items(i)->Pause();
}

void TCustomFFmpegVCL::ResumeTasks() {
  std::lock_guard guard(FEventLock);
  FPaused = false;
  for (int i = 0; i < FTasks.Count(); ++i)
    FTasks.Items(i)->Resume();
}

void TCustomFFmpegVCL::LibraryLine(int threadId, int level, const std::string &line) {
  std::lock_guard guard(FEventLock);
  DoLog(FTasks.FindByThread(threadId), level, line);
}

// Hooks run outside the lock: a slow hook must not hold up the main thread's operations.
template <typename Fn> Fn TCustomFFmpegVCL::HookOf(const TEngineEvent<Fn> &event, const TCustomFFmpeg &task,
                                                   int &index) const {
  std::lock_guard guard(FEventLock);
  index = task.TaskIndex;
  return event.Get();
}

void TCustomFFmpegVCL::DoBeforeHook(TCustomFFmpeg &task, int64_t pts, THookAction &action) {
  int index;
  if (const TBeforeHookEvent hook = HookOf(OnBeforeHook, task, index))
    hook(index, pts, action);
}

void TCustomFFmpegVCL::DoCustomHook(TCustomFFmpeg &task, TBitmap *bitmap, int frameNumber, int64_t pts, bool &update,
                                    bool &stopHook) {
  int index;
  if (const TCustomHookEvent hook = HookOf(OnCustomHook, task, index))
    hook(index, bitmap, frameNumber, pts, update, stopHook);
}

void TCustomFFmpegVCL::DoLog(TCustomFFmpeg *task, int level, const std::string &text) {
  std::lock_guard guard(FEventLock);
  OnLog(task ? task->TaskIndex : -1, LogLevelOf(level), text);
}

void TCustomFFmpegVCL::DoPreviewBitmap(TCustomFFmpeg &task, TBitmap *bitmap, int frameNumber, int64_t pts) {
  if (!OnPreviewBitmap)
    return;
  int index;
  {
    std::lock_guard guard(FEventLock);
    index = task.TaskIndex;
  }
  // The worker waits while the main thread runs the handler, holding no lock meanwhile; a stop of
  // the task cancels the wait. The handler is fetched on the main thread, where its owner clears
  // it, and called without EventLock: it takes PreviewLock, which comes first.
  task.CallOnMainThread([&] {
    if (const TPreviewBitmapEvent handler = OnPreviewBitmap.Get())
      handler(index, bitmap, frameNumber, pts);
  });
}

void TCustomFFmpegVCL::DoProgress(TCustomFFmpeg &task, int frameNumber, int fps, int currentDuration, float quality,
                                  float bitRate, int64_t currentSize, int totalOutputDuration) {
  std::lock_guard guard(FEventLock);
  OnProgress(task.TaskIndex, frameNumber, fps, currentDuration, quality, bitRate, currentSize, totalOutputDuration);
}

void TCustomFFmpegVCL::DoTerminate(TCustomFFmpeg &task) {
  TTaskEnd end;
  {
    std::lock_guard guard(FEventLock);
    if (StartOnThread.Component == this) {
      StartOnThread.Ended = true;
      return;
    }
    end = {task.TaskIndex, task.Finished, task.Failed, task.EndMessage};
  }
  ReportEndAndGoOn(end);
}

void TCustomFFmpegVCL::ReportEndAndGoOn(const TTaskEnd &end) {
  std::optional<TTaskEnd> next = end;
  bool allEnded = false;
  while (next) {
    OnTerminate(next->Index, next->Finished, next->Failed, next->Message);
    std::lock_guard guard(FEventLock);
    ++FTerminated;
    if (FTasksLeft > 0)
      next = StartNextTask();
    else {
      next.reset();
      allEnded = FTasks.Count() <= FTerminated;
    }
  }
  if (!allEnded)
    return;
  OnTerminate(-1, true, false, "");
  // The registry's lock comes before the event lock.
  ComponentRegistry().ClearLogs();
}
