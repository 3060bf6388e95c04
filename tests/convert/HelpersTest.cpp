#include <algorithm>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "convert/ConvertHelpers.h"

#include "../TempFolder.h"

TEST(FormatSecondsTest, SplitsHoursMinutesSecondsWithoutCappingHours) {
  EXPECT_EQ(FormatSeconds(0), "00:00:00");
  EXPECT_EQ(FormatSeconds(3661), "01:01:01");
  EXPECT_EQ(FormatSeconds(59 * 60 + 59), "00:59:59");
  EXPECT_EQ(FormatSeconds(100 * 3600 + 5), "100:00:05");
  EXPECT_EQ(FormatSeconds(-1), "--:--:--") << "a length the file does not tell";
}

TEST(FindVideoFilesTest, CollectsVideosDepthFirstAndSkipsAudioAndHiddenFolders) {
  TTempFolder temp;
  namespace fs = std::filesystem;
  fs::create_directories(temp.Path() / "sub" / "deeper");
  fs::create_directories(temp.Path() / ".clip.avi"); // hidden: tried as a file, never entered
  temp.Write("top.AVI", "x");
  temp.Write("song.mp3", "x");
  temp.Write("notes.txt", "x");
  temp.Write("noextension", "x");
  temp.Write("sub/b.mkv", "x");
  temp.Write("sub/c.mp3", "x");
  temp.Write("sub/deeper/d.mp4", "x");
  temp.Write("own.webm", "x"); // what the program writes itself
  temp.Write("camera.MTS", "x");
  temp.Write("voice.opus", "x");
  temp.Write(".clip.avi/inside.avi", "x");
  fs::create_symlink(temp.Path() / "sub", temp.Path() / "link");

  std::vector<std::string> found{"kept"};
  FindVideoFiles(temp.Folder(), found);

  ASSERT_EQ(found.front(), "kept"); // appends
  const std::set<std::string> got(found.begin() + 1, found.end());
  const std::set<std::string> want{temp.File("top.AVI"),          temp.File("sub/b.mkv"),
                                   temp.File("sub/deeper/d.mp4"),   temp.File("own.webm"),
                                   temp.File("camera.MTS"), temp.File(".clip.avi")};
  EXPECT_EQ(got, want);
  // Depth first: the sub-folder's two files follow each other.
  const auto b = std::find(found.begin(), found.end(), temp.File("sub/b.mkv"));
  const auto d = std::find(found.begin(), found.end(), temp.File("sub/deeper/d.mp4"));
  EXPECT_EQ(std::abs(static_cast<int>(b - d)), 1);
}

TEST(NaturalNameLessTest, OrdersByValueOfDigitRunsIgnoringCaseThenByBytes) {
  std::vector<std::string> names{"clip10.avi", "Clip2.avi", "clip1.avi",  "clip02.avi", "clip2.avi",
                                 "b_x",        "B2",        "a",          "clip",       "clip1a.avi",
                                 "v99999999999999999999999", "v100000000000000000000000"};
  std::sort(names.begin(), names.end(), NaturalNameLess);
  const std::vector<std::string> want{"a", "B2", "b_x", "clip", "clip1.avi", "clip1a.avi", "Clip2.avi",
                                      "clip02.avi", "clip2.avi", "clip10.avi", "v99999999999999999999999",
                                      "v100000000000000000000000"};
  EXPECT_EQ(names, want);
  // A strict order: equal names are not less, different ones always are one way round.
  EXPECT_FALSE(NaturalNameLess("clip1", "clip1"));
  EXPECT_NE(NaturalNameLess("clip01", "clip1"), NaturalNameLess("clip1", "clip01"));
}

TEST(FindVideoFilesTest, VisitsEachFolderInNameOrderAndSubFoldersWhereTheyFall) {
  TTempFolder temp;
  std::filesystem::create_directory(temp.Path() / "a");
  for (const char *name : {"clip10.avi", "Clip9.mp4", "clip100.mkv", "a/clip2.avi", "a/clip1.avi", "b.avi"})
    temp.Write(name, "x");
  std::vector<std::string> found;
  FindVideoFiles(temp.Folder(), found);
  const std::vector<std::string> want{temp.File("a/clip1.avi"), temp.File("a/clip2.avi"), temp.File("b.avi"),
                                      temp.File("Clip9.mp4"), temp.File("clip10.avi"), temp.File("clip100.mkv")};
  EXPECT_EQ(found, want);
}

TEST(FindVideoFilesTest, AStoppedSearchEndsBeforeTheNextFolder) {
  TTempFolder temp;
  for (const char *name : {"a/one.avi", "a/z/two.avi", "c/three.avi", "four.avi"}) {
    std::filesystem::create_directories((temp.Path() / name).parent_path());
    temp.Write(name, "x");
  }
  std::vector<std::string> found;
  int folders = 0;
  // Stopped on the way into a/z/: nothing after that point is listed.
  FindVideoFiles(temp.Folder(), found, [&] { return ++folders > 2; });
  EXPECT_EQ(found, std::vector<std::string>{temp.File("a/one.avi")});
}

TEST(FindVideoFilesTest, MissingFolderAddsNothing) {
  std::vector<std::string> found;
  FindVideoFiles("/nonexistent-tavrelle-folder/", found);
  EXPECT_TRUE(found.empty());
}
