#include "player/PlayerCalls.h"

#include "platform/MainThread.h"

TPlayerCalls::TPlayerCalls() : FState(std::make_shared<TState>()) {}

void TPlayerCalls::Run(const std::function<void()> &fn) {
  platform::TMainThreadDispatch &mainThread = platform::MainThread();
  if (mainThread.IsMainThread()) {
    fn();
    return;
  }
  uint64_t ticket;
  {
    std::lock_guard guard(FState->Lock);
    FState->Queue.push_back(fn);
    ticket = ++FState->Queued;
  }
  mainThread.Post([weak = std::weak_ptr<TState>(FState)] {
    if (const auto state = weak.lock())
      Serve(*state);
  });
  std::unique_lock guard(FState->Lock);
  FState->Served.wait(guard, [&] { return FState->Done >= ticket; });
}

void TPlayerCalls::Serve() { Serve(*FState); }

void TPlayerCalls::Serve(TState &state) {
  for (;;) {
    std::function<void()> fn;
    {
      std::lock_guard guard(state.Lock);
      if (state.Queue.empty())
        return;
      fn = std::move(state.Queue.front());
      state.Queue.pop_front();
    }
    // A call that throws is still served: its caller must not wait for ever.
    try {
      fn();
    } catch (...) {
    }
    {
      std::lock_guard guard(state.Lock);
      ++state.Done;
    }
    state.Served.notify_all();
  }
}
