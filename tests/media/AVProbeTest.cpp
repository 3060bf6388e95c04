#include "media/AVProbe.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

#include "../TempFolder.h"

#include <gtest/gtest.h>

namespace {

std::string Media(const std::string &name) {
  return std::string(TVL_TEST_MEDIA_DIR) + name;
}

class AVProbeTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFLoader.LibraryPath.clear();
    ASSERT_TRUE(FFLoader.LoadLibraries(EngineLibraries)) << FFLoader.LastError();
    AVUtil.av_log_set_level(AV_LOG_QUIET);
  }
  TAVProbe FProbe;
};

void ExpectClosed(const TAVProbe &probe) {
  EXPECT_EQ(probe.FormatContext(), nullptr);
  EXPECT_EQ(probe.FormatName(), "");
  for (int value : {probe.StreamCount(), probe.ProgramCount(), probe.AudioStreamCount(),
                    probe.VideoStreamCount(), probe.SubtitleStreamCount(), probe.FirstAudioStream(),
                    probe.FirstVideoStream(), probe.FirstSubtitleStream()})
    EXPECT_EQ(value, -1);
}

TEST_F(AVProbeTest, CountsStreamsAndFindsTheFirstOfEachKind) {
  const struct {
    const char *File;
    int Streams, Audio, Video, Subtitle, FirstAudio, FirstVideo, FirstSubtitle;
    int RateNum, RateDen; // of the video stream
  } cases[] = {
      {"clip25.avi", 2, 1, 1, 0, 1, 0, -1, 25, 1},
      {"clip2997.mp4", 2, 1, 1, 0, 1, 0, -1, 30000, 1001},
      {"clip15.mkv", 2, 1, 1, 0, 1, 0, -1, 15, 1},
      {"clip.mpg", 2, 1, 1, 0, 1, 0, -1, 25, 1},
      {"clip.flv", 2, 1, 1, 0, 0, 1, -1, 25, 1}, // streams in order of their first packet
      {"clip.3gp", 2, 1, 1, 0, 1, 0, -1, 15, 1},
      {"tone.mp3", 1, 1, 0, 0, 0, -1, -1, 0, 0},
      {"tone.wav", 1, 1, 0, 0, 0, -1, -1, 0, 0},
      {"tone.m4a", 1, 1, 0, 0, 0, -1, -1, 0, 0},
      {"subtitlefirst.mkv", 3, 1, 1, 1, 2, 1, 0, 25, 1},
      // The data stream counts only as a stream.
      {"databetweenaudio.ts", 3, 2, 0, 0, 0, -1, -1, 0, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.File);
    ASSERT_TRUE(FProbe.LoadFile(Media(c.File))) << FProbe.LastError();
    EXPECT_EQ(FProbe.StreamCount(), c.Streams);
    EXPECT_EQ(FProbe.AudioStreamCount(), c.Audio);
    EXPECT_EQ(FProbe.VideoStreamCount(), c.Video);
    EXPECT_EQ(FProbe.SubtitleStreamCount(), c.Subtitle);
    EXPECT_EQ(FProbe.FirstAudioStream(), c.FirstAudio);
    EXPECT_EQ(FProbe.FirstVideoStream(), c.FirstVideo);
    EXPECT_EQ(FProbe.FirstSubtitleStream(), c.FirstSubtitle);
    EXPECT_TRUE(FProbe.OwnsContext());
    if (c.FirstVideo >= 0) {
      AVFormatContext *context = FProbe.FormatContext();
      const AVRational rate = AVFormat.av_guess_frame_rate(context, context->streams[c.FirstVideo], nullptr);
      EXPECT_EQ(av_cmp_q(rate, AVRational{c.RateNum, c.RateDen}), 0) << rate.num << "/" << rate.den;
    }
    TFileStreamInfo info;
    FProbe.GetStreamInfo(info);
    EXPECT_GT(info.Duration, 1'500'000);
    EXPECT_LT(info.Duration, 2'500'000);
    EXPECT_EQ(FProbe.GetFileSize(), static_cast<int64_t>(std::filesystem::file_size(Media(c.File))));
  }
}

TEST_F(AVProbeTest, ReadsTimesAndTagsOrReportsThemUnknown) {
  TFileStreamInfo info;
  ASSERT_TRUE(FProbe.LoadFile(Media("clip2997.mp4"))) << FProbe.LastError();
  FProbe.GetStreamInfo(info);
  EXPECT_EQ(info.StartTime, 0);
  EXPECT_GT(info.BitRate, 0);
  EXPECT_EQ(info.Title, "Test Title");
  EXPECT_EQ(info.Comment, "Test Comment");
  EXPECT_EQ(info.Album, "Test Album");
  EXPECT_EQ(info.Genre, "Test Genre");
  EXPECT_EQ(info.Copyright, "Test Copyright");
  EXPECT_EQ(info.Author, ""); // no such tag in this library generation's files
  EXPECT_EQ(info.Year, 2009);
  EXPECT_EQ(info.Track, 3);
  EXPECT_EQ(info.Timestamp, int64_t{1559384430} * 1000000); // the generator's 2019-06-01T10:20:30Z

  ASSERT_TRUE(FProbe.LoadFile(Media("noduration.m4v"))) << FProbe.LastError();
  FProbe.GetStreamInfo(info);
  EXPECT_EQ(info.Duration, -1);
  EXPECT_EQ(info.Title, "");
  EXPECT_EQ(info.Year, -1);

  ASSERT_TRUE(FProbe.LoadFile(Media("short.mp4"))) << FProbe.LastError();
  FProbe.GetStreamInfo(info);
  EXPECT_GT(info.Duration, 0);
  EXPECT_LT(info.Duration, 1'000'000);
}

TEST_F(AVProbeTest, ReadsAnamorphicAndAwkwardlyNamedFiles) {
  ASSERT_TRUE(FProbe.LoadFile(Media("anamorphic.mp4"))) << FProbe.LastError();
  const AVCodecParameters *video = FProbe.FormatContext()->streams[FProbe.FirstVideoStream()]->codecpar;
  EXPECT_EQ(video->width, 720);
  EXPECT_EQ(video->height, 576);
  EXPECT_EQ(av_cmp_q(video->sample_aspect_ratio, AVRational{16, 11}), 0);

  ASSERT_TRUE(FProbe.LoadFile(Media("clip with spaces \xC3\xBCn\xC3\xAF\x63\xC3\xB8\x64\xC3\xA9.mp4")))
      << FProbe.LastError();
  EXPECT_EQ(FProbe.VideoStreamCount(), 1);
}

TEST_F(AVProbeTest, BadFilesGiveFalseWithAMessage) {
  TTempFolder temp;
  const struct {
    std::string Path;
    std::string Message;
  } cases[] = {
      {Media("empty.avi"), Media("empty.avi") + ": Unknown format"},
      {Media("text.avi"), Media("text.avi") + ": Unknown format"},
      {Media("truncated.mp4"), Media("truncated.mp4") + ": Unknown format"},
      {temp.File("missing.avi"), temp.File("missing.avi") + ": no such file or directory"},
      // Only regular files are opened: a pipe or a device could block or never end.
      {temp.Folder(), temp.Folder() + ": is a folder, not a regular file"},
      {"/dev/null", "/dev/null: is a character device, not a regular file"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Path);
    ASSERT_TRUE(FProbe.LoadFile(Media("tone.wav")));
    EXPECT_FALSE(FProbe.LoadFile(c.Path));
    EXPECT_EQ(FProbe.LastError(), c.Message);
    ExpectClosed(FProbe);
  }
  // A later success does not clear the message.
  EXPECT_TRUE(FProbe.LoadFile(Media("tone.wav")));
  EXPECT_EQ(FProbe.LastError(), "/dev/null: is a character device, not a regular file");
}

TEST_F(AVProbeTest, ForcedFormatIsKeptOrRefused) {
  ASSERT_TRUE(FProbe.LoadFile(Media("clip25.avi"), "avi")) << FProbe.LastError();
  EXPECT_EQ(FProbe.FormatName(), "avi");
  ASSERT_TRUE(FProbe.LoadFile(Media("clip25.avi")));
  EXPECT_EQ(FProbe.FormatName(), "");

  EXPECT_FALSE(FProbe.LoadFile(Media("clip25.avi"), "nosuchformat"));
  EXPECT_EQ(FProbe.LastError(), "Unknown input format: nosuchformat");
  ExpectClosed(FProbe);
}

TEST_F(AVProbeTest, QueriesWithoutAnInputGiveMinusOne) {
  ASSERT_TRUE(FProbe.LoadFile(Media("clip2997.mp4"), "mov"));
  FProbe.Close();
  ExpectClosed(FProbe);
  TFileStreamInfo info;
  info.Title = "stale";
  FProbe.GetStreamInfo(info);
  for (int64_t value :
       {info.StartTime, info.Duration, info.BitRate, info.Timestamp, int64_t{info.Year}, int64_t{info.Track}})
    EXPECT_EQ(value, -1);
  EXPECT_EQ(info.Title, "");
  EXPECT_EQ(FProbe.GetFileSize(), -1);
}

TEST_F(AVProbeTest, AttachedInputIsCountedButNeverClosed) {
  AVFormatContext *context = nullptr;
  ASSERT_EQ(AVFormat.avformat_open_input(&context, Media("subtitlefirst.mkv").c_str(), nullptr, nullptr), 0);
  ASSERT_TRUE(FProbe.LoadFile(Media("tone.wav")));

  FProbe.AttachContext(context); // closes the owned input first
  EXPECT_FALSE(FProbe.OwnsContext());
  EXPECT_EQ(FProbe.FormatContext(), context);
  EXPECT_EQ(FProbe.StreamCount(), 3);
  EXPECT_EQ(FProbe.FirstVideoStream(), 1);
  EXPECT_GT(FProbe.GetFileSize(), 0);

  FProbe.AttachContext(nullptr);
  ExpectClosed(FProbe);
  EXPECT_EQ(context->nb_streams, 3u); // still ours and alive (ASan would catch a close)
  AVFormat.avformat_close_input(&context);
}

TEST(AVProbeLibraries, NamesTheFirstLibraryNotBound) {
  const TLibrarySet all{LibAVUtil,   LibSwResample, LibSwScale, LibAVCodec,
                        LibAVFormat, LibAVFilter,   LibAVDevice};
  FFLoader.LibraryPath.clear();
  FFLoader.UnloadLibraries(all);
  TAVProbe probe;
  const struct {
    TLibrarySet Bound;
    const char *Message;
  } cases[] = {
      {{LibAVUtil}, "LibAVCodec not loaded."},
      {{LibAVCodec, LibAVUtil}, "LibAVFormat not loaded."},
      {{LibSwScale}, "LibAVCodec not loaded."},
      {{LibAVCodec, LibAVFormat, LibAVUtil}, "LibSwScale not loaded."},
  };
  for (const auto &c : cases) {
    ASSERT_TRUE(FFLoader.LoadLibraries(c.Bound)) << FFLoader.LastError();
    try {
      probe.LoadFile(Media("tone.wav"));
      ADD_FAILURE() << "no exception for " << c.Message;
    } catch (const std::runtime_error &e) {
      EXPECT_STREQ(e.what(), c.Message);
    }
    FFLoader.UnloadLibraries(all);
  }
  // Queries on a probe without libraries stay harmless.
  TFileStreamInfo info;
  probe.GetStreamInfo(info);
  EXPECT_EQ(info.Duration, -1);
}

} // namespace
