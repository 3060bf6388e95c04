// Opening inputs and outputs on generated media.
#include <filesystem>

#include "EngineFixture.h"
#include "media/AVFormatStubs.h"

namespace {

using InputTest = TEngineTest;

TEST_F(InputTest, FillsTheSettingsFromTheFile) {
  ASSERT_TRUE(Task.OpenInputFile(Media("clip25.avi"))) << Task.ErrorText();
  EXPECT_EQ(S().FrameWidth, 160);
  EXPECT_EQ(S().FrameHeight, 120);
  EXPECT_FLOAT_EQ(S().FrameAspectRatio, 160.0f / 120.0f);
  EXPECT_EQ(S().FrameRate.num, 25);
  EXPECT_EQ(S().FrameRate.den, 1);
  EXPECT_EQ(S().FramePixFmt, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(S().AudioSampleRate, 22050);
  EXPECT_EQ(S().AudioChannels, 1);
  EXPECT_NEAR(Task.TotalDurationMs, 2000, 150);
  ASSERT_EQ(Task.InputFiles().size(), 1u);
  EXPECT_EQ(Task.InputFiles()[0].Decoders.size(), 2u);
  EXPECT_EQ(Task.InputCodecs(), (std::vector<const AVCodec *>{nullptr, nullptr}));

  // A longer input raises the expected duration, a shorter one leaves it.
  ASSERT_TRUE(Task.OpenInputFile(Media("short.mp4"))) << Task.ErrorText();
  EXPECT_NEAR(Task.TotalDurationMs, 2000, 150);
}

TEST_F(InputTest, SampleAspectGivesTheDisplayAspect) {
  ASSERT_TRUE(Task.OpenInputFile(Media("anamorphic.mp4"))) << Task.ErrorText();
  EXPECT_NEAR(S().FrameAspectRatio, 720.0 * 16 / 11 / 576, 1e-5);
}

TEST_F(InputTest, UnknownDurationLeavesTheTotal) {
  Task.SetOption("t", "3");
  ASSERT_TRUE(Task.OpenInputFile(Media("noduration.m4v"))) << Task.ErrorText();
  EXPECT_EQ(Task.TotalDurationMs, 3000);
}

TEST_F(InputTest, DecoderSlotsSkipDataStreams) {
  Task.SetOption("acodec", "mp2");
  ASSERT_TRUE(Task.OpenInputFile(Media("databetweenaudio.ts"))) << Task.ErrorText();
  ASSERT_EQ(Task.InputCodecs().size(), 2u);
  EXPECT_NE(Task.InputCodecs()[0], nullptr);
  EXPECT_EQ(Task.InputCodecs()[0], Task.InputCodecs()[1]);
  EXPECT_EQ(S().AudioCodec.Name, ""); // consumed
}

TEST_F(InputTest, ConsumesStartTimeFormatAndNames) {
  Task.AddOptions("ss=0.5\nf=avi\nvcodec=mpeg4\nvc=1\nvn", false);
  ASSERT_TRUE(Task.OpenInputFile(Media("clip25.avi"))) << Task.ErrorText();
  EXPECT_EQ(S().StartTime, 0);
  EXPECT_EQ(S().InputFormat, nullptr);
  EXPECT_EQ(S().OutputFormat, nullptr);
  EXPECT_EQ(S().VideoCodec.Name, "");
  EXPECT_EQ(S().VideoChannel, 0);
  EXPECT_NE(Task.InputCodecs()[0], nullptr);
  EXPECT_EQ(Task.InputFiles()[0].Context->streams[0]->discard, AVDISCARD_ALL);
}

TEST_F(InputTest, Failures) {
  EXPECT_FALSE(Task.OpenInputFile(Temp.File("missing.avi")));
  EXPECT_EQ(Task.ErrorText(), Temp.File("missing.avi") + ": no such file or directory");
  EXPECT_FALSE(Task.OpenInputFile(Media("text.avi")));
  EXPECT_EQ(Task.ErrorText(), Media("text.avi") + ": Unknown format");

  Task.SetOption("vcodec", "nonesuch");
  EXPECT_FALSE(Task.OpenInputFile(Media("clip25.avi")));
  EXPECT_EQ(Task.ErrorText(), "Unknown decoder 'nonesuch'");
  EXPECT_EQ(S().VideoCodec.Name, ""); // cleared on failure too
  Task.SetOption("acodec", "mpeg4");
  EXPECT_FALSE(Task.OpenInputFile(Media("clip25.avi")));
  EXPECT_EQ(Task.ErrorText(), "Invalid decoder type 'mpeg4'");
  EXPECT_TRUE(Task.InputFiles().empty());
}

using OutputTest = TEngineTest;

TEST_F(OutputTest, StreamsFollowTheFormatAndTheInputs) {
  ASSERT_TRUE(Task.OpenInputFile(Media("clip25.avi"))) << Task.ErrorText();
  ASSERT_EQ(Task.OpenOutputFile(Temp.File("out.mpg")), 1) << Task.ErrorText();
  const TOutputFile &out = Task.OutputFiles()[0];
  ASSERT_EQ(out.Streams.size(), 2u);
  const AVCodecContext *video = out.Streams[0].Encoder.get();
  EXPECT_EQ(video->codec_id, AV_CODEC_ID_MPEG1VIDEO);
  EXPECT_EQ(video->width, 160);
  EXPECT_EQ(video->time_base.num, 1);
  EXPECT_EQ(video->time_base.den, 25);
  EXPECT_EQ(video->pix_fmt, AV_PIX_FMT_YUV420P);
  const AVCodecContext *audio = out.Streams[1].Encoder.get();
  EXPECT_EQ(audio->codec_id, AV_CODEC_ID_MP2);
  EXPECT_EQ(audio->sample_rate, 22050);
  EXPECT_EQ(audio->ch_layout.nb_channels, 1);
  EXPECT_EQ(audio->sample_fmt, AV_SAMPLE_FMT_S16); // mp2's first format
  EXPECT_TRUE(std::filesystem::exists(Temp.File("out.mpg")));

  // An audio-only input gives no video stream even where the format has a default one.
  TFFmpeg audioOnly;
  audioOnly.Reset();
  ASSERT_TRUE(audioOnly.OpenInputFile(Media("tone.mp3"))) << audioOnly.ErrorText();
  ASSERT_EQ(audioOnly.OpenOutputFile(Temp.File("tone.avi")), 1) << audioOnly.ErrorText();
  ASSERT_EQ(audioOnly.OutputFiles()[0].Streams.size(), 1u);
  EXPECT_EQ(audioOnly.OutputFiles()[0].Streams[0].Encoder->codec_type, AVMEDIA_TYPE_AUDIO);
}

TEST_F(OutputTest, DisableFlagsCopyAndSecondPass) {
  ASSERT_TRUE(Task.OpenInputFile(Media("clip25.avi"))) << Task.ErrorText();
  TOutputOptions out;
  out.DisableAudio = true;
  out.AudioLanguage = "eng"; // always assigned: a line alang=fra loses
  out.ExtOptions = "vcodec=copy\nvcodec=mpeg4\nnewaudio\nalang=fra\nacodec=mp2";
  ASSERT_TRUE(Task.OpenOutput(Temp.File("out.avi"), &out)) << Task.ErrorText();
  const TOutputFile &file = Task.OutputFiles()[0];
  ASSERT_EQ(file.Streams.size(), 2u); // the video, then the audio of the second pass
  EXPECT_TRUE(file.Streams[0].StreamCopy);
  EXPECT_EQ(file.Streams[0].Encoder->codec_type, AVMEDIA_TYPE_VIDEO);
  EXPECT_EQ(file.Streams[1].Encoder->codec_type, AVMEDIA_TYPE_AUDIO);
  EXPECT_FALSE(S().VideoCodec.Copy);
  EXPECT_EQ(S().VideoCodec.Name, "");
  const AVDictionaryEntry *language = AVUtil.av_dict_get(file.Streams[1].Stream->metadata, "language", nullptr, 0);
  ASSERT_NE(language, nullptr);
  EXPECT_STREQ(language->value, "eng");
}

TEST_F(OutputTest, EncoderSettingsFromOptions) {
  std::string matrix;
  for (int i = 0; i < 64; ++i)
    matrix += std::to_string(16 + i) + ",";
  Task.AddOptions("s=320x240\npadtop=8\naspect=4:3\npix_fmt=rgb24\nintra\nqscale=3\npass=1\n"
                  "rc_override=0,10,2/11,20,-50\nintra_matrix=" + matrix + "\nmetadata=title=A=B\nmetadata=title=C",
                  false);
  ASSERT_EQ(Task.OpenOutputFile(Temp.File("out.mpg")), 1) << Task.ErrorText();
  const TOutputFile &file = Task.OutputFiles()[0];
  const AVCodecContext *c = file.Streams[0].Encoder.get();
  EXPECT_EQ(c->height, 248);
  EXPECT_EQ(c->pix_fmt, AV_PIX_FMT_YUV420P); // the encoder's first format replaces an unlisted one
  EXPECT_EQ(c->gop_size, 0);
  EXPECT_EQ(c->global_quality, 354);
  EXPECT_TRUE(c->flags & AV_CODEC_FLAG_QSCALE);
  EXPECT_TRUE(c->flags & AV_CODEC_FLAG_PASS1);
  ASSERT_EQ(c->rc_override_count, 2);
  EXPECT_EQ(c->rc_override[1].start_frame, 11);
  EXPECT_EQ(c->rc_override[1].qscale, 0);
  EXPECT_FLOAT_EQ(c->rc_override[1].quality_factor, 0.5f);
  ASSERT_NE(c->intra_matrix, nullptr);
  EXPECT_EQ(c->intra_matrix[63], 79);
  // 4:3 shown on 320x248: 248/240 of a square pixel, within 255.
  EXPECT_EQ(c->sample_aspect_ratio.num * 240, c->sample_aspect_ratio.den * 248);
  const AVDictionaryEntry *title = AVUtil.av_dict_get(file.Context->metadata, "title", nullptr, 0);
  ASSERT_NE(title, nullptr);
  EXPECT_STREQ(title->value, "A=B"); // the first of two equal keys
  EXPECT_TRUE(S().MetaData.empty());

  Task.Reset();
  Task.SetOption("rc_override", "0;10,2");
  EXPECT_EQ(Task.OpenOutputFile(Temp.File("bad.mpg")), -1);
  EXPECT_EQ(Task.ErrorText(), "new_video_stream fail: error parsing rc_override");
  EXPECT_TRUE(Task.OutputFiles().empty());
}

TEST_F(OutputTest, NoFrameRateGivesATwentyFifthTimeBase) {
  ASSERT_EQ(Task.OpenOutputFile(Temp.File("out.avi")), 1) << Task.ErrorText();
  const AVCodecContext *video = Task.OutputFiles()[0].Streams.at(0).Encoder.get();
  EXPECT_EQ(video->time_base.den, 25);
  EXPECT_EQ(video->time_base.num, 1);
}

TEST_F(OutputTest, LegacyEncoderNamesUseTheirSuccessors) {
  Task.AddOptions("vn\nacodec=libfaac", false);
  ASSERT_EQ(Task.OpenOutputFile(Temp.File("out.mp4")), 1) << Task.ErrorText();
  EXPECT_EQ(Task.OutputFiles()[0].Streams.at(0).Encoder->codec_id, AV_CODEC_ID_AAC);
  EXPECT_TRUE(Logged("Encoder 'libfaac' is not available; using its successor 'aac'"));

  Task.AddOptions("vn\nacodec=mp3", false);
  ASSERT_EQ(Task.OpenOutputFile(Temp.File("out2.mkv")), 2) << Task.ErrorText();
  EXPECT_EQ(Task.OutputFiles()[1].Streams.at(0).Codec->id, AV_CODEC_ID_MP3);
  // The native vorbis encoder is experimental: profiles meant the usable one.
  Task.AddOptions("vn\nacodec=vorbis", false);
  ASSERT_EQ(Task.OpenOutputFile(Temp.File("out.ogg")), 3) << Task.ErrorText();
  EXPECT_STREQ(Task.OutputFiles()[2].Streams.at(0).Codec->name, "libvorbis");

  Task.AddOptions("vn\nacodec=nonesuch", false);
  EXPECT_EQ(Task.OpenOutputFile(Temp.File("out3.mkv")), -1);
  EXPECT_EQ(Task.ErrorText(), "new_audio_stream fail: Unknown encoder 'nonesuch'");
  Task.AddOptions("vn=0\nan\nvcodec=mp2", false);
  EXPECT_EQ(Task.OpenOutputFile(Temp.File("out4.mkv")), -1);
  EXPECT_EQ(Task.ErrorText(), "new_video_stream fail: Invalid encoder type 'mp2'");
  EXPECT_EQ(Task.OutputFiles().size(), 3u);
}

TEST_F(OutputTest, Refusals) {
  EXPECT_EQ(Task.OpenOutputFile(Temp.File("x.abc")), -1);
  EXPECT_EQ(Task.ErrorText(), "Unable to find a suitable output format for '" + Temp.File("x.abc") + "'");

  ASSERT_TRUE(Task.OpenInputFile(Media("clip25.avi"))) << Task.ErrorText();
  Task.AddOptions("croptop=2\nvfilters=hflip", false);
  EXPECT_EQ(Task.OpenOutputFile(Temp.File("a.avi")), -1);
  EXPECT_EQ(Task.ErrorText(), "Cannot enable crop options and filters at the same time.");

  Task.Reset();
  Task.AddOptions("padtop=8\nvfilters=HFlip, Scale=320:240", false);
  EXPECT_EQ(Task.OpenOutputFile(Temp.File("b.avi")), -1);
  EXPECT_EQ(Task.ErrorText(), "Cannot enable pad options and the filters which resize frame at the same time. "
                              "(crop, rotate, scale, transpose, etc.)");
  Task.SetOption("vfilters", "hflip");
  EXPECT_EQ(Task.OpenOutputFile(Temp.File("c.avi")), 1) << Task.ErrorText();
  EXPECT_TRUE(Task.FiltersEnabled());

  EXPECT_EQ(Task.OpenOutputFile(Temp.File("no/such/folder/d.avi")), -1);
  EXPECT_EQ(Task.ErrorText(), "Could not open '" + Temp.File("no/such/folder/d.avi") + "': No such file or directory");
  EXPECT_EQ(Task.OutputFiles().size(), 1u);
}

TEST_F(OutputTest, CleanupDeletesEmptyOutputsOnly) {
  ASSERT_EQ(Task.OpenOutputFile(Temp.File("empty.avi")), 1) << Task.ErrorText();
  ASSERT_TRUE(std::filesystem::exists(Temp.File("empty.avi")));
  Task.CleanupTask();
  EXPECT_FALSE(std::filesystem::exists(Temp.File("empty.avi")));
  EXPECT_TRUE(Task.OutputFiles().empty());
  // Without its templates the task still takes options; generic ones are then ignored.
  EXPECT_FALSE(Task.SetGenericOption("g", "5"));
}

} // namespace
