#include "convert/SizeSampling.h"

#include <algorithm>
#include <sys/resource.h>
#include <unistd.h>
#include <unordered_set>
#include <utility>

namespace {
// Below the user's programs and the window's own thread.
constexpr int WorkerNiceness = 10;
} // namespace

TSizeSampling::TSizeSampling(std::function<void()> ready)
    : FReady(std::move(ready)), FWorker([this] { Run(); }) {}

TSizeSampling::~TSizeSampling() {
  {
    std::lock_guard guard(FLock);
    FQuit = true;
    FSampler.Stop();
  }
  FWake.notify_all();
  FWorker.join();
}

bool TSizeSampling::Known(const std::string &key) const {
  return (FInHand && !FInHandDropped && FInHand->Key == key) ||
         std::any_of(FWaiting.begin(), FWaiting.end(), [&](const TSampleJob &job) { return job.Key == key; });
}

void TSizeSampling::Want(std::vector<TSampleJob> jobs) {
  {
    std::lock_guard guard(FLock);
    // A long queue asks again at each change of the selection: by set, not job by job.
    std::unordered_set<std::string> wanted, known;
    for (const TSampleJob &job : jobs)
      wanted.insert(job.Key);
    std::erase_if(FWaiting, [&](const TSampleJob &job) { return !wanted.contains(job.Key); });
    if (FInHand && !wanted.contains(FInHand->Key)) {
      FInHandDropped = true;
      FSampler.Stop();
    }
    for (const TSampleJob &job : FWaiting)
      known.insert(job.Key);
    if (FInHand && !FInHandDropped)
      known.insert(FInHand->Key);
    for (TSampleJob &job : jobs)
      if (known.insert(job.Key).second)
        FWaiting.push_back(std::move(job));
  }
  FWake.notify_all();
}

void TSizeSampling::Add(TSampleJob job) {
  {
    std::lock_guard guard(FLock);
    if (Known(job.Key))
      return;
    FWaiting.push_back(std::move(job));
  }
  FWake.notify_all();
}

void TSizeSampling::Hold(bool held) {
  {
    std::lock_guard guard(FLock);
    FHeld = held;
    if (held && FInHand)
      FSampler.Stop();
  }
  FWake.notify_all();
}

std::vector<TSizeSampling::TResult> TSizeSampling::Take() {
  std::lock_guard guard(FLock);
  return std::exchange(FResults, {});
}

void TSizeSampling::Run() {
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), WorkerNiceness);
  for (;;) {
    TSampleJob job;
    {
      std::unique_lock guard(FLock);
      FWake.wait(guard, [this] { return FQuit || (!FHeld && !FWaiting.empty()); });
      if (FQuit)
        return;
      job = std::move(FWaiting.front());
      FWaiting.pop_front();
      FInHand = job;
      FInHandDropped = false;
      FSampler.Rearm();
    }
    job.Threads = 1;
    std::optional<TSampledRates> rates = FSampler.Measure(job);
    bool ready = false;
    {
      std::lock_guard guard(FLock);
      if (!FSampler.Stopped()) {
        FResults.push_back({job.Key, std::move(rates)});
        ready = true;
      } else if (!FInHandDropped && !FQuit) {
        // Stopped by a hold: it is still wanted once the run is over.
        FWaiting.push_front(std::move(job));
      }
      FInHand.reset();
    }
    if (ready && FReady)
      FReady();
  }
}
