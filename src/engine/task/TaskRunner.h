#pragma once
// The task stage: a task's life on its worker thread. The runner holds the thread, the state the
// main thread and the worker share (running, ended, stop asked, paused), and the worker's calls
// waiting for the main thread; the transcode reads it as its stop token.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "engine/task/StopToken.h"

class TEngineThread;
struct TMainThreadCall;

class TTaskRunner final : public TStopToken {
public:
  TTaskRunner();
  ~TTaskRunner();
  TTaskRunner(const TTaskRunner &) = delete;
  TTaskRunner &operator=(const TTaskRunner &) = delete;

  bool IsRunning() const;
  bool HasEnded() const;
  bool HasThread() const;
  // Marks the task running; false when it runs or has ended already.
  bool Begin();
  // Marks the task ended and wakes whoever waits for it.
  void End();
  // Back to a task that never ran.
  void Reset();
  // Takes the worker thread of the task; whether it runs the task (rather than only ending it).
  void Attach(TEngineThread *thread, bool runsTask);
  bool HasAttached() const { return static_cast<bool>(FThread); }

  void RequestStop();
  void Pause();
  void Resume();
  bool CheckStop() override;
  bool StopRequested() const override;
  // Asks the worker to stop and waits until its thread has ended, at most timeout; false when it
  // still runs then.
  bool StopAndWait(std::chrono::milliseconds timeout);
  // Runs fn on the main thread while the worker waits; false, without running it, once a stop is
  // asked: the main thread may be the one waiting for this worker to end.
  bool CallOnMainThread(const std::function<void()> &fn);

private:
  mutable std::mutex FStateLock; // guards every field below but FThread
  std::condition_variable FStateChanged;
  bool FRunning = false;
  bool FEnded = false;
  bool FStopRequested = false;
  bool FPaused = false;
  bool FThreadActive = false; // a worker thread runs the task
  // The worker's call waiting for the main thread, if any.
  std::shared_ptr<TMainThreadCall> FMainThreadCall;
  // Made and dropped by the main thread only.
  std::unique_ptr<TEngineThread> FThread;
};
