// Option lines and SetOption: value kinds, refusals and the options with rules of their own.
#include "EngineFixture.h"

namespace {

using OptionTest = TEngineTest;

TEST_F(OptionTest, BooleansAndLineBreaks) {
  Task.AddOptions("  an\r\nsn=1\rvn=0\n\ncopyts=0\r\n", false);
  EXPECT_TRUE(S().AudioDisable);
  EXPECT_TRUE(S().SubtitleDisable);
  EXPECT_FALSE(S().VideoDisable);
  EXPECT_TRUE(S().CopyTs); // any value switches it on

  const TTaskSettings before = S();
  Task.AddOptions("", false);
  Task.AddOptions(" \r\n \n", false);
  EXPECT_EQ(S().AudioSampleRate, before.AudioSampleRate);
  EXPECT_TRUE(Task.SetOptionNames().empty());
}

TEST_F(OptionTest, NumbersAreLocaleFreeAndBadOnesAreRefusedByName) {
  Task.AddOptions("ar=22050\nac=1\nqscale=2.5\ndts_delta_threshold=+0.5\nvol=512", false);
  EXPECT_EQ(S().AudioSampleRate, 22050);
  EXPECT_EQ(S().AudioChannels, 1);
  EXPECT_FLOAT_EQ(S().VideoQScale, 2.5f);
  EXPECT_FLOAT_EQ(S().DtsDeltaThreshold, 0.5f);
  EXPECT_EQ(S().AudioVolume, 512);

  EXPECT_EQ(Refusal([&] { Task.SetOption("vframes", "abc"); }),
            "Invalid value \"abc\" for option \"vframes\": integer expected");
  EXPECT_EQ(Refusal([&] { Task.SetOption("qscale", "2,5"); }),
            "Invalid value \"2,5\" for option \"qscale\": number expected");
  EXPECT_NE(Refusal([&] { Task.SetOption("ar", "1.5"); }), "");
  EXPECT_NE(Refusal([&] { Task.SetOption("fs", "99999999999999999999"); }), "");
  EXPECT_NE(Refusal([&] { Task.SetOption("aq", ""); }), "");
  EXPECT_EQ(Refusal([&] { Task.SetOption("qscale", "0"); }), "qscale must be > 0.0 and <= 255");
  EXPECT_EQ(Refusal([&] { Task.SetOption("pass", "3"); }), "pass number can be only 1 or 2");
  // ar and ac only take positive values.
  Task.SetOption("ar", "0");
  EXPECT_EQ(S().AudioSampleRate, 22050);
}

TEST_F(OptionTest, ThreadsTakeAWholeNumberAndDefaultToAutomatic) {
  EXPECT_EQ(S().ThreadCount, 0);
  Task.SetOption("threads", "3");
  EXPECT_EQ(S().ThreadCount, 3);
  Task.SetOption("threads", " 0 ");
  EXPECT_EQ(S().ThreadCount, 0);
  for (const char *bad : {"-1", "", "auto", "1.5", "99999999999"})
    EXPECT_EQ(Refusal([&] { Task.SetOption("threads", bad); }),
              std::string("Invalid value \"") + bad + "\" for option \"threads\": whole number expected")
        << bad;
  EXPECT_EQ(S().ThreadCount, 0);
  Task.SetOption("threads", "1");
  Task.Reset();
  EXPECT_EQ(S().ThreadCount, 0);
}

TEST_F(OptionTest, IgnoredAndPassOptions) {
  Task.SetOption("y", "");
  EXPECT_TRUE(Logged("Do nothing: option - y"));
  // Stream options wait for the second pass; there they need an output.
  Task.AddOptions("newaudio\nar=8000", false);
  EXPECT_EQ(S().AudioSampleRate, 8000);
  EXPECT_EQ(Refusal([&] { Task.AddOptions("ar=16000\nnewaudio", true); }),
            "At least one output file must be specified");
  EXPECT_EQ(S().AudioSampleRate, 8000);
}

TEST_F(OptionTest, CodecChoices) {
  Task.AddOptions("vcodec=copy\nvcodec=mpeg4\nacodec=mp2\nacodec=copy", false);
  EXPECT_TRUE(S().VideoCodec.Copy);
  EXPECT_EQ(S().VideoCodec.Name, "mpeg4");
  EXPECT_TRUE(S().AudioCodec.Copy);
  EXPECT_EQ(S().AudioCodec.Name, ""); // every choice frees the previous name
}

TEST_F(OptionTest, CropAndPad) {
  EXPECT_EQ(Refusal([&] { Task.SetOption("croptop", "20"); }),
            "Vertical crop dimensions are outside the range of the original image.\n"
            "Remember to crop first and scale second.");
  Task.SetOption("croptop", "-4");
  EXPECT_EQ(S().FrameTopBand, 0);
  EXPECT_EQ(Refusal([&] { Task.SetOption("croptop", "5"); }), "Top crop size must be a multiple of 2");

  Task.SetOption("s", "320x240");
  Task.SetOption("croptop", "20");
  Task.SetOption("cropright", "10");
  EXPECT_EQ(S().FrameTopBand, 20);
  EXPECT_EQ(S().FrameHeight, 220);
  EXPECT_EQ(S().FrameWidth, 310);
  EXPECT_EQ(Refusal([&] { Task.SetOption("cropleft", "310"); }),
            "Horizontal crop dimensions are outside the range of the original image.\n"
            "Remember to crop first and scale second.");

  EXPECT_EQ(Refusal([&] { Task.SetOption("padleft", "3"); }), "Left pad size must be a multiple of 2");
  Task.SetOption("padbottom", "8");
  EXPECT_EQ(S().FramePadBottom, 8);

  // Red as 0x00BBGGRR; the chroma term needs an arithmetic shift of a negative number.
  Task.SetOption("padcolor", "255");
  EXPECT_EQ(S().PadColor, (std::array<int, 3>{76, 85, 255}));
}

TEST_F(OptionTest, SizesRatesAndFormats) {
  Task.SetOption("s", "cif");
  EXPECT_EQ(S().FrameWidth, 352);
  EXPECT_EQ(S().FrameHeight, 288);
  EXPECT_EQ(Refusal([&] { Task.SetOption("s", "351x288"); }), "Frame size must be a multiple of 2");
  EXPECT_EQ(Refusal([&] { Task.SetOption("s", "huge"); }), "Incorrect frame size");
  Task.SetOption("r", "ntsc");
  EXPECT_EQ(S().FrameRate.num, 30000);
  EXPECT_EQ(S().FrameRate.den, 1001);
  EXPECT_EQ(Refusal([&] { Task.SetOption("r", "-5"); }), "Incorrect frame rate");
  EXPECT_EQ(S().FrameRate.num, 30000);

  Task.SetOption("aspect", "16:9");
  EXPECT_FLOAT_EQ(S().FrameAspectRatio, 1.7777778f);
  Task.SetOption("aspect", "1.5");
  EXPECT_FLOAT_EQ(S().FrameAspectRatio, 1.5f);
  for (const char *bad : {"4:0", "abc", "0"})
    EXPECT_EQ(Refusal([&] { Task.SetOption("aspect", bad); }), "Incorrect aspect ratio specification.") << bad;

  Task.SetOption("pix_fmt", "yuv422p");
  EXPECT_EQ(S().FramePixFmt, AV_PIX_FMT_YUV422P);
  Task.SetOption("sample_fmt", "s16");
  EXPECT_EQ(S().AudioSampleFmt, AV_SAMPLE_FMT_S16);
  Task.SetOption("pix_fmt", "list");
  Task.SetOption("sample_fmt", "list");
  EXPECT_EQ(S().FramePixFmt, AV_PIX_FMT_YUV422P);
  EXPECT_GT(Logs.size(), 100u); // every pixel format and every sample format, with headings
  auto listed = [this](const std::string &name) {
    for (const auto &line : Logs)
      if (line.second.rfind(name + " ", 0) == 0)
        return true;
    return false;
  };
  EXPECT_TRUE(listed("yuv420p"));
  EXPECT_TRUE(listed("s16"));
}

TEST_F(OptionTest, TimesAndDates) {
  Task.SetOption("t", "00:00:05");
  EXPECT_EQ(S().RecordingTime, 5000000);
  EXPECT_EQ(Task.TotalDurationMs, 5000);
  Task.SetOption("t", "0");
  EXPECT_EQ(S().RecordingTime, 5000000); // only positive times limit
  Task.SetOption("ss", "1.5");
  EXPECT_EQ(S().StartTime, 1500000);
  EXPECT_EQ(Refusal([&] { Task.SetOption("ss", "junk"); }), "Invalid duration specification for ss: junk");
  EXPECT_EQ(Refusal([&] { Task.SetOption("timestamp", "junk"); }),
            "Invalid date specification for timestamp: junk");
  Task.SetOption("timestamp", "2009-01-02T03:04:05.6Z");
  EXPECT_EQ(S().RecTimestamp, 1230865446);
}

TEST_F(OptionTest, StreamMapsAndScales) {
  Task.AddOptions("map=0:1\nmap=0.1.0.0\nmap=0x1:010\nmap=2", false);
  ASSERT_EQ(S().StreamMaps.size(), 4u);
  auto expectMap = [this](size_t i, int f, int s, int sf, int ss) {
    const TStreamMap &m = S().StreamMaps[i];
    EXPECT_EQ((std::array<int, 4>{m.FileIndex, m.StreamIndex, m.SyncFileIndex, m.SyncStreamIndex}),
              (std::array<int, 4>{f, s, sf, ss}))
        << "map " << i;
  };
  expectMap(0, 0, 1, 0, 1);
  expectMap(1, 0, 1, 0, 0);
  expectMap(2, 1, 8, 1, 8);
  expectMap(3, 2, 0, 2, 0); // a short value stops at its end

  Task.SetOption("map_meta_data", "1:0");
  EXPECT_EQ(S().MetaDataMaps.at(0).OutFile, 1);

  EXPECT_EQ(Refusal([&] { Task.SetOption("itsscale", "20:2.0"); }), "stream index over MAX_STREAMS(20)");
  Task.SetOption("itsscale", "0:2.0");
  EXPECT_DOUBLE_EQ(S().InputTsScale[0][0], 2.0);
}

TEST_F(OptionTest, MetadataMatricesTagsHooksAndFilters) {
  EXPECT_EQ(Refusal([&] { Task.SetOption("metadata", "title"); }), "Missing =");
  Task.SetOption("metadata", "title=A=B");
  ASSERT_EQ(S().MetaData.size(), 1u);
  EXPECT_EQ(S().MetaData[0], (std::pair<std::string, std::string>("title", "A=B")));

  std::string matrix;
  for (int i = 0; i < 64; ++i)
    matrix += std::to_string(i + 1) + (i < 63 ? "," : "");
  Task.SetOption("intra_matrix", matrix);
  ASSERT_EQ(S().IntraMatrix.size(), 64u);
  EXPECT_EQ(S().IntraMatrix[63], 64);
  const std::string shortMatrix = matrix.substr(0, matrix.rfind(','));
  EXPECT_EQ(Refusal([&] { Task.SetOption("inter_matrix", shortMatrix); }),
            "Syntax error in matrix \"" + shortMatrix + "\" at coeff 62");

  Task.SetOption("vtag", "DIVX");
  EXPECT_EQ(S().VideoCodecTag, 0x58564944u);
  EXPECT_EQ(Refusal([&] { Task.SetOption("atag", "mp4"); }), "audio tag parameter must be 4 chars");

  Task.SetOption("vhook", "/lib/hook.so|-c|red blue");
  Task.SetOption("vhook", "/lib/other.so  x");
  ASSERT_EQ(Task.VideoHooks().size(), 2u);
  EXPECT_EQ(Task.VideoHooks()[0], (std::vector<std::string>{"/lib/hook.so", "-c", "red blue"}));
  EXPECT_EQ(Task.VideoHooks()[1], (std::vector<std::string>{"/lib/other.so", "x"}));
  EXPECT_TRUE(S().HooksEnabled);

  Task.SetOption("absf", "aac_adtstoasc=ignored");
  Task.SetOption("vbsf", "");
  EXPECT_EQ(S().AudioBitstreamFilters, (std::vector<std::string>{"aac_adtstoasc"}));
  EXPECT_TRUE(S().VideoBitstreamFilters.empty());
  EXPECT_EQ(Refusal([&] { Task.SetOption("vbsf", " nonesuch "); }), "Unknown bitstream filter nonesuch");
}

TEST_F(OptionTest, GenericOptionsAndTheLowBitrateWarning) {
  EXPECT_FALSE(Task.SetGenericOption("gop", "12")); // no library option of that name
  Task.SetOption("g", "12");
  EXPECT_EQ(Task.CodecTemplate(AVMEDIA_TYPE_VIDEO)->gop_size, 12);
  Task.SetOption("ab", "96000");
  EXPECT_EQ(Task.CodecTemplate(AVMEDIA_TYPE_AUDIO)->bit_rate, 96000);
  EXPECT_TRUE(Task.SetGenericOption("vb", "2000000"));
  EXPECT_EQ(Task.CodecTemplate(AVMEDIA_TYPE_VIDEO)->bit_rate, 2000000);
  EXPECT_TRUE(Task.SetGenericOption("packetsize", "2048"));
  EXPECT_FALSE(Task.SetGenericOption("g", "twelve")); // logged, never raised
  EXPECT_FALSE(Task.SetGenericOption(" ", "1"));
  EXPECT_EQ(Task.SetOptionNames(), (std::vector<std::string>{"g", "ab", "b", "packetsize"}));
  EXPECT_FALSE(Logged("WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s"));

  Task.SetOption("b", "64");
  EXPECT_TRUE(Logged("WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s"));
  Task.OnLog = nullptr;
  Task.SetOption("ab", "64"); // no handler, no warning to give
}

TEST_F(OptionTest, ResetRestoresEveryDefault) {
  Task.AddOptions("ar=8000\nvcodec=mpeg4\nmap=0:0\ng=5\nmetadata=a=b\nt=10", false);
  Task.Reset();
  EXPECT_EQ(S().AudioSampleRate, 44100);
  EXPECT_EQ(S().AudioChannels, 2);
  EXPECT_EQ(S().VideoCodec.Name, "");
  EXPECT_TRUE(S().StreamMaps.empty());
  EXPECT_TRUE(S().MetaData.empty());
  EXPECT_EQ(S().RecordingTime, INT64_MAX);
  EXPECT_EQ(S().MaxVideoFrames, 2147483647);
  EXPECT_EQ(S().PadColor, (std::array<int, 3>{16, 128, 128}));
  EXPECT_EQ(Task.TotalDurationMs, -1);
  EXPECT_TRUE(Task.SetOptionNames().empty());
  EXPECT_EQ(Task.CodecTemplate(AVMEDIA_TYPE_VIDEO)->gop_size, 12); // the library's default again
}

} // namespace
