#pragma once
// The frame-hook modules of a task, called in the order they were added. Modules are loaded once
// per process and stay loaded; each task's chain has its own contexts.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "engine/filter/FrameHookModule.h"

class TFrameHookChain {
public:
  using TLogger = std::function<void(const std::string &text)>;

  TFrameHookChain() = default;
  ~TFrameHookChain() { Release(); }
  TFrameHookChain(const TFrameHookChain &) = delete;
  TFrameHookChain &operator=(const TFrameHookChain &) = delete;

  // Loads words[0] (or takes it from the cache) and configures it with the words. 0 on success;
  // -2 without words or entry points, -1 when the module cannot be loaded, -22 when it refused
  // its arguments. Problems are logged.
  int Add(const std::vector<std::string> &words, const TLogger &log);
  // Every module on the picture, in order.
  void Process(AVFrame &picture, int64_t pts);
  // Releases every context; the chain becomes empty.
  void Release();
  bool Empty() const { return FEntries.empty(); }

private:
  struct TEntry {
    TFrameHookConfigure Configure = nullptr;
    TFrameHookProcess Process = nullptr;
    TFrameHookRelease Release = nullptr;
    void *Context = nullptr;
  };
  std::vector<TEntry> FEntries;
};
