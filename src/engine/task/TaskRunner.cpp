#include "engine/task/TaskRunner.h"

#include <exception>

#include "engine/task/TaskThread.h"
#include "platform/MainThread.h"

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
  // Runs on the main thread, unless the call was cancelled first.
  void Run() {
    {
      std::lock_guard guard(Lock);
      if (State != csWaiting)
        return;
      State = csRunning;
    }
    try {
      Fn();
    } catch (...) {
      Error = std::current_exception();
    }
    {
      std::lock_guard guard(Lock);
      State = csDone;
    }
    Changed.notify_all();
  }
  // Waits until the call has run or was cancelled; whether it ran.
  bool Wait() {
    std::unique_lock guard(Lock);
    Changed.wait(guard, [this] { return State == csDone || State == csCancelled; });
    return State == csDone;
  }
};

TTaskRunner::TTaskRunner() = default;

TTaskRunner::~TTaskRunner() = default;

bool TTaskRunner::IsRunning() const {
  std::lock_guard guard(FStateLock);
  return FRunning;
}

bool TTaskRunner::HasEnded() const {
  std::lock_guard guard(FStateLock);
  return FEnded;
}

bool TTaskRunner::HasThread() const {
  std::lock_guard guard(FStateLock);
  return FThreadActive;
}

bool TTaskRunner::Begin() {
  std::lock_guard guard(FStateLock);
  if (FRunning || FEnded)
    return false;
  FRunning = true;
  FStopRequested = FEnded = false;
  return true;
}

void TTaskRunner::End() {
  {
    std::lock_guard guard(FStateLock);
    FRunning = false;
    FEnded = true;
    FThreadActive = false;
    FPaused = false;
  }
  FStateChanged.notify_all();
}

void TTaskRunner::Reset() {
  std::lock_guard guard(FStateLock);
  FRunning = FStopRequested = FEnded = false;
}

void TTaskRunner::Attach(TEngineThread *thread, bool runsTask) {
  FThread.reset(thread);
  std::lock_guard guard(FStateLock);
  FThreadActive = runsTask;
}

void TTaskRunner::RequestStop() {
  std::shared_ptr<TMainThreadCall> pending;
  {
    std::lock_guard guard(FStateLock);
    FStopRequested = true;
    FPaused = false;
    pending = FMainThreadCall;
  }
  FStateChanged.notify_all();
  // Whoever stops the task may be the main thread, about to wait for this worker.
  if (pending)
    pending->Cancel();
}

void TTaskRunner::Pause() {
  std::lock_guard guard(FStateLock);
  if (FThreadActive)
    FPaused = true;
}

void TTaskRunner::Resume() {
  {
    std::lock_guard guard(FStateLock);
    FPaused = false;
  }
  FStateChanged.notify_all();
}

bool TTaskRunner::CheckStop() {
  std::unique_lock guard(FStateLock);
  FStateChanged.wait(guard, [this] { return !FPaused || FStopRequested; });
  return FStopRequested;
}

bool TTaskRunner::StopRequested() const {
  std::lock_guard guard(FStateLock);
  return FStopRequested;
}

bool TTaskRunner::StopAndWait(std::chrono::milliseconds timeout) {
  RequestStop();
  // The stop request ends the worker after its current packet. A worker that does not end in time
  // keeps its thread and task: whoever gave up on it must not free them.
  if (FThread && !FThread->WaitForEnd(timeout))
    return false;
  FThread.reset();
  return true;
}

bool TTaskRunner::CallOnMainThread(const std::function<void()> &fn) {
  if (platform::MainThread().IsMainThread()) {
    fn();
    return true;
  }
  auto call = std::make_shared<TMainThreadCall>();
  call->Fn = fn;
  {
    std::lock_guard guard(FStateLock);
    if (FStopRequested)
      return false;
    FMainThreadCall = call;
  }
  platform::MainThread().Post([call] { call->Run(); });
  const bool ran = call->Wait();
  {
    std::lock_guard guard(FStateLock);
    FMainThreadCall.reset();
  }
  if (call->Error)
    std::rethrow_exception(call->Error);
  return ran;
}
