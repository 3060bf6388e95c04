// Target presets: the norm decision and the values a preset sets.
#include "EngineFixture.h"
#include "media/AVFormatStubs.h"

namespace {

using TargetPresetTest = TEngineTest;

TEST_F(TargetPresetTest, PalDvd) {
  Task.SetOption("target", " pal-dvd ");
  EXPECT_EQ(S().FrameWidth, 720);
  EXPECT_EQ(S().FrameHeight, 576);
  EXPECT_EQ(S().FrameRate.num, 25);
  EXPECT_EQ(S().FrameRate.den, 1);
  EXPECT_EQ(Task.CodecTemplate(AVMEDIA_TYPE_VIDEO)->gop_size, 15);
  EXPECT_EQ(Task.CodecTemplate(AVMEDIA_TYPE_VIDEO)->bit_rate, 6000000);
  EXPECT_EQ(Task.CodecTemplate(AVMEDIA_TYPE_AUDIO)->bit_rate, 448000);
  EXPECT_FLOAT_EQ(S().FrameAspectRatio, 16.0f / 9.0f);
  EXPECT_TRUE(Logged("Assuming 16:9 for aspect ratio"));
  EXPECT_EQ(S().VideoCodec.Name, "mpeg2video");
  EXPECT_EQ(S().AudioCodec.Name, "ac3");
  EXPECT_STREQ(S().OutputFormat->name, "dvd");
  EXPECT_EQ(S().AudioSampleRate, 48000);
  EXPECT_EQ(Task.FormatTemplate()->packet_size, 2048u);
}

TEST_F(TargetPresetTest, AutomaticNormFromTheInput) {
  ASSERT_TRUE(Task.OpenInputFile(Media("clip2997.mp4"))) << Task.ErrorText();
  const float inputAspect = S().FrameAspectRatio;
  Task.SetOption("target", "vcd");
  EXPECT_EQ(S().FrameWidth, 352);
  EXPECT_EQ(S().FrameHeight, 240);
  EXPECT_EQ(Task.CodecTemplate(AVMEDIA_TYPE_VIDEO)->gop_size, 18);
  EXPECT_TRUE(Logged("Assuming NTSC for target."));
  EXPECT_FLOAT_EQ(S().FrameAspectRatio, inputAspect); // known: kept
  EXPECT_FLOAT_EQ(S().MuxPreload, 0.44f);
  // The preset's settings make a real output.
  ASSERT_EQ(Task.OpenOutputFile(Temp.File("out.mpg")), 1) << Task.ErrorText();
  EXPECT_EQ(Task.OutputFiles()[0].Streams.at(0).Encoder->codec_id, AV_CODEC_ID_MPEG1VIDEO);
  EXPECT_EQ(Task.OutputFiles()[0].Streams.at(0).Encoder->bit_rate, 1150000);
  // The mux rate and preload belong to the MPEG muxer itself.
  AVFormatContext *output = Task.OutputFiles()[0].Context.get();
  int64_t muxRate = 0, preload = 0;
  ASSERT_GE(AVUtil.av_opt_get_int(output, "muxrate", AV_OPT_SEARCH_CHILDREN, &muxRate), 0);
  ASSERT_GE(AVUtil.av_opt_get_int(output, "preload", AV_OPT_SEARCH_CHILDREN, &preload), 0);
  EXPECT_EQ(muxRate, 1411200);
  EXPECT_EQ(preload, 440000);
}

TEST_F(TargetPresetTest, UndecidedRateFallsBack) {
  ASSERT_TRUE(Task.OpenInputFile(Media("clip15.mkv"))) << Task.ErrorText();
  Task.SetOption("target", "vcd"); // the option falls back to NTSC
  EXPECT_EQ(S().FrameHeight, 240);

  TFFmpeg other;
  other.Reset();
  ASSERT_TRUE(other.OpenInputFile(Media("clip15.mkv"))) << other.ErrorText();
  TOutputOptions out;
  out.Target = 1;
  out.TargetFallbackNorm = 1; // a record may fall back to PAL
  other.ApplyTargetPreset(out);
  EXPECT_EQ(other.Settings().FrameHeight, 288);
}

TEST_F(TargetPresetTest, NormsAndTypes) {
  Task.SetOption("target", "film-svcd");
  EXPECT_EQ(S().FrameRate.num, 24000);
  EXPECT_EQ(S().FrameRate.den, 1001);
  EXPECT_EQ(S().FrameWidth, 480);
  EXPECT_EQ(S().FrameHeight, 480);
  EXPECT_EQ(Task.CodecTemplate(AVMEDIA_TYPE_VIDEO)->gop_size, 18);
  EXPECT_FALSE(Logged("Assuming NTSC for target.")); // the norm was given

  Task.SetOption("ac", "1");
  Task.SetOption("target", "ntsc-svcd");
  EXPECT_EQ(S().AudioChannels, 2);

  for (const char *target : {"pal-dv50", "ntsc-dv50"}) {
    Task.SetOption("target", target);
    EXPECT_EQ(S().FramePixFmt, AV_PIX_FMT_YUV422P) << target;
  }
  Task.SetOption("target", "ntsc-dv");
  EXPECT_EQ(S().FramePixFmt, AV_PIX_FMT_YUV411P);
  EXPECT_EQ(S().FrameHeight, 480);
  EXPECT_STREQ(S().OutputFormat->name, "dv");
}

TEST_F(TargetPresetTest, Refusals) {
  Task.SetOption("target", "ntsc-vcd"); // explicit norm: no input needed
  Task.Reset();
  EXPECT_EQ(Refusal([&] { Task.SetOption("target", "vcd"); }), "frame_rate is invalid.");
  EXPECT_EQ(Refusal([&] { Task.SetOption("target", "pal-cd"); }), "Unknown target type");
  TOutputOptions out;
  out.Target = 7; // no preset
  Task.ApplyTargetPreset(out);
  EXPECT_EQ(S().FrameWidth, 0);
}

} // namespace
