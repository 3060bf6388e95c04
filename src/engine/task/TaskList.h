#pragma once
// The component's tasks in order; a task's TaskIndex is its position, renumbered when one leaves.
#include <memory>
#include <vector>

#include "engine/FFmpeg.h"

class TFFmpegList {
public:
  int Add(std::unique_ptr<TFFmpeg> task);
  // Takes the task out and renumbers the tasks behind it; the caller frees it.
  std::unique_ptr<TFFmpeg> Extract(int index);
  std::vector<std::unique_ptr<TFFmpeg>> ExtractAll();
  int Count() const { return static_cast<int>(FItems.size()); }
  TFFmpeg *Items(int index) const;
  TFFmpeg *FindByThread(int threadId) const;

private:
  std::vector<std::unique_ptr<TFFmpeg>> FItems;
};
