#include "player/PlayThread.h"

#include <chrono>

#include "platform/MainThread.h"
#include "player/FFPlay.h"
#include "player/LibSDL.h"

TPlayThread::TPlayThread(TCustomPlayer &player) : FPlayer(player), FThread([this] { Execute(); }) {}

TPlayThread::~TPlayThread() { WaitFor(); }

void TPlayThread::Execute() {
  FPlayer.DoState(psPlay);
  FPlayer.EventLoop();
  FPlayer.Probe().AttachContext(nullptr);
  FPlayer.DoState(psStop);
  SDLLib.SDL_TLSCleanup(); // SDL's per-thread data of a thread it did not start
  FFinished = true;
}

void TPlayThread::WaitFor() {
  if (!FThread.joinable())
    return;
  const bool onMainThread = platform::MainThread().IsMainThread();
  while (!FFinished) {
    if (onMainThread)
      FPlayer.MainThreadCalls().Serve();
    std::this_thread::sleep_for(std::chrono::milliseconds(onMainThread ? 1 : 10));
  }
  FThread.join();
}
