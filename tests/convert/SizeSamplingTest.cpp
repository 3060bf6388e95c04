// Size samples encoded in the background, and the estimates that keep their results.
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "ConvertFixture.h"
#include "convert/SizeSampling.h"

namespace {

namespace fs = std::filesystem;

using TSizeSamplingTest = TConvertTest;

// Files this process's samples left in the temporary folder.
int LeftSamples() {
  const std::string prefix = "tavrelle-sample-" + std::to_string(getpid()) + "-";
  int left = 0;
  for (const fs::directory_entry &entry : fs::directory_iterator(fs::temp_directory_path()))
    left += entry.path().filename().string().starts_with(prefix) ? 1 : 0;
  return left;
}

} // namespace

// The background measures what is still wanted, one job at a time: a job given up while it waits
// is never encoded, a hold keeps every job waiting, the rates are those the same samples give on
// the caller's thread, and going away stops the job in hand and leaves no sample behind. A kept
// result holds until the file, the trim or the settings change.
TEST_F(TSizeSamplingTest, TheBackgroundMeasuresTheWantedJobsAndTheEstimatesKeepThem) {
  ASSERT_EQ(Driver.AddFile(Media("scene.mp4")), 0);
  const std::string fitCopy = Copy("fit.mkv", "fit.mkv");
  ASSERT_EQ(Driver.AddFile(fitCopy), 1);
  std::optional<TSampleJob> scene, fit;
  const int64_t guess = Driver.EstimatedBytes(1, VideoMpg, &fit);
  Driver.EstimatedBytes(0, VideoMpg, &scene);
  ASSERT_TRUE(scene && fit);
  std::mutex lock;
  std::condition_variable told;
  int ready = 0; // guarded by lock
  {
    TSizeSampling sampling([&] {
      std::lock_guard guard(lock);
      ++ready;
      told.notify_all();
    });
    sampling.Hold(true);
    sampling.Want({*scene, *fit});
    sampling.Want({*fit});
    sampling.Hold(false);
    std::unique_lock guard(lock);
    ASSERT_TRUE(told.wait_for(guard, std::chrono::minutes(2), [&] { return ready > 0; }));
    guard.unlock();
    const std::vector<TSizeSampling::TResult> results = sampling.Take();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].Key, fit->Key);
    ASSERT_TRUE(results[0].Rates && results[0].Rates->VideoBytesPerSecond);
    EXPECT_FALSE(results[0].Rates->AudioBytesPerSecond) << "a constant-rate sound needs no sample";
    fit->Threads = 1;
    const std::optional<TSampledRates> direct = TSizeSampler().Measure(*fit);
    ASSERT_TRUE(direct && direct->VideoBytesPerSecond);
    EXPECT_DOUBLE_EQ(*direct->VideoBytesPerSecond, *results[0].Rates->VideoBytesPerSecond);
    Driver.Samples[fit->Key] = *results[0].Rates;
    sampling.Want({*scene});
  }
  EXPECT_EQ(LeftSamples(), 0);

  std::optional<TSampleJob> again;
  EXPECT_NE(Driver.EstimatedBytes(1, VideoMpg, &again), guess);
  EXPECT_FALSE(again);
  Driver.Files[1].TrimStart = 500;
  Driver.Files[1].TrimDuration = 1000;
  Driver.EstimatedBytes(1, VideoMpg, &again);
  EXPECT_TRUE(again) << "another trim";
  Driver.Files[1].TrimStart = -1;
  Driver.Files[1].TrimDuration = Driver.Files[1].DurationMs;
  fs::last_write_time(fitCopy, fs::last_write_time(fitCopy) + std::chrono::seconds(5));
  Driver.EstimatedBytes(1, VideoMpg, &again);
  EXPECT_TRUE(again) << "a file changed since";
  fs::last_write_time(fitCopy, fs::last_write_time(fitCopy) - std::chrono::seconds(5));
  Driver.EstimatedBytes(1, VideoMpg, &again);
  ASSERT_FALSE(again);
  Profiles.Formats[VideoMpg].ResolutionValue = 1;
  Driver.EstimatedBytes(1, VideoMpg, &again);
  EXPECT_TRUE(again) << "another picture size";
}
