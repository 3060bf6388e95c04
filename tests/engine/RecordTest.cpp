// The option records: defaults, the order they are applied in, and which side wins.
#include "EngineFixture.h"

namespace {

using RecordTest = TEngineTest;

TEST_F(RecordTest, ResetGivesTheRecordDefaults) {
  TOutputOptions out;
  out.AudioBitrate = 5;
  out.Title = "x";
  out.TargetFallbackNorm = 2;
  ResetOutputOptions(out);
  EXPECT_EQ(out.AudioBitrate, -1);
  EXPECT_EQ(out.Title, "");
  EXPECT_EQ(out.TargetFallbackNorm, 1);
  EXPECT_FLOAT_EQ(out.MuxDelay, -1.0f);
  EXPECT_DOUBLE_EQ(out.Timestamp, -1.0);

  TInputOptions in;
  in.ProgramId = 3;
  ResetInputOptions(in);
  EXPECT_EQ(in.ProgramId, -1);
  EXPECT_EQ(in.StartTimeMs, -1);
}

TEST_F(RecordTest, TypedFieldsOverrideOptionLines) {
  TOutputOptions out;
  out.ExtOptions = "ar=22050\nan\nvcodec=mpeg4\nalang=fra\nvsync=2";
  out.AudioSampleRate = 48000; // a value: wins
  out.DisableAudio = false;    // always assigned: wins
  out.AudioLanguage = "";      // always assigned, even empty
  out.Year = 2009;
  out.Title = std::string(600, 't');
  out.Genre = "Rock";
  out.GopSize = 12;
  out.VideoBitrate = 800000;
  out.PadColor = 0x0000FF;
  Task.AddOptions(out.ExtOptions, false);
  Task.SetOption("s", "320x240");
  Task.ApplyOutputOptions(out);
  EXPECT_EQ(S().AudioSampleRate, 48000);
  EXPECT_FALSE(S().AudioDisable);
  EXPECT_EQ(S().AudioLanguage, "");
  EXPECT_EQ(S().VideoCodec.Name, "mpeg4"); // field left empty: the line stays
  EXPECT_EQ(S().VideoSyncMethod, -1);      // always assigned
  EXPECT_EQ(S().PadColor, (std::array<int, 3>{76, 85, 255}));
  EXPECT_EQ(Task.CodecTemplate(AVMEDIA_TYPE_VIDEO)->bit_rate, 800000);
  EXPECT_EQ(Task.CodecTemplate(AVMEDIA_TYPE_VIDEO)->gop_size, 12); // "gop" is no library option
  ASSERT_EQ(S().MetaData.size(), 3u);
  EXPECT_EQ(S().MetaData[0], (std::pair<std::string, std::string>("year", "2009")));
  EXPECT_EQ(S().MetaData[1].second.size(), 511u);
  EXPECT_EQ(S().MetaData[2].first, "genre");
}

TEST_F(RecordTest, TimesFromTheRecord) {
  TOutputOptions out;
  out.RecordTimeMs = 1500;
  out.StartTime = 250000;
  out.Timestamp = 0; // now
  Task.ApplyOutputOptions(out);
  EXPECT_EQ(S().RecordingTime, 1500000);
  EXPECT_EQ(Task.TotalDurationMs, 1500);
  EXPECT_EQ(S().StartTime, 250000);
  EXPECT_NEAR(static_cast<double>(S().RecTimestamp), static_cast<double>(std::time(nullptr)), 5);

  out = {};
  out.RecordTime = 2500000;
  out.FileFormat = "nonesuch";
  EXPECT_EQ(Refusal([&] { Task.ApplyOutputOptions(out); }), "Unknown output format: nonesuch");
}

TEST_F(RecordTest, HookRangesAreFilteredAndSortedByEnd) {
  Task.ApplyHookRanges(" 5000-6000, 1000 - 2000,3000-1000, x-10,7-, ");
  ASSERT_EQ(Task.HookRanges().size(), 3u);
  EXPECT_EQ(Task.HookRanges()[0].Start, -1000);
  EXPECT_EQ(Task.HookRanges()[0].End, 10000);
  EXPECT_EQ(Task.HookRanges()[1].End, 2000000);
  EXPECT_EQ(Task.HookRanges()[2].Start, 5000000);
}

TEST_F(RecordTest, InputRecordOrderAndRefusals) {
  TInputOptions in;
  in.ExtOptions = "threads=-2";
  EXPECT_EQ(Refusal([&] { Task.OpenInput(Media("clip25.avi"), &in); }),
            "Invalid value \"-2\" for option \"threads\": whole number expected");
  EXPECT_EQ(Task.InputOptions.FileName, Media("clip25.avi"));

  Task.Reset();
  in = {};
  in.InputFormat = "nonesuch";
  EXPECT_EQ(Refusal([&] { Task.OpenInput(Media("clip25.avi"), &in); }), "Unknown input format: nonesuch");

  Task.Reset();
  in = {};
  in.InputFormat = "avi";
  in.ExtOptions = "ar=8000\nnewvideo";
  ASSERT_TRUE(Task.OpenInput(Media("clip25.avi"), &in)) << Task.ErrorText();
  EXPECT_EQ(Task.InputFiles().size(), 1u);
  EXPECT_EQ(S().InputFormat, nullptr); // consumed by the file
}

} // namespace
