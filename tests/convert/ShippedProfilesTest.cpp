// The profiles the program ships, converted for real: every choice of every list, each with the
// profile's other choices at their defaults, and the settings file of the first release.
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "ConvertFixture.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"

namespace fs = std::filesystem;

namespace {

// The codec each encoder label of the shipped files writes, as the libraries name codecs.
const std::map<std::string, std::string> WrittenCodecs = {{"AAC", "aac"},
                                                          {"MP3 Audio", "mp3"},
                                                          {"AC-3 Audio", "ac3"},
                                                          {"MPEG-2 Audio", "mp2"},
                                                          {"OGG", "vorbis"},
                                                          {"WAV", "pcm_s16le"},
                                                          {"Opus", "opus"},
                                                          {"FLAC", "flac"},
                                                          {"H.264", "h264"},
                                                          {"H.265", "hevc"},
                                                          {"VP8", "vp8"},
                                                          {"VP9", "vp9"},
                                                          {"AV1", "av1"},
                                                          {"Xvid", "mpeg4"},
                                                          {"H.263 Video", "h263"},
                                                          {"FLV Video", "flv1"},
                                                          {"MPEG-1 Video", "mpeg1video"},
                                                          {"MPEG-2 Video", "mpeg2video"}};

// The source: 160x120 at 25 frames per second.
constexpr int SourceWidth = 160, SourceHeight = 120;
constexpr double SourceRate = 25;

// One of the eight lists of a profile.
struct TList {
  const char *Name;
  std::string TFormatRec::*Items;
  int32_t TFormatRec::*Value;
  bool Video;
};
const TList Lists[] = {
    {"Resolution", &TFormatRec::Resolution, &TFormatRec::ResolutionValue, true},
    {"Framerate", &TFormatRec::Framerate, &TFormatRec::FramerateValue, true},
    {"VideoEncoder", &TFormatRec::VideoEncoder, &TFormatRec::VideoEncoderValue, true},
    {"VideoBitRate", &TFormatRec::VideoBitRate, &TFormatRec::VideoBitRateValue, true},
    {"SampleRate", &TFormatRec::SampleRate, &TFormatRec::SampleRateValue, false},
    {"AudioBitrate", &TFormatRec::AudioBitrate, &TFormatRec::AudioBitrateValue, false},
    {"AudioEncoder", &TFormatRec::AudioEncoder, &TFormatRec::AudioEncoderValue, false},
    {"Channel", &TFormatRec::Channel, &TFormatRec::ChannelValue, false},
};

std::string Selected(const TFormatRec &p, const TList &list) {
  std::vector<std::string> items;
  TIniOptions::SplitList(p.*list.Items, items);
  return items.at(static_cast<std::size_t>(p.*list.Value));
}

int Leading(const std::string &text) {
  return std::stoi(text);
}

// What the output of a profile must hold, from the profile's chosen items.
struct TExpected {
  bool Video = false;
  std::string VideoCodec, AudioCodec;
  int Width = 0, Height = 0;
  double Rate = 0;
  int SampleRate = 0, Channels = 0;
};

TExpected Expect(const TFormatRec &p) {
  TExpected e;
  e.Video = p.Category == 1;
  e.AudioCodec = WrittenCodecs.at(Selected(p, Lists[6]));
  e.SampleRate = Leading(Selected(p, Lists[4]));
  e.Channels = Selected(p, Lists[7])[0] - '0';
  if (!e.Video)
    return e;
  e.VideoCodec = WrittenCodecs.at(Selected(p, Lists[2]));
  const std::string size = Selected(p, Lists[0]);
  const auto star = size.find('*');
  e.Width = star == std::string::npos ? SourceWidth : Leading(size);
  e.Height = star == std::string::npos ? SourceHeight : Leading(size.substr(star + 1));
  const std::string rate = Selected(p, Lists[1]);
  e.Rate = rate == "Keep original frame rate" ? SourceRate : std::stod(rate);
  return e;
}

const AVStream *FirstStream(const AVFormatContext *file, AVMediaType type) {
  for (unsigned i = 0; i < file->nb_streams; ++i)
    if (file->streams[i]->codecpar->codec_type == type)
      return file->streams[i];
  return nullptr;
}

// Within 5 %: Matroska keeps times in milliseconds, so 60 frames per second read as 62.5.
bool NearRate(AVRational rate, double expected) {
  return rate.den != 0 && std::abs(double(rate.num) / rate.den - expected) <= expected * 0.05;
}

std::string CodecName(const AVStream *stream) {
  return AVCodecLib.avcodec_get_name(stream->codecpar->codec_id);
}

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ShippedProfiles : public TConvertTest {
protected:
  void SetUp() override {
    TConvertTest::SetUp();
    ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  }

  // Converts the source's first milliseconds with the profile; the output file, or "" after
  // recording the failure.
  std::string Convert(const TFormatRec &profile, int ms) {
    Profiles.Formats = {profile};
    Profiles.FormatCount = 1;
    TInputFile &file = Driver.Files[0];
    file.TrimStart = 0;
    file.TrimDuration = ms;
    if (!Driver.BuildRun(0, Out())) {
      ADD_FAILURE() << Driver.BuildError();
      return "";
    }
    const bool ended = RunToEnd();
    Driver.EndRun();
    if (!ended || file.Status != csSuccess) {
      ADD_FAILURE() << (ended ? file.StatusText : "the run did not end");
      return "";
    }
    return file.OutputOptions.FileName;
  }

  // Converts and compares the output's streams with what the profile's choices ask for. The rate is
  // judged when asked for; pictures larger than 854x480 are costly for the newer encoders, and two
  // show the size.
  void ConvertAndCheck(const TFormatRec &profile, bool checkRate) {
    const TExpected e = Expect(profile);
    const bool large = int64_t{e.Width} * e.Height > 854 * 480;
    checkRate = checkRate && e.Video && !large;
    const std::string output = Convert(profile, large ? 80 : checkRate ? 300 : 120);
    if (output.empty())
      return;
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(output)) << probe.LastError();
    const AVStream *audio = FirstStream(probe.FormatContext(), AVMEDIA_TYPE_AUDIO);
    const AVStream *video = FirstStream(probe.FormatContext(), AVMEDIA_TYPE_VIDEO);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(CodecName(audio), e.AudioCodec);
    EXPECT_EQ(audio->codecpar->sample_rate, e.SampleRate);
    EXPECT_EQ(audio->codecpar->ch_layout.nb_channels, e.Channels);
    ASSERT_EQ(video != nullptr, e.Video);
    if (video) {
      EXPECT_EQ(CodecName(video), e.VideoCodec);
      EXPECT_EQ(video->codecpar->width, e.Width);
      EXPECT_EQ(video->codecpar->height, e.Height);
      EXPECT_EQ(video->codecpar->format, AV_PIX_FMT_YUV420P);
      if (e.VideoCodec == "hevc" && profile.Ext == ".mp4") {
        EXPECT_EQ(video->codecpar->codec_tag, MKTAG('h', 'v', 'c', '1')) << "Apple players want hvc1";
      }
      // Containers that let frames keep their times (Matroska, WebM) are given no repeated pictures:
      // a rate above the source's shows the source's there.
      if (checkRate) {
        const double rate =
            e.Rate > SourceRate && (profile.Ext == ".mkv" || profile.Ext == ".webm") ? SourceRate : e.Rate;
        EXPECT_TRUE(NearRate(video->r_frame_rate, e.Rate) || NearRate(video->avg_frame_rate, e.Rate) ||
                    NearRate(video->r_frame_rate, rate))
            << video->r_frame_rate.num << "/" << video->r_frame_rate.den << " and "
            << video->avg_frame_rate.num << "/" << video->avg_frame_rate.den;
      }
    }
    if (!profile.Target.empty())
      ExpectDvdProgramStream(output);
    probe.Close();
    fs::remove(output);
  }

  // Every 2048-byte sector is a pack at the DVD's mux rate, and navigation packs are there.
  static void ExpectDvdProgramStream(const std::string &path) {
    const std::string data = ReadFile(path);
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(data.size() % 2048, 0u);
    for (std::size_t at = 0; at + 14 <= data.size(); at += 2048) {
      ASSERT_EQ(data.compare(at, 4, std::string("\0\0\1\xba", 4)), 0) << "sector at " << at;
      const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(data[at + i]); };
      // 10,080,000 bits per second in units of 50 bytes per second.
      EXPECT_EQ((byte(10) << 14) | (byte(11) << 6) | (byte(12) >> 2), 25200) << "sector at " << at;
    }
    EXPECT_NE(data.find(std::string("\0\0\1\xbf", 4)), std::string::npos);
  }
};

const std::vector<TFormatRec> &Shipped() {
  static const std::vector<TFormatRec> formats = [] {
    TIniOptions shipped;
    shipped.LoadFromFile(TVL_SHIPPED_SETTINGS);
    return shipped.Formats;
  }();
  return formats;
}

std::vector<int> ShippedIndexes() {
  std::vector<int> indexes(Shipped().size());
  for (std::size_t i = 0; i < indexes.size(); ++i)
    indexes[i] = static_cast<int>(i);
  return indexes;
}

// One test per shipped profile, so the slow encoders' profiles convert side by side.
class ShippedProfile : public ShippedProfiles, public ::testing::WithParamInterface<int> {};

TEST_P(ShippedProfile, EveryChoiceConverts) {
  const TFormatRec &profile = Shipped().at(static_cast<std::size_t>(GetParam()));
  SCOPED_TRACE(profile.Name);
  ConvertAndCheck(profile, true);
  for (const TList &list : Lists) {
    if (list.Video && profile.Category != 1)
      continue;
    std::vector<std::string> items;
    TIniOptions::SplitList(profile.*list.Items, items);
    for (int i = 0; i < static_cast<int>(items.size()); ++i) {
      if (i == profile.*list.Value)
        continue;
      SCOPED_TRACE(std::string(list.Name) + " " + items[static_cast<std::size_t>(i)]);
      TFormatRec choice = profile;
      choice.*list.Value = i;
      ConvertAndCheck(choice, list.Value == &TFormatRec::FramerateValue);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedProfile, ::testing::ValuesIn(ShippedIndexes()));

TEST(ShippedSettings, KeepTheFirstReleasesProfilesAtTheirIndexes) {
  TIniOptions earlier;
  earlier.LoadFromFile(TVL_EARLIER_SETTINGS);
  ASSERT_EQ(earlier.Formats.size(), 15u);
  ASSERT_GE(Shipped().size(), 20u);
  for (std::size_t i = 0; i < earlier.Formats.size(); ++i) {
    EXPECT_EQ(Shipped()[i].Name, earlier.Formats[i].Name);
    EXPECT_EQ(Shipped()[i].Ext, earlier.Formats[i].Ext);
    EXPECT_EQ(Shipped()[i].Category, earlier.Formats[i].Category);
  }
}

// The first release's settings file still converts with every profile as it was left.
TEST_F(ShippedProfiles, TheFirstReleasesSettingsStillConvert) {
  TIniOptions earlier;
  earlier.LoadFromFile(TVL_EARLIER_SETTINGS);
  ASSERT_EQ(earlier.Formats.size(), 15u);
  for (const TFormatRec &profile : earlier.Formats) {
    SCOPED_TRACE(profile.Name);
    const std::string output = Convert(profile, 300);
    if (output.empty())
      continue;
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(output)) << probe.LastError();
    EXPECT_EQ(probe.AudioStreamCount(), 1);
    EXPECT_EQ(probe.VideoStreamCount(), profile.Category == 1 ? 1 : 0);
    probe.Close();
    fs::remove(output);
  }
}

} // namespace
