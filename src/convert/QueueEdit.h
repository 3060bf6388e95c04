#pragma once
// Commands on several queued files at once: moving a selection by one row, and taking files out of
// the queue so that the removal can be undone once.
#include <functional>
#include <memory>
#include <vector>

#include "convert/ConvertUnt.h"

// Moves the selected positions (any order) of a list of count entries one step up (-1) or down
// (+1) through exchange(a, b) calls; a selected block at an end stays there. Returns the new
// positions, ascending.
std::vector<int> MoveSelection(std::vector<int> selected, int count, int step,
                               const std::function<void(int, int)> &exchange);

// What the last Remove or Clear took out of the queue, kept to be put back once.
class TQueueUndo {
public:
  // Takes the records at the positions out of the list; earlier removals can no longer be undone.
  void Remove(TInputFileList &files, std::vector<int> positions);
  bool CanUndo() const { return !FRemoved.empty(); }
  // Puts the records back where they were, except those whose path was queued again meanwhile.
  // Returns the positions they now have, ascending.
  std::vector<int> Undo(TInputFileList &files);

private:
  // By ascending position as it was before the removal.
  std::vector<std::pair<int, std::unique_ptr<TInputFile>>> FRemoved;
};
