#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include "ConvertFixture.h"
#include "convert/OutputClaim.h"

namespace fs = std::filesystem;

namespace {

std::set<std::string> Entries(const std::string &folder) {
  std::set<std::string> names;
  for (const auto &entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

} // namespace

TEST(OutputClaimTest, AClaimEndsAsAFinishedFileOrAsNothing) {
  TTempFolder temp;
  const std::string final = temp.File("clip.mp4");
  EXPECT_EQ(TemporaryOutputName(final), temp.File(".clip.mp4.part"));
  std::string error;
  {
    TOutputClaim claim;
    ASSERT_TRUE(claim.Claim(final, error)) << error;
    EXPECT_EQ(Entries(temp.Folder()), std::set<std::string>{".clip.mp4.part"});
    EXPECT_TRUE(OutputNameClaimed(final));
    TOutputClaim second;
    EXPECT_FALSE(second.Claim(final, error));
    std::ofstream(claim.TemporaryName()) << "data";
    ASSERT_TRUE(claim.Finish(true, error)) << error;
    EXPECT_EQ(temp.Read("clip.mp4"), "data");
  }
  EXPECT_EQ(Entries(temp.Folder()), std::set<std::string>{"clip.mp4"});

  // Nothing written, a failure, or a claim dropped unfinished: nothing stays.
  const std::string other = temp.File("other.mp4");
  for (int end = 0; end < 3; ++end) {
    TOutputClaim claim;
    ASSERT_TRUE(claim.Claim(other, error));
    if (end > 0)
      std::ofstream(claim.TemporaryName()) << "half";
    if (end < 2) {
      EXPECT_TRUE(claim.Finish(end == 0, error));
    }
  }
  EXPECT_EQ(Entries(temp.Folder()), std::set<std::string>{"clip.mp4"});

  // What a killed program left: an unlocked temporary file, removed by whoever meets it.
  temp.Write(".other.mp4.part", "half");
  EXPECT_FALSE(OutputNameClaimed(other));
  EXPECT_EQ(Entries(temp.Folder()), std::set<std::string>{"clip.mp4"});
}

TEST_F(TConvertTest, OutputNamesCountLiveClaimsAndFreeAbandonedOnes) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  TOutputClaim other; // another program converting into the same folder
  std::string error;
  ASSERT_TRUE(other.Claim(Out() + "clip25.mp3", error));
  ASSERT_TRUE(Driver.BuildRun(AudioMp3, Out()));
  EXPECT_EQ(Driver.Files[0].OutputOptions.FileName, Out() + "clip25_1.mp3");
  EXPECT_EQ(Driver.Files[0].OutputOptions.FileFormat, "mp3");
  EXPECT_EQ(Entries(Out()), (std::set<std::string>{".clip25.mp3.part", ".clip25_1.mp3.part"}));
  Driver.EndRun();
  EXPECT_EQ(Entries(Out()), std::set<std::string>{".clip25.mp3.part"});

  ASSERT_TRUE(other.Finish(false, error));
  std::ofstream(Out() + ".clip25.mp3.part") << "left by a killed run";
  ASSERT_TRUE(Driver.BuildRun(AudioMp3, Out()));
  EXPECT_EQ(Driver.Files[0].OutputOptions.FileName, Out() + "clip25.mp3");
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Driver.Files[0].Status, csSuccess);
  EXPECT_EQ(Entries(Out()), std::set<std::string>{"clip25.mp3"});
  EXPECT_GT(fs::file_size(Out() + "clip25.mp3"), 1000u);
}

// While a file converts, only temporary names are on disk: a kill leaves no final name. A cancel
// keeps the started file's partial output under its final name, and nothing of the files that never
// started, not even an empty file.
TEST_F(TConvertTest, ACancelledRunKeepsOnlyThePartialOutputOfTheStartedFile) {
  ASSERT_EQ(Driver.AddFile(Media("long.avi")), 0);
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 1);
  ASSERT_EQ(Driver.AddFile(Copy("clip15.mkv", "Ünïcode clip 日本.mkv")), 2);
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out()));
  Driver.Engine.SetProgressInterval(100);
  std::mutex lock;
  std::condition_variable progressed;
  bool seen = false;
  std::set<std::string> whileRunning;
  Driver.Engine.OnProgress = [&](int index, int, int, int, float, float, int64_t, int) {
    std::lock_guard guard(lock);
    if (index == 0 && !seen) {
      whileRunning = Entries(Out());
      seen = true;
      progressed.notify_all();
    }
  };
  std::thread stopper([&] {
    std::unique_lock guard(lock);
    progressed.wait_for(guard, std::chrono::minutes(1), [&] { return seen; });
    guard.unlock();
    Driver.Engine.StopTasks();
  });
  EXPECT_TRUE(RunToEnd());
  stopper.join();
  Driver.Engine.OnProgress = nullptr;
  EXPECT_EQ(whileRunning, (std::set<std::string>{".long.mpg.part", ".clip25.mpg.part", ".Ünïcode clip 日本.mpg.part"}));
  for (int p = 0; p < 3; ++p)
    EXPECT_EQ(Driver.Files[p].Status, csCanceled) << p;
  EXPECT_EQ(TTvlConvert::PartialOutput(Driver.Files[0]), Out() + "long.mpg");
  EXPECT_EQ(TTvlConvert::PartialOutput(Driver.Files[1]), "");
  // As the completion message shows, before the tasks are dropped: no empty file of those that never
  // started.
  EXPECT_EQ(Entries(Out()), std::set<std::string>{"long.mpg"});
  Driver.EndRun();
  EXPECT_EQ(Entries(Out()), std::set<std::string>{"long.mpg"});
}
