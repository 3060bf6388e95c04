#include "player/PlayThread.h"

#include <chrono>

#include "platform/MainThread.h"
#include "player/FFPlay.h"

TPlayThread::TPlayThread(TCustomPlayer &player) : FPlayer(player), FThread([this] { Execute(); }) {}

TPlayThread::~TPlayThread() { WaitFor(); }

void TPlayThread::Execute() {
  FPlayer.DoState(psPlay);
  FPlayer.EventLoop();
  FPlayer.Probe().AttachContext(nullptr);
  FPlayer.DoState(psStop);
  FFinished = true;
}

void TPlayThread::WaitFor() {
  if (!FThread.joinable())
    return;
  platform::TMainThreadDispatch &mainThread = platform::MainThread();
  if (mainThread.IsMainThread())
    while (!FFinished) {
      mainThread.ProcessPending();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  FThread.join();
}
