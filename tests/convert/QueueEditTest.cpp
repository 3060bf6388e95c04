#include <gtest/gtest.h>

#include <string>

#include "convert/QueueEdit.h"

namespace {

TInputFileList Queue(const std::string &names) {
  TInputFileList files;
  for (const char name : names) {
    auto file = std::make_unique<TInputFile>();
    file->FileName = std::string(1, name);
    files.Add(std::move(file));
  }
  return files;
}

std::string Names(const TInputFileList &files) {
  std::string names;
  for (int p = 0; p < files.Count(); ++p)
    names += files[p].FileName;
  return names;
}

std::vector<int> Move(TInputFileList &files, std::vector<int> selected, int step) {
  return MoveSelection(std::move(selected), files.Count(), step, [&](int a, int b) { files.Exchange(a, b); });
}

} // namespace

TEST(QueueEditTest, ASelectionMovesAsOneAndStopsAtTheEnds) {
  TInputFileList files = Queue("abcdef");
  EXPECT_EQ(Move(files, {3, 1, 2}, -1), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(Names(files), "bcdaef");
  // The block at the top stays; the one below it closes up.
  EXPECT_EQ(Move(files, {0, 1, 4}, -1), (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(Names(files), "bcdeaf");
  EXPECT_EQ(Move(files, {5, 2}, 1), (std::vector<int>{3, 5}));
  EXPECT_EQ(Names(files), "bcedaf");
  EXPECT_EQ(Move(files, {4, 5}, 1), (std::vector<int>{4, 5}));
  EXPECT_EQ(Names(files), "bcedaf");
}

TEST(QueueEditTest, RemoveAndClearAreUndoneOnceInPlace) {
  TInputFileList files = Queue("abcde");
  TQueueUndo undo;
  EXPECT_FALSE(undo.CanUndo());
  undo.Remove(files, {3, 0, 1});
  EXPECT_EQ(Names(files), "ce");
  ASSERT_TRUE(undo.CanUndo());
  EXPECT_EQ(undo.Undo(files), (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(Names(files), "abcde");
  EXPECT_FALSE(undo.CanUndo());
  EXPECT_TRUE(undo.Undo(files).empty());

  // Clear; one file is queued again meanwhile and is not put back twice.
  undo.Remove(files, {0, 1, 2, 3, 4});
  EXPECT_EQ(files.Count(), 0);
  files.Add(std::make_unique<TInputFile>());
  files[0].FileName = "c";
  EXPECT_EQ(undo.Undo(files), (std::vector<int>{0, 1, 3, 4}));
  EXPECT_EQ(Names(files), "abcde");

  // Only the last removal can be undone.
  undo.Remove(files, {0});
  undo.Remove(files, {0});
  undo.Undo(files);
  EXPECT_EQ(Names(files), "bcde");
}
