#include "player/VideoHost.h"

void TVideoHost::NotifyResized(int width, int height) {
  std::lock_guard guard(FLock);
  if (FListener)
    FListener(width, height);
}

void TVideoHost::SetResizeListener(std::function<void(int width, int height)> listener) {
  std::lock_guard guard(FLock);
  FListener = std::move(listener);
}
