#pragma once
// The engine component: owns the tasks, starts them one after another (or several at once) on
// worker threads, lets the caller stop, pause and resume them, and reports log lines, progress,
// preview bitmaps, hook calls and task ends through its events.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/EngineTypes.h"
#include "engine/FFmpeg.h"
#include "engine/task/TaskList.h"
#include "media/AVProbe.h"

using TBeforeHookEvent = std::function<void(int AIndex, int64_t APTS, THookAction &AHookAction)>;
using TCustomHookEvent = std::function<void(int AIndex, TBitmap *ABitmap, int AFrameNumber, int64_t APTS,
                                            bool &AUpdate, bool &AStopHook)>;
using TLogEvent = std::function<void(int AIndex, TLogLevel ALogLevel, const std::string &AMsg)>;
using TPreviewBitmapEvent = std::function<void(int AIndex, TBitmap *ABitmap, int AFrameNumber, int64_t APTS)>;
using TProgressEvent =
    std::function<void(int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration, float AQuality, float ABitRate,
                       int64_t ACurrentSize, int ATotalOutputDuration)>;
using TTerminateEvent = std::function<void(int AIndex, bool AFinished, bool AException, const std::string &AMessage)>;

// An event of the component. Assigning, testing and calling it all take the event's lock (the
// component's event lock, or its end lock for task ends), so a handler cleared by its owner is never
// called afterwards, nor while it is being cleared.
template <typename Fn> class TEngineEvent {
public:
  explicit TEngineEvent(std::recursive_mutex &lock) : FLock(lock) {}
  TEngineEvent(const TEngineEvent &) = delete;
  TEngineEvent &operator=(Fn fn) {
    std::lock_guard guard(FLock);
    FFn = std::move(fn);
    return *this;
  }
  explicit operator bool() const {
    std::lock_guard guard(FLock);
    return static_cast<bool>(FFn);
  }
  // Calls the handler, if any, under the lock.
  template <typename... Args> void operator()(Args &&...args) const {
    std::lock_guard guard(FLock);
    if (FFn)
      FFn(std::forward<Args>(args)...);
  }
  // The handler as it is now; for handlers that run where the lock may not be held.
  Fn Get() const {
    std::lock_guard guard(FLock);
    return FFn;
  }

private:
  std::recursive_mutex &FLock;
  Fn FFn;
};

class TCustomFFmpegVCL {
  // Held while log and progress events run and while any other event is assigned; also guards the
  // task list, the counters and the properties, which worker threads read when one task ends and
  // the next starts.
  //
  // Lock order, everywhere in the engine: EndLock → PreviewLock → CodecLock → the component
  // registry's lock → EventLock → a task's state lock. A thread holding one of them takes only
  // those to its right: a worker converting a preview picture under PreviewLock may log, and a log
  // line needs the registry's lock and then EventLock; so nothing under EventLock takes PreviewLock.
  mutable std::recursive_mutex FEventLock;
  // Held while a task's end is reported and while OnTerminate is assigned. Only that: the end's
  // handler may call any operation of the component, and the next task starts after it returned.
  mutable std::recursive_mutex FEndLock;

public:
  TCustomFFmpegVCL();
  virtual ~TCustomFFmpegVCL();
  TCustomFFmpegVCL(const TCustomFFmpegVCL &) = delete;
  TCustomFFmpegVCL &operator=(const TCustomFFmpegVCL &) = delete;

  std::string About;
  static std::string Version() { return "2.3a"; }

  TLogLevel LogLevel() const;
  void SetLogLevel(TLogLevel value);
  bool Preview() const;
  void SetPreview(bool value);
  bool PreviewBitmap() const;
  void SetPreviewBitmap(bool value);
  // A task that copies its picture decodes none, so it cannot show one: previews asked of the
  // component, now or later, pass it by instead of failing it.
  void KeepPreviewsOff(int index);
  // What the task asks for its audio filter on its own thread before it converts (see
  // TCustomFFmpeg::AudioFilterBeforeRun). Before the tasks start.
  void SetAudioFilterBeforeRun(int index, TCustomFFmpeg::TAudioFilterSource source);
  int ProgressInterval() const;
  void SetProgressInterval(int milliseconds);
  TConvertPriority ThreadPriority() const;
  void SetThreadPriority(TConvertPriority value);

  // Assigned before tasks start; clearing one waits for a call of it on a worker to end.
  TEngineEvent<TBeforeHookEvent> OnBeforeHook{FEventLock};
  TEngineEvent<TCustomHookEvent> OnCustomHook{FEventLock};
  TEngineEvent<TLogEvent> OnLog{FEventLock};
  TEngineEvent<TPreviewBitmapEvent> OnPreviewBitmap{FEventLock};
  TEngineEvent<TProgressEvent> OnProgress{FEventLock};
  TEngineEvent<TTerminateEvent> OnTerminate{FEndLock};

  // How long the main thread waits for a stopped worker to end before it gives up on it: the
  // worker is reported and left to end on its own, with its task.
  int StopTimeoutMs = 10000;

  // Operations of the main thread.
  bool BindLibraries(const std::string &libraryFolder);
  int CreateTask(const std::string &fileName, const TInputOptions *inputOptions);
  bool OpenTaskOutput(int taskIndex, const std::string &fileName, const TOutputOptions *outputOptions);
  void DeleteTask(int taskIndex);
  void DeleteAllTasks();
  int TaskTotal() const;
  // Thousandths of the task's input read so far, or -1 (no such task, nothing read yet).
  int TaskInputPermille(int taskIndex) const;
  void StartTasks(int concurrency);
  void StopTasks();
  void PauseTasks();
  void ResumeTasks();
  const std::string &ErrorText() const { return FErrorText; }
  TAVProbe &Probe() { return FProbe; }

  // A library log line written by the thread threadId (engine level).
  void LibraryLine(int threadId, int level, const std::string &line);

protected:
  virtual void DoBeforeHook(TCustomFFmpeg &task, int64_t pts, THookAction &action);
  virtual void DoCustomHook(TCustomFFmpeg &task, TBitmap *bitmap, int frameNumber, int64_t pts, bool &update,
                            bool &stopHook);
  virtual void DoLog(TCustomFFmpeg *task, int level, const std::string &text);
  virtual void DoPreviewBitmap(TCustomFFmpeg &task, TBitmap *bitmap, int frameNumber, int64_t pts);
  virtual void DoProgress(TCustomFFmpeg &task, int frameNumber, int fps, int currentDuration, float quality,
                          float bitRate, int64_t currentSize, int totalOutputDuration);
  virtual void DoTerminate(TCustomFFmpeg &task);

  // Stops every task and waits for its thread. The most derived destructor calls it, so that no
  // event of a worker meets a half-destroyed component.
  void ShutDown();

private:
  // A task's end as its handler is told it.
  struct TTaskEnd {
    int Index;
    bool Finished;
    bool Failed;
    std::string Message;
  };
  // Under EventLock. The end of a task that ended in its start (its start failed) is handed back,
  // to be reported once the lock is released.
  std::optional<TTaskEnd> StartNextTask();
  std::optional<TTaskEnd> StartTaskAt(int index);
  // Reports the end, then starts the next task, or reports the run's end when none is left. Ends
  // of tasks whose start fails are reported in turn here, never inside another task's start.
  void ReportEndAndGoOn(const TTaskEnd &end);
  int Verbosity() const { return static_cast<int>(FLogLevel) - 1; }
  // Sets a preview property and its bit in every task's flags.
  void SetPreviewFlag(bool &property, uint8_t bit, bool value);

  // The hook handler and the task's index, read together under the lock.
  template <typename Fn> Fn HookOf(const TEngineEvent<Fn> &event, const TCustomFFmpeg &task, int &index) const;
  // Stops and frees tasks taken out of the list, waiting at most timeout for each worker.
  void FreeTasks(std::vector<std::unique_ptr<TFFmpeg>> tasks, std::chrono::milliseconds timeout);

  std::string FErrorText;
  int FNextTask = -1;
  int FConcurrency = 0;
  int FTerminated = 0;
  int FTasksLeft = 0;
  // A pause holds for the whole run: tasks started while paused begin paused.
  bool FPaused = false;
  TLogLevel FLogLevel = llInfo;
  int FProgressInterval = 500;
  TConvertPriority FThreadPriority = tpNormal;
  bool FPreview = false;
  bool FPreviewBitmap = false;
  TFFmpegList FTasks;
  TAVProbe FProbe;

  // Timers of the main-thread run hold this weakly: a timer that fires after the component is
  // gone does nothing.
  std::shared_ptr<TCustomFFmpegVCL *> FAlive;
};

// The component as the application uses it.
class TFFmpegVCL final : public TCustomFFmpegVCL {
public:
  ~TFFmpegVCL() override { ShutDown(); }
};
