#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "convert/JobBuilder.h"
#include "convert/RunShape.h"
#include "convert/SizeTarget.h"

#include "../TempFolder.h"

namespace {

TFormatRec VideoProfile() {
  TFormatRec p;
  p.Name = "Test video";
  p.Ext = ".mp4";
  p.Category = 1;
  p.Resolution = "320*240,480*272";
  p.ResolutionValue = 1;
  p.Framerate = "15 fps,24 fps,Keep original frame rate";
  p.FramerateValue = 1;
  p.VideoEncoder = "Xvid,H.264";
  p.VideoBitRate = "384 kbps,768 kbps";
  p.VideoBitRateValue = 1;
  p.SampleRate = "22050 Hz,32000 Hz,44100 Hz,48000 Hz";
  p.SampleRateValue = 2;
  p.AudioBitrate = "64 kbps,96 kbps,128 kbps,160 kbps,192 kbps,256 kbps";
  p.AudioBitrateValue = 2;
  p.AudioEncoder = "MP3,AAC";
  p.Channel = "1 Channel Mono,2 Channels Stereo";
  p.ChannelValue = 1;
  p.Volume = 300;
  return p;
}

// The message of the refusal, or "" when the profile reads.
std::string Refusal(const TFormatRec &profile) {
  TOutputOptions out;
  try {
    FillAudioSettings(out, profile);
    FillVideoSettings(out, profile, 0);
  } catch (const TProfileItemError &e) {
    return e.what();
  }
  return "";
}

} // namespace

TEST(JobBuilderTest, EncoderLabelsTranslateOrPassLowerCased) {
  EXPECT_EQ(AudioCodecName("AAC"), "libfaac");
  EXPECT_EQ(AudioCodecName("MP3"), "mp3");
  EXPECT_EQ(VideoCodecName("H.264"), "libx264");
  EXPECT_EQ(VideoCodecName("LibVPX"), "libvpx");
  EXPECT_EQ(VideoCodecName("H.265"), "libx265");
  EXPECT_EQ(VideoCodecName("VP9"), "libvpx-vp9");
  EXPECT_EQ(VideoCodecName("AV1"), "libsvtav1");
  EXPECT_EQ(AudioCodecName("Opus"), "libopus");
  EXPECT_EQ(AspectRatioText(4), "47:20");
  EXPECT_EQ(AspectRatioText(5), "");
}

TEST(JobBuilderTest, ProfileItemsFillAudioAndVideoFields) {
  TFormatRec p = VideoProfile();
  TOutputOptions out;
  FillAudioSettings(out, p);
  EXPECT_EQ(out.AudioSampleRate, 44100);
  EXPECT_EQ(out.AudioBitrate, 128000);
  EXPECT_EQ(out.AudioCodec, "mp3");
  EXPECT_EQ(out.AudioChannels, 2);
  EXPECT_EQ(out.AudioVolume, 300);

  FillVideoSettings(out, p, 3);
  EXPECT_EQ(out.VideoCodec, "libxvid");
  EXPECT_EQ(out.FrameRate, "24");
  EXPECT_EQ(out.FrameSize, "480*272");
  EXPECT_EQ(out.AspectRatio, "37:20");
  EXPECT_EQ(out.VideoBitrate, 768000);
  EXPECT_TRUE(out.DisableSubtitle);

  p.FramerateValue = 2; // "Keep original frame rate": the source's rate
  p.Resolution = "KEEP ORIGINAL SIZE,320*240";
  p.ResolutionValue = 0;
  TOutputOptions kept;
  FillVideoSettings(kept, p, 0);
  EXPECT_EQ(kept.FrameRate, "");
  EXPECT_EQ(kept.FrameSize, "");
  EXPECT_EQ(kept.AspectRatio, "");
  EXPECT_EQ(kept.VideoTag, "");

  // HEVC into MP4 is tagged for Apple's players; other containers keep the library's choice.
  p.VideoEncoder = "H.265";
  p.VideoEncoderValue = 0;
  for (const auto &[ext, tag] : {std::pair{".mp4", "hvc1"}, {".MOV", "hvc1"}, {".mkv", ""}}) {
    p.Ext = ext;
    TOutputOptions hevc;
    FillVideoSettings(hevc, p, 0);
    EXPECT_EQ(hevc.VideoTag, tag) << ext;
  }
}

TEST(JobBuilderTest, UnreadableItemsNameProfileSettingAndItem) {
  TFormatRec p = VideoProfile();
  EXPECT_EQ(Refusal(p), "");

  p.AudioBitrate = "128kbps,256kbps";
  p.AudioBitrateValue = 1;
  EXPECT_EQ(Refusal(p), "Profile \"Test video\", setting AudioBitrate: the item \"256kbps\" cannot be read.");

  p = VideoProfile();
  p.Channel = " 2 Channels";
  p.ChannelValue = 0;
  EXPECT_EQ(Refusal(p), "Profile \"Test video\", setting Channel: the item \" 2 Channels\" cannot be read.");

  p = VideoProfile();
  p.VideoBitRateValue = 7;
  EXPECT_EQ(Refusal(p),
            "Profile \"Test video\", setting VideoBitRate: there is no item 7 in \"384 kbps,768 kbps\".");

  p = VideoProfile();
  p.SampleRateValue = -1;
  EXPECT_NE(Refusal(p).find("setting SampleRate"), std::string::npos);

  p = VideoProfile();
  p.VideoBitRate = "9999999 kbps"; // times 1000 leaves the 32-bit field
  p.VideoBitRateValue = 0;
  EXPECT_NE(Refusal(p).find("\"9999999 kbps\" cannot be read"), std::string::npos);
}

TEST(JobBuilderTest, AnEncoderTheLibrariesLackIsRefusedByName) {
  std::vector<std::pair<std::string, bool>> asked;
  const TEncoderCheck onlyMp3AndX264 = [&](const std::string &codec, bool video) {
    asked.emplace_back(codec, video);
    return codec == "mp3" || codec == "libx264";
  };
  TFormatRec p = VideoProfile();
  TOutputOptions out;
  FillAudioSettings(out, p, onlyMp3AndX264);
  p.VideoEncoderValue = 1;
  FillVideoSettings(out, p, 0, onlyMp3AndX264);
  EXPECT_EQ(asked, (std::vector<std::pair<std::string, bool>>{{"mp3", false}, {"libx264", true}}));

  p.AudioEncoderValue = 1;
  try {
    FillAudioSettings(out, p, onlyMp3AndX264);
    ADD_FAILURE() << "AAC accepted";
  } catch (const TProfileItemError &e) {
    EXPECT_STREQ(e.what(), "Profile \"Test video\", setting AudioEncoder: the item \"AAC\" needs the encoder "
                           "\"libfaac\", which the installed libraries lack.");
  }
  p.VideoEncoderValue = 0;
  EXPECT_THROW(FillVideoSettings(out, p, 0, onlyMp3AndX264), TProfileItemError);
  // Stream copy needs no encoder.
  p.VideoEncoder = "Copy";
  EXPECT_NO_THROW(FillVideoSettings(out, p, 0, onlyMp3AndX264));
}

TEST(JobBuilderTest, OutputNamesReplaceTheLastExtensionAndNumberCollisions) {
  TTempFolder temp;
  const auto none = [](const std::string &) { return false; };
  EXPECT_EQ(OutputFileName("/a/b/movie.final.avi", temp.Folder(), ".mp4", none), temp.File("movie.final.mp4"));
  EXPECT_EQ(OutputFileName("/a/b/noext", temp.Path().string(), ".mp4", none), temp.File("noext.mp4"));

  temp.Write("movie.final.mp4", "x");
  EXPECT_EQ(OutputFileName("/x/movie.final.avi", temp.Folder(), ".mp4", none), temp.File("movie.final_1.mp4"));

  // Names claimed by other queued files count like files on disk.
  const auto taken = [&](const std::string &name) {
    return name == temp.File("movie.final_1.mp4") || name == temp.File("movie.final_2.mp4");
  };
  EXPECT_EQ(OutputFileName("/x/movie.final.avi", temp.Folder(), ".mp4", taken), temp.File("movie.final_3.mp4"));
}

// A chosen quality gives each encoder its own constant-quality control in place of the bit rate;
// without a choice, or for an encoder without such a control, the bit rate stays.
TEST(JobBuilderTest, QualityChoicesMapPerEncoder) {
  TFormatRec p = VideoProfile();
  p.Quality = "High,Standard,Small";
  p.VideoEncoder = "H.264,H.265,VP9,AV1,VP8,Xvid,MPEG-2 Video,H.263 Video";
  p.AudioEncoder = "MP3 Audio,OGG,Opus";
  const struct {
    int Encoder, Quality;
    const char *Video;
    int Bitrate;
  } cases[] = {{0, 1, "crf=23\n", -1},       {0, 0, "crf=20\n", -1},        {1, 2, "crf=30\n", -1},
               {2, 1, "crf=33\nvb=0\n", -1}, {3, 1, "crf=35\n", -1},        {4, 1, "crf=12\n", 768000},
               {5, 1, "qscale=5\n", -1},     {6, 0, "qscale=3\n", -1},      {7, 2, "qscale=8\n", -1},
               {0, -1, "", 768000}};
  for (const auto &c : cases) {
    p.VideoEncoderValue = c.Encoder;
    p.QualityValue = c.Quality;
    TOutputOptions out;
    FillVideoSettings(out, p, 0);
    EXPECT_EQ(out.ExtOptions, c.Video) << c.Encoder << " " << c.Quality;
    EXPECT_EQ(out.VideoBitrate, c.Bitrate) << c.Encoder;
  }
  for (const auto &[encoder, lines] : {std::pair{0, "aq=4\n"}, {1, "aq=4\n"}, {2, ""}}) {
    p.AudioEncoderValue = encoder;
    p.QualityValue = 1;
    TOutputOptions out;
    FillAudioSettings(out, p);
    EXPECT_EQ(out.ExtOptions, lines) << encoder;
    EXPECT_EQ(out.AudioBitrate, 128000);
  }
  p.QualityValue = 3;
  EXPECT_NE(Refusal(p).find("setting Quality: there is no item 3"), std::string::npos);
  p.Quality = "High,Huge";
  p.QualityValue = 1;
  EXPECT_NE(Refusal(p).find("setting Quality: the item \"Huge\" cannot be read."), std::string::npos);
}

TEST(RunShapeTest, LightFilesShareTheCoresAndBigPicturesGetThemAlone) {
  EXPECT_TRUE(IsLightConversion(false, "1920x1080", 0));    // sound only
  EXPECT_TRUE(IsLightConversion(true, "320*240", 0));       // scaled down, as the profiles write sizes
  EXPECT_TRUE(IsLightConversion(true, "", 640 * 360));      // a small source kept as it is
  EXPECT_FALSE(IsLightConversion(true, "", 1920 * 1080));
  EXPECT_FALSE(IsLightConversion(true, "", 0));             // size unknown
  EXPECT_FALSE(IsLightConversion(true, "1280x720", 0));
  EXPECT_FALSE(IsLightConversion(true, "wide", 320 * 240)); // unreadable

  struct Case {
    int requested, cores, files;
    bool light, threadsSet;
    int simultaneous, codecThreads;
  };
  for (const Case c : {Case{0, 8, 12, true, false, 8, 1}, Case{0, 8, 3, true, false, 3, 2},
                       Case{0, 2, 12, false, false, 1, 0}, Case{0, 8, 12, false, false, 2, 4},
                       Case{0, 64, 100, true, false, MaxSimultaneous, 4}, Case{4, 2, 12, false, true, 4, 0},
                       Case{3, 2, 1, true, false, 1, 0}, Case{0, 0, 5, true, false, 1, 0}}) {
    const TRunShape shape = ShapeRun(c.requested, c.cores, c.files, c.light, c.threadsSet);
    EXPECT_EQ(shape.Simultaneous, c.simultaneous) << c.requested << " " << c.cores << " " << c.files;
    EXPECT_EQ(shape.CodecThreads, c.codecThreads) << c.requested << " " << c.cores << " " << c.files;
  }
  EXPECT_EQ(SimultaneousSetting(""), 0);
  EXPECT_EQ(SimultaneousSetting("4"), 4);
  EXPECT_EQ(SimultaneousSetting("-2"), 0);
  EXPECT_EQ(SimultaneousSetting("999"), MaxSimultaneous);
}

TEST(JobBuilderTest, LoudnessTargetsBecomeTheSoundsFilter) {
  TFormatRec p = VideoProfile();
  TOutputOptions out;
  FillAudioSettings(out, p);
  FillLoudness(out, p, std::nullopt);
  EXPECT_EQ(out.ExtOptions, "") << "no key: the sound is left alone";
  p.Loudness = "-16";
  FillLoudness(out, p, std::nullopt);
  EXPECT_EQ(out.ExtOptions, "afilters=loudnorm=I=-16.00:TP=-1.50:LRA=11.00,aresample=44100\n");
  // A measured source gets one gain; a range wider than the usual target widens the target.
  out.ExtOptions.clear();
  FillLoudness(out, p, TLoudness{-35.2, 14.0, -29.5, -45.2});
  EXPECT_EQ(out.ExtOptions, "afilters=loudnorm=I=-16.00:TP=-1.50:LRA=15.00:measured_I=-35.20:measured_LRA=14.00:"
                            "measured_TP=-29.50:measured_thresh=-45.20:linear=true,aresample=44100\n");
  for (const char *bad : {"loud", "-100", "0", "-16 LUFS"}) {
    p.Loudness = bad;
    EXPECT_THROW(FillLoudness(out, p, std::nullopt), TProfileItemError) << bad;
  }
  p.Loudness = "-16";
  out.ExtOptions.clear();
  out.DisableAudio = true;
  FillLoudness(out, p, std::nullopt);
  EXPECT_EQ(out.ExtOptions, "");
}

TEST(SizeTargetTest, SizesParseAndTheVideoRateFillsTheTargetAboveItsFloor) {
  for (const auto &[text, bytes] : {std::pair{"8MB", int64_t{8000000}}, {"700MiB", int64_t{734003200}},
                                    {"123", int64_t{123}}, {"1.5GB", int64_t{1500000000}}, {"900 KiB", int64_t{921600}}})
    EXPECT_EQ(ParseTargetSize(text), bytes) << text;
  for (const char *bad : {"", "MB", "-5MB", "0", "8XB", "8MBs", "nan", "1e30GB"})
    EXPECT_THROW(ParseTargetSize(bad), std::invalid_argument) << bad;
  // 60 s of 640×360 at 25 fps with 128 kb/s of sound into 8 MB: what the streams and the
  // container take adds up to the target's share.
  TSizeNeeds needs{60000, 128000, 80 * 10.0, 4000, 640.0 * 360 * 25};
  const int64_t video = VideoBitrateForSize(8000000, needs, "a.mp4");
  const double total = (static_cast<double>(video) + 128000) * 60 / 8 + 800 * 60 + 4000;
  EXPECT_LE(total, 8000000 * needs.Share);
  EXPECT_GT(total, 8000000 * needs.Share - 1000);
  // Ten minutes of 1080p into 8 MB leaves under 0.01 bits per pixel: refused with the least size.
  needs = {600000, 128000, 80 * 10.0, 4000, 1920.0 * 1080 * 25};
  try {
    VideoBitrateForSize(8000000, needs, "film.mkv");
    ADD_FAILURE() << "not refused";
  } catch (const TTargetTooSmall &e) {
    EXPECT_STREQ(e.what(), "The target size 8 MB is too small for \"film.mkv\": it needs at least 50.5 MB.");
  }
  // Just above that floor it is taken.
  EXPECT_GE(VideoBitrateForSize(50500000, needs, "film.mkv"), 1920 * 1080 * 25 * MinBitsPerPixel);
  // Sound alone over the target, and an unknown length, are refused too.
  EXPECT_THROW(VideoBitrateForSize(100000, TSizeNeeds{60000, 128000, 0, 0, 0}, "song.mp3"), TTargetTooSmall);
  EXPECT_THROW(VideoBitrateForSize(8000000, TSizeNeeds{-1, 128000, 0, 0, 640.0 * 360 * 25}, "x"), TTargetTooSmall);
  // The second pass: a first pass of sound alone (1 MB measured) leaves the rest of the share of
  // 8 MB over 10 s; a trial 10 % too big lowers the rate; statistics keep it.
  needs = {10000, 128000, 0, 0, 640.0 * 360 * 25};
  EXPECT_EQ(SecondPassBitrate(TTwoPassKind::SoundOnlyFirst, 5000000, 1000000, 8000000, needs),
            static_cast<int64_t>((8000000 * needs.Share - 1000000) * 8 / 10));
  EXPECT_LT(SecondPassBitrate(TTwoPassKind::TrialFirst, 5000000, int64_t(8000000 * needs.Share * 1.1), 8000000, needs),
            5000000 * 0.9);
  EXPECT_EQ(SecondPassBitrate(TTwoPassKind::Statistics, 5000000, 1000000, 8000000, needs), 5000000);
}
