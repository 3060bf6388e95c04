#include "engine/task/TaskList.h"

#include <utility>

int TFFmpegList::Add(std::unique_ptr<TFFmpeg> task) {
  task->TaskIndex = Count();
  FItems.push_back(std::move(task));
  return FItems.back()->TaskIndex;
}

std::unique_ptr<TFFmpeg> TFFmpegList::Extract(int index) {
  if (index < 0 || index >= Count())
    return nullptr;
  std::unique_ptr<TFFmpeg> task = std::move(FItems[static_cast<size_t>(index)]);
  FItems.erase(FItems.begin() + index);
  for (int i = index; i < Count(); ++i)
    FItems[static_cast<size_t>(i)]->TaskIndex = i;
  return task;
}

std::vector<std::unique_ptr<TFFmpeg>> TFFmpegList::ExtractAll() { return std::exchange(FItems, {}); }

TFFmpeg *TFFmpegList::Items(int index) const {
  return index >= 0 && index < Count() ? FItems[static_cast<size_t>(index)].get() : nullptr;
}

TFFmpeg *TFFmpegList::FindByThread(int threadId) const {
  for (const auto &task : FItems)
    if (task->ThreadId == threadId)
      return task.get();
  return nullptr;
}
