#include "convert/QueueEdit.h"

#include <algorithm>

std::vector<int> MoveSelection(std::vector<int> selected, int count, int step,
                               const std::function<void(int, int)> &exchange) {
  std::sort(selected.begin(), selected.end());
  selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
  // The entry nearest the end moves first, so each one meets an unselected neighbour or the one
  // before it that could not move.
  if (step > 0)
    std::reverse(selected.begin(), selected.end());
  int free = step < 0 ? 0 : count - 1; // the farthest place the next entry may take
  for (int &p : selected) {
    if (p < 0 || p >= count)
      continue;
    if (p != free) {
      exchange(p, p + step);
      p += step;
    }
    free = p - step;
  }
  std::sort(selected.begin(), selected.end());
  return selected;
}

void TQueueUndo::Remove(TInputFileList &files, std::vector<int> positions) {
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  FRemoved.clear();
  // From the last, so the positions before it stay as they were.
  for (auto p = positions.rbegin(); p != positions.rend(); ++p)
    FRemoved.emplace_back(*p, files.Take(*p));
  std::reverse(FRemoved.begin(), FRemoved.end());
}

std::vector<int> TQueueUndo::Undo(TInputFileList &files) {
  std::vector<int> restored;
  for (auto &[position, file] : FRemoved) {
    bool queued = false;
    for (int p = 0; p < files.Count() && !queued; ++p)
      queued = files[p].FileName == file->FileName;
    if (queued)
      continue;
    // Ascending, so each earlier one is back in place before a later one goes in.
    const int at = std::min(position, files.Count());
    files.Insert(at, std::move(file));
    restored.push_back(at);
  }
  FRemoved.clear();
  return restored;
}
