#include "platform/AtomicWrite.h"

#include "../TempFolder.h"

#include <filesystem>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

TEST(AtomicWrite, ReplacesTheFileWholeKeepingItsPermissionsOrLeavesItAlone) {
  TTempFolder dir;
  const std::string path = dir.Write("Queue.ini", "old");
  ::chmod(path.c_str(), 0600);
  std::string error;
  ASSERT_TRUE(platform::ReplaceFileWhole(path, "new content", error)) << error;
  EXPECT_EQ(dir.Read("Queue.ini"), "new content");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  // Only the file itself: no temporary file stays beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);

  // A folder that is in the way: the write fails, says why, and changes nothing.
  fs::create_directory(dir.File("taken"));
  EXPECT_FALSE(platform::ReplaceFileWhole(dir.File("taken"), "x", error));
  EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
  EXPECT_FALSE(platform::ReplaceFileWhole(dir.File("no/such/folder"), "x", error));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}
