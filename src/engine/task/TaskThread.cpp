#include "engine/task/TaskThread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include "engine/FFmpeg.h"

namespace {

// Lowers the scheduling of the calling thread; normal leaves it as it is.
void ApplyPriority(TConvertPriority priority) {
  if (priority == tpIdle) {
    sched_param param{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
    return;
  }
  const int nice = priority == tpLowest ? 10 : priority == tpLower ? 5 : 0;
  if (nice != 0)
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice);
}

} // namespace

TEngineThread::TEngineThread(TCustomFFmpeg &task, TConvertPriority priority, TBody body)
    : FTask(task), FPriority(priority), FBody(body) {
  FThread = std::thread([this, end = FEnd] { Main(end); });
  std::unique_lock guard(FLock);
  FWake.wait(guard, [this] { return FIdKnown; });
}

TEngineThread::~TEngineThread() {
  if (!FThread.joinable())
    return;
  {
    // A thread dropped before it was resumed ends without running its body.
    std::lock_guard guard(FLock);
    FCancelled = !FResumed;
    FResumed = true;
  }
  FWake.notify_all();
  if (IsCurrent())
    FThread.detach(); // the task is being destroyed by its own thread: nothing of it is touched after this
  else
    FThread.join();
}

void TEngineThread::Resume() {
  {
    std::lock_guard guard(FLock);
    FResumed = true;
  }
  FWake.notify_all();
}

bool TEngineThread::WaitForEnd(std::chrono::milliseconds timeout) {
  if (IsCurrent())
    return false;
  {
    std::lock_guard guard(FLock);
    if (!FResumed) {
      FCancelled = true;
      FResumed = true;
    }
  }
  FWake.notify_all();
  std::unique_lock guard(FEnd->Lock);
  // A timeout too far ahead to add to the clock means waiting for as long as it takes.
  if (timeout >= std::chrono::hours(24 * 365)) {
    FEnd->Changed.wait(guard, [this] { return FEnd->Done; });
    return true;
  }
  return FEnd->Changed.wait_for(guard, timeout, [this] { return FEnd->Done; });
}

void TEngineThread::Main(const std::shared_ptr<TEnd> &end) {
  // Through the shared state only: the body may have freed this object (a task freed by its own
  // thread, or one given up on).
  const auto finish = [end] {
    std::lock_guard guard(end->Lock);
    end->Done = true;
    end->Changed.notify_all();
  };
  bool cancelled;
  {
    std::unique_lock guard(FLock);
    FThreadId = static_cast<int>(gettid());
    FIdKnown = true;
    FWake.notify_all();
    FWake.wait(guard, [this] { return FResumed; });
    cancelled = FCancelled;
  }
  if (!cancelled) {
    ApplyPriority(FPriority);
    try {
      (FTask.*FBody)();
    } catch (...) {
      // Whatever escapes a task body ends the thread only; the task has reported its end already.
    }
  }
  finish();
}

TFFmpegThread::TFFmpegThread(TCustomFFmpeg &task, TConvertPriority priority)
    : TEngineThread(task, priority, &TCustomFFmpeg::Run) {}

TDoTerminateThread::TDoTerminateThread(TCustomFFmpeg &task) : TEngineThread(task, tpIdle, &TCustomFFmpeg::EndTask) {}
