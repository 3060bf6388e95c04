#pragma once
// Size samples in the background: one job at a time on a worker thread of its own, with one codec
// thread and a low priority, so the user's own work keeps the machine. Jobs no longer wanted are
// dropped, the one in hand stopped; results are taken on the caller's thread.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "convert/SizeSampler.h"

class TSizeSampling {
public:
  // ready is called on the worker thread each time a result can be taken.
  explicit TSizeSampling(std::function<void()> ready);
  // Stops the job in hand and waits for the worker.
  ~TSizeSampling();
  TSizeSampling(const TSizeSampling &) = delete;
  TSizeSampling &operator=(const TSizeSampling &) = delete;

  // The jobs wanted now, in order: waiting ones not among them are dropped, and so is the one in
  // hand (stopped); the others wait their turn.
  void Want(std::vector<TSampleJob> jobs);
  // One more wanted job, after the others.
  void Add(TSampleJob job);
  // While held (a conversion runs) nothing is sampled; the job in hand stops and waits again.
  void Hold(bool held);

  // A job's measured rates; none when its samples failed (the guess stays).
  struct TResult {
    std::string Key;
    std::optional<TSampledRates> Rates;
  };
  // The results since the last call.
  std::vector<TResult> Take();

private:
  void Run();
  // Under FLock: whether the key is waiting or in hand.
  bool Known(const std::string &key) const;

  const std::function<void()> FReady;
  TSizeSampler FSampler;
  mutable std::mutex FLock; // guards every field below but FWorker
  std::condition_variable FWake;
  std::deque<TSampleJob> FWaiting;
  std::optional<TSampleJob> FInHand;
  bool FInHandDropped = false;
  bool FHeld = false;
  bool FQuit = false;
  std::vector<TResult> FResults;
  std::thread FWorker; // last: starts once everything above exists
};
