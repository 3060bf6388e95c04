#pragma once
// The threads of engine tasks. A thread is created waiting and runs its body once resumed, at
// the priority it was given.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/EngineTypes.h"

class TCustomFFmpeg;

class TEngineThread {
public:
  using TBody = void (TCustomFFmpeg::*)();
  TEngineThread(TCustomFFmpeg &task, TConvertPriority priority, TBody body);
  ~TEngineThread();
  TEngineThread(const TEngineThread &) = delete;
  TEngineThread &operator=(const TEngineThread &) = delete;

  // Lets the body run; before this the thread only waits.
  void Resume();
  // Lets the body run if it has not, and waits at most timeout for the thread to end; true when it
  // has (the destructor then joins at once).
  bool WaitForEnd(std::chrono::milliseconds timeout);
  // The kernel's id of the thread.
  int ThreadId() const { return FThreadId; }
  bool IsCurrent() const { return std::this_thread::get_id() == FThread.get_id(); }

private:
  // Whether the thread has ended; shared with the thread, which may outlive this object.
  struct TEnd {
    std::mutex Lock;
    std::condition_variable Changed;
    bool Done = false; // guarded by Lock
  };
  void Main(const std::shared_ptr<TEnd> &end);

  TCustomFFmpeg &FTask;
  TConvertPriority FPriority;
  TBody FBody;
  std::mutex FLock;
  std::condition_variable FWake;
  bool FResumed = false;   // guarded by FLock
  bool FCancelled = false; // guarded by FLock: dropped before it was resumed
  bool FIdKnown = false;   // guarded by FLock
  int FThreadId = 0;       // written once before Launch returns
  std::shared_ptr<TEnd> FEnd = std::make_shared<TEnd>();
  std::thread FThread;
};

// Runs a task's transcode.
class TFFmpegThread : public TEngineThread {
public:
  TFFmpegThread(TCustomFFmpeg &task, TConvertPriority priority);
};

// Ends a task that was stopped before it ran, so that its termination is reported like any other.
class TDoTerminateThread : public TEngineThread {
public:
  explicit TDoTerminateThread(TCustomFFmpeg &task);
};
