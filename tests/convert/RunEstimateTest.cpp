#include "convert/RunEstimate.h"

#include <gtest/gtest.h>

TEST(RunEstimate, RemainingTimeAndSpeedFollowTheShareConvertedSoFar) {
  TRunEstimate run;
  run.Start(1000, 4);
  EXPECT_EQ(run.RemainingMs(1000), -1);
  EXPECT_EQ(run.Text(1000), "Elapsed: 00:00:00   Remaining: --:--   Speed: --");

  run.Progress(3000, 0, 0, 8000); // started, nothing converted yet: still unknown
  EXPECT_EQ(run.RemainingMs(3000), -1);

  run.Progress(5000, 0, 8000, 8000); // the first of four files in 4 s
  EXPECT_EQ(run.ElapsedMs(5000), 4000);
  EXPECT_EQ(run.RemainingMs(5000), 12000);
  EXPECT_DOUBLE_EQ(run.Speed(5000), 2.0);

  run.Progress(7000, 1, 2000, 8000); // the next file: its media adds to the first's
  EXPECT_DOUBLE_EQ(run.Speed(7000), 10000.0 / 6000.0);
  run.Progress(7000, 0, 9999, 8000); // a late report of the first file changes nothing
  EXPECT_DOUBLE_EQ(run.Speed(7000), 10000.0 / 6000.0);
  EXPECT_EQ(run.Text(7000), "Elapsed: 00:00:06   Remaining: 00:00:14   Speed: 1.7x");

  run.Progress(8000, 1, 20000, 8000); // more than expected counts as the whole file
  EXPECT_EQ(run.RemainingMs(8000), 7000);
}

TEST(RunEstimate, PausedTimeCountsForNothing) {
  TRunEstimate run;
  run.Start(0, 1);
  run.Progress(2000, 0, 1000, 4000);
  run.Pause(2000);
  run.Pause(30000); // a second pause does not restart the paused time
  EXPECT_EQ(run.ElapsedMs(50000), 2000);
  EXPECT_EQ(run.RemainingMs(50000), 6000);
  run.Resume(62000);
  run.Resume(70000);
  EXPECT_EQ(run.ElapsedMs(63000), 3000);
  EXPECT_DOUBLE_EQ(run.Speed(63000), 1000.0 / 3000.0);

  run.Start(100, 0); // a run without tasks never knows its remaining time
  run.Progress(200, 0, 10, 10);
  EXPECT_EQ(run.RemainingMs(300), -1);
}
