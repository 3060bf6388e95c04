// Whole conversions of generated media through the output paths: sizes, rates and durations.
#include <fstream>

#include "../MediaFrames.h"
#include "EngineFixture.h"
#include "StreamFacts.h"
#include "engine/Bitmap.h"
#include "engine/feedback/ProgressReport.h"
#include "engine/task/TaskThread.h"

namespace {

class PathConvertTest : public TEngineTest {
protected:
  void Convert(const std::string &input, const std::string &output,
               const std::vector<std::pair<std::string, std::string>> &options) {
    ASSERT_TRUE(Task.OpenInputFile(input)) << Task.ErrorText();
    for (const auto &[name, value] : options)
      Task.SetOption(name, value);
    ASSERT_GE(Task.OpenOutputFile(output), 0) << Task.ErrorText();
    Task.Start(false, tpNormal);
    ASSERT_FALSE(Task.Failed) << Task.EndMessage;
  }
};

TEST_F(PathConvertTest, EncodedOutputsKeepSizeRateAndDuration) {
  struct TCase {
    const char *Input, *Output, *VCodec, *ACodec, *Size, *Rate, *Channels;
  };
  const TCase cases[] = {
      {"clip25.avi", "a.mp4", "mpeg4", "aac", "320x240", "44100", "2"},
      {"clip2997.mp4", "b.avi", "mpeg4", "libmp3lame", "176x144", "22050", "1"},
      {"clip15.mkv", "c.3gp", "h263", "aac", "176x144", "8000", "1"},
      {"clip.mpg", "d.mkv", "mpeg4", "mp2", "160x120", "48000", "2"},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(std::string(c.Input) + " -> " + c.Output);
    Task.Reset();
    Task.OnLog = nullptr;
    const std::string output = Temp.File(c.Output);
    Convert(Media(c.Input), output,
            {{"vcodec", c.VCodec}, {"acodec", c.ACodec}, {"s", c.Size}, {"ar", c.Rate}, {"ac", c.Channels}});
    const TStreamFacts in = Facts(Media(c.Input), AVMEDIA_TYPE_VIDEO), inAudio = Facts(Media(c.Input), AVMEDIA_TYPE_AUDIO);
    const TStreamFacts video = Facts(output, AVMEDIA_TYPE_VIDEO), audio = Facts(output, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(std::to_string(video.Width) + "x" + std::to_string(video.Height), c.Size);
    EXPECT_EQ(std::to_string(audio.SampleRate), c.Rate);
    EXPECT_EQ(std::to_string(audio.Channels), c.Channels);
    EXPECT_NEAR(video.Seconds, in.Seconds, 0.07);   // within a frame
    // Within an encoder frame: priming and padding of the audio codecs differ.
    EXPECT_NEAR(audio.Seconds, inAudio.Seconds, 1024.0 / audio.SampleRate + 0.03);
  }
}

TEST_F(PathConvertTest, AudioOnlyPcmAndLoudness) {
  const std::string output = Temp.File("tone.wav");
  Convert(Media("tone.mp3"), output, {{"acodec", "pcm_s16le"}, {"ar", "44100"}, {"ac", "2"}, {"vol", "512"}});
  const TStreamFacts audio = Facts(output, AVMEDIA_TYPE_AUDIO);
  EXPECT_EQ(audio.SampleRate, 44100);
  EXPECT_NEAR(audio.Seconds, Facts(Media("tone.mp3"), AVMEDIA_TYPE_AUDIO).Seconds, 1152.0 / 22050 + 0.01);
}

} // namespace

namespace {

TEST_F(PathConvertTest, FiltersSetTheOutputSizeAndShape) {
  const std::string output = Temp.File("filtered.mp4");
  Convert(Media("clip25.avi"), output, {{"vcodec", "mpeg4"}, {"vfilters", "hflip,scale=80:60,setsar=2/1"}});
  const TStreamFacts video = Facts(output, AVMEDIA_TYPE_VIDEO);
  EXPECT_EQ(video.Width, 80);
  EXPECT_EQ(video.Height, 60);
  EXPECT_EQ(video.Aspect.num, 2); // the pixel shape the graph gives
  EXPECT_EQ(video.Aspect.den, 1);
  EXPECT_NEAR(video.Seconds, 2.0, 0.05);
}

TEST_F(PathConvertTest, CustomHookDrawsAndPreviewsAreRationed) {
  const std::string output = Temp.File("hooked.avi");
  int hooked = 0;
  Task.OnCustomHook = [&](TCustomFFmpeg &, TBitmap *bitmap, int, int64_t, bool &update, bool &) {
    ++hooked;
    for (int y = 0; y < 16; ++y)
      std::fill_n(bitmap->ScanLine(y), 16 * 3, uint8_t{255});
    update = true;
  };
  std::vector<int64_t> previews;
  Task.PreviewFlags = 2;
  Task.OnPreviewBitmap = [&](TCustomFFmpeg &, TBitmap *bitmap, int frame, int64_t) {
    EXPECT_NE(bitmap, nullptr);
    EXPECT_GT(frame, 0);
    previews.push_back(AVUtil.av_gettime());
  };
  std::vector<TProgressFigures> progress;
  Task.ProgressIntervalUs = 0;
  Task.OnProgress = [&](TCustomFFmpeg &, int frame, int fps, int ms, float q, float rate, int64_t size, int total) {
    progress.push_back({frame, fps, ms, q, rate, size, total});
  };
  Convert(Media("clip25.avi"), output, {{"vcodec", "mpeg4"}, {"qscale", "2"}, {"re", ""}});
  EXPECT_EQ(hooked, 50);
  EXPECT_GT(FirstLuma(output, 4, 4), 200);
  EXPECT_LT(FirstLuma(output, 100, 100), 200);
  // At most one preview per 100 ms: the input plays at its own rate here, 2 s. The engine takes its
  // time before the picture is converted, the handler after, so single gaps may look shorter by the
  // difference of two conversion times (codec threads make it vary); the mean gap may not.
  ASSERT_GE(previews.size(), 10u);
  EXPECT_LE(previews.size(), 21u);
  for (size_t i = 1; i < previews.size(); ++i)
    EXPECT_GT(previews[i] - previews[i - 1], 80000);
  EXPECT_GT((previews.back() - previews.front()) / static_cast<int64_t>(previews.size() - 1), 100000);
  ASSERT_FALSE(progress.empty());
  EXPECT_GE(progress.front().FrameNumber, 1);
  EXPECT_EQ(progress.front().Fps, 0); // first second
  EXPECT_NEAR(progress.back().FrameNumber, 50, 1); // the sync may repeat a frame
}

TEST_F(PathConvertTest, AudioOnlyProgressHasNoFrames) {
  std::vector<TProgressFigures> progress;
  Task.OnProgress = [&](TCustomFFmpeg &, int frame, int fps, int ms, float q, float rate, int64_t size, int total) {
    progress.push_back({frame, fps, ms, q, rate, size, total});
  };
  Convert(Media("tone.wav"), Temp.File("tone.mp3"), {{"acodec", "libmp3lame"}});
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back().FrameNumber, -1);
  EXPECT_EQ(progress.back().Fps, -1);
  EXPECT_FLOAT_EQ(progress.back().Quality, -1.0f);
  EXPECT_NEAR(progress.back().CurrentDuration, 2000, 60);
  EXPECT_GT(progress.back().CurrentSize, 0);
}

} // namespace

namespace {

TEST_F(PathConvertTest, StatisticsFileHasALinePerFrame) {
  const std::string stats = Temp.File("vstats.log");
  Convert(Media("clip25.avi"), Temp.File("stats.avi"), {{"vcodec", "mpeg4"}, {"an", ""}, {"vstats_file", stats}});
  std::ifstream in(stats);
  std::string line, last;
  int lines = 0;
  while (std::getline(in, line)) {
    EXPECT_EQ(line.rfind("frame= ", 0), 0u) << line;
    last = line;
    ++lines;
  }
  EXPECT_NEAR(lines, 50, 1);
  EXPECT_NE(last.find(" type= "), std::string::npos);

  Task.Reset();
  ASSERT_TRUE(Task.OpenInputFile(Media("clip25.avi")));
  Task.SetOption("vstats_file", Temp.File("missing/vstats.log"));
  ASSERT_GE(Task.OpenOutputFile(Temp.File("stats2.avi")), 0);
  Task.Start(false, tpNormal);
  EXPECT_EQ(Task.EndMessage, "fopen fail: " + Temp.File("missing/vstats.log"));
}

} // namespace
