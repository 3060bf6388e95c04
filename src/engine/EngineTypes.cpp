#include "engine/EngineTypes.h"

TLogLevel LogLevelOf(int level) {
  if (level < 0)
    return llQuiet;
  if (level >= 3)
    return llAll;
  return static_cast<TLogLevel>(level + 1);
}

std::mutex &PreviewLock() {
  static std::mutex lock;
  return lock;
}
