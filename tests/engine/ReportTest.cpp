// The progress report: its figures, its text line and the summary.
#include <gtest/gtest.h>

#include "engine/feedback/ProgressReport.h"

namespace {

struct TReportRun {
  std::vector<TProgressFigures> Figures;
  std::vector<std::string> Lines;
  void Run(TProgressReport &report, const TReportInput &input, bool isLast, bool receiver) {
    TProgressReport::TProgress progress;
    if (receiver)
      progress = [this](const TProgressFigures &f) { Figures.push_back(f); };
    report.Report(input, isLast, progress, [this](int, const std::string &text) { Lines.push_back(text); });
  }
};

TReportInput Input(std::vector<TReportStream> streams) {
  TReportInput input;
  input.Streams = std::move(streams);
  input.Size = 102400;
  input.ElapsedUs = 500000;
  input.AudioBytes = 100000;
  input.TotalDurationMs = 2000;
  return input;
}

TEST(ReportTest, AudioOnlyHasNoFrameFigures) {
  TProgressReport report;
  TReportRun run;
  run.Run(report, Input({TReportStream{.Time = 2.0}}), false, true);
  ASSERT_EQ(run.Figures.size(), 1u);
  const TProgressFigures &f = run.Figures[0];
  EXPECT_EQ(f.FrameNumber, -1);
  EXPECT_EQ(f.Fps, -1);
  EXPECT_FLOAT_EQ(f.Quality, -1.0f);
  EXPECT_EQ(f.CurrentDuration, 2000);
  EXPECT_FLOAT_EQ(f.BitRate, 102400 * 8 / 2.0f / 1000);
  EXPECT_EQ(f.CurrentSize, 102400);
  EXPECT_EQ(f.TotalOutputDuration, 2000);
  EXPECT_TRUE(run.Lines.empty()); // a receiver takes the figures instead of the log
}

TEST(ReportTest, VideoReportsStartWithTheFirstFrame) {
  TProgressReport report;
  TReportRun run;
  TReportStream video{.Video = true, .FrameCount = 0, .Quality = 2 * 118, .Time = 0};
  run.Run(report, Input({video}), true, false);
  EXPECT_TRUE(run.Lines.empty() && run.Figures.empty()); // not even the summary

  video.FrameCount = 12;
  run.Run(report, Input({video}), false, true);
  ASSERT_EQ(run.Figures.size(), 1u);
  EXPECT_EQ(run.Figures[0].FrameNumber, 12);
  EXPECT_EQ(run.Figures[0].Fps, 0); // first second
  EXPECT_FLOAT_EQ(run.Figures[0].Quality, 2.0f);
  // No stream has a time yet: 1e10 s, of whose milliseconds the low 32 bits remain.
  EXPECT_EQ(run.Figures[0].CurrentDuration, static_cast<int>(static_cast<uint32_t>(10000000000000LL)));

  TReportInput later = Input({video});
  later.ElapsedUs = 4000000;
  later.Verbose = 2;
  later.DupFrames = 3;
  later.DropFrames = 1;
  later.VideoBytes = 2048;
  later.AudioBytes = 0;
  run.Run(report, later, true, false);
  ASSERT_EQ(run.Lines.size(), 2u);
  EXPECT_EQ(run.Lines[0], "frame=   12 fps=  3 q=2.0 Lsize=     100kB time=10000000000.00 bitrate=   0.0kbits/s dup=3 drop=1");
  EXPECT_EQ(run.Lines[1], "video:2kB audio:0kB global headers:0kB muxing overhead 4900.000000%\r\n");
}

} // namespace
