// Files as users bring them (phones, DVD menus, films, raw streams, B-frames, 10-bit or 4:2:2
// video) queued and converted with the profiles the program ships, and the outputs read back.
#include <algorithm>
#include <filesystem>
#include <map>

#include "ShippedFixture.h"
#include "convert/ColourMarks.h"
#include "convert/ConvertHelpers.h"
#include "convert/Loudness.h"

#include "../MediaFacts.h"

namespace {

namespace fs = std::filesystem;

using TRealFilesTest = TShippedTest;

// The output lasts as long as the source, within a frame of either; its streams are there.
void ExpectSameLength(const std::vector<TStreamFacts> &source, const std::vector<TStreamFacts> &output,
                      bool videoWanted) {
  for (AVMediaType type : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO}) {
    const TStreamFacts *in = StreamOf(source, type);
    const TStreamFacts *out = StreamOf(output, type);
    if (!in || (type == AVMEDIA_TYPE_VIDEO && !videoWanted)) {
      EXPECT_EQ(out, nullptr) << AVUtil.av_get_media_type_string(type);
      continue;
    }
    ASSERT_NE(out, nullptr) << AVUtil.av_get_media_type_string(type);
    EXPECT_GT(out->Frames, 0);
    // The frame-rate sync lets pictures lead by up to 1.1 frames of the new rate; audio encoders
    // without gapless data add their delay and pad the last frame.
    const double frame = type == AVMEDIA_TYPE_VIDEO ? in->FrameSeconds + 2 * out->FrameSeconds
                                                    : 2 * out->FrameSeconds;
    EXPECT_NEAR(out->Seconds, in->Seconds, frame + 1e-3)
        << AVUtil.av_get_media_type_string(type) << ": " << out->Frames << " frames of " << out->FrameSeconds
        << " s from " << in->Frames << " of " << in->FrameSeconds << " s";
  }
}

} // namespace

TEST_F(TRealFilesTest, FilesThatAreShortOrDoNotTellTheirLengthAreQueued) {
  // A DVD menu clip of 0.8 s: usable, under a second long.
  ASSERT_EQ(Driver.AddFile(Media("menu.vob")), 0);
  EXPECT_EQ(Driver.Files[0].Duration, 0);
  EXPECT_NEAR(static_cast<double>(Driver.Files[0].DurationMs), 800, 100);
  // A raw stream says nothing of its length, or gives a guess from a nominal bit rate.
  for (const char *name : {"noduration.m4v", "estimated.m1v"}) {
    const int position = Driver.AddFile(Media(name));
    ASSERT_GT(position, 0) << name;
    EXPECT_EQ(Driver.Files[position].Duration, -1) << name;
    EXPECT_EQ(Driver.Files[position].DurationMs, -1) << name;
    EXPECT_EQ(FormatSeconds(Driver.Files[position].Duration), "--:--:--");
  }
  for (const char *bad : {"text.avi", "empty.avi", "truncated.mp4", "missing.avi"})
    EXPECT_EQ(Driver.AddFile(Media(bad)), TTvlConvert::Unusable) << bad;
  // Rows show what the file holds, whatever its name says.
  ASSERT_GT(Driver.AddFile(Copy("tone.mp3", "song.avi")), 0);
  EXPECT_FALSE(Driver.Files[Driver.Files.Count() - 1].HasVideo);
  EXPECT_TRUE(Driver.Files[0].HasVideo);

  // Only a trim limits the output's length.
  Driver.Files[0].TrimStart = 200;
  Driver.Files[0].TrimDuration = 400;
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out())) << Driver.BuildError();
  EXPECT_EQ(Driver.Files[0].OutputOptions.RecordTimeMs, 400);
  for (int p = 1; p < Driver.Files.Count(); ++p)
    EXPECT_EQ(Driver.Files[p].OutputOptions.RecordTimeMs, -1) << Driver.Files[p].FileName;
  Driver.EndRun();
}

// Each class of file with the shipped H.264, 3GP and MP3 profiles.
TEST_F(TRealFilesTest, EachClassConvertsWithTheShippedProfiles) {
  for (const char *name :
       {"bframes.mp4", "phone.mp4", "chroma422.mkv", "surround.mkv", "estimated.m1v", "menu.vob", "noduration.m4v"}) {
    const auto source = ReadMediaFacts(Media(name));
    ASSERT_FALSE(source.empty()) << name;
    for (const int profile : {H264, Phone3gp, Mp3}) {
      if (profile == Mp3 && !StreamOf(source, AVMEDIA_TYPE_AUDIO))
        continue;
      SCOPED_TRACE(std::string(name) + " with " + Profiles.Formats[static_cast<std::size_t>(profile)].Name);
      const std::string output = Convert(Media(name), profile);
      if (output.empty())
        continue;
      const auto converted = ReadMediaFacts(output);
      ExpectSameLength(source, converted, profile != Mp3);
      const TStreamFacts *video = StreamOf(converted, AVMEDIA_TYPE_VIDEO);
      if (!video)
        continue;
      // Players and phones take 8-bit 4:2:0 only; the picture is upright and says no more about turning.
      EXPECT_EQ(video->PixelFormat, AV_PIX_FMT_YUV420P);
      EXPECT_FALSE(video->Rotated);
      if (std::string(name) == "phone.mp4") {
        EXPECT_LT(video->DisplayAspect, 1.0) << "portrait";
        EXPECT_GT(video->TopLuma, video->BottomLuma + 100) << "the marked side is on top";
      }
      fs::remove(output);
    }
  }
}

TEST_F(TRealFilesTest, EveryVideoProfileConvertsAVariableRatePhoneClipAtItsOwnRate) {
  const auto source = ReadMediaFacts(Media("phone.mp4"));
  for (std::size_t i = 0; i < Profiles.Formats.size(); ++i) {
    if (Profiles.Formats[i].Category != 1)
      continue;
    SCOPED_TRACE(Profiles.Formats[i].Name);
    const std::string output = Convert(Media("phone.mp4"), static_cast<int>(i));
    if (!output.empty())
      ExpectSameLength(source, ReadMediaFacts(output), true);
  }
}

namespace {

// The file's own tags as the libraries read them back; Ogg keeps its comments on the stream.
std::map<std::string, std::string> FileTags(const std::string &path) {
  std::map<std::string, std::string> tags;
  AVFormatContext *context = nullptr;
  if (AVFormat.avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0)
    return tags;
  for (const AVDictionary *dict : {context->metadata, context->nb_streams ? context->streams[0]->metadata : nullptr}) {
    const AVDictionaryEntry *tag = nullptr;
    while ((tag = AVUtil.av_dict_get(dict, "", tag, AV_DICT_IGNORE_SUFFIX)))
      tags.emplace(LowerCase(tag->key), tag->value);
  }
  AVFormat.avformat_close_input(&context);
  return tags;
}

} // namespace

// Libraries sort by the creation date: the source's, never the moment of conversion. Formats with
// no place for tags (FLV as its muxer writes it, MPEG-PS, raw AC-3 and MP2) are left out.
TEST_F(TRealFilesTest, EveryProfileKeepsTheSourcesTagsAndCreationDate) {
  const std::string taken = "2019-06-01T10:20:30.000000Z";
  const std::vector<std::string> dated = {".mp4", ".mov", ".m4v", ".mkv", ".webm", ".m4a", ".mp3",
                                          ".flac", ".3gp", ".ogg", ".opus"};
  const std::vector<std::string> titled = {".mp4", ".mov", ".m4v", ".mkv", ".webm", ".m4a", ".mp3",
                                           ".flac", ".avi", ".wav", ".ogg", ".opus"};
  const auto has = [](const std::vector<std::string> &list, const std::string &ext) {
    return std::find(list.begin(), list.end(), ext) != list.end();
  };
  for (std::size_t i = 0; i < Profiles.Formats.size(); ++i) {
    const std::string ext = LowerCase(Profiles.Formats[i].Ext);
    SCOPED_TRACE(Profiles.Formats[i].Name);
    const std::string output = Convert(Media("clip2997.mp4"), static_cast<int>(i));
    if (output.empty())
      continue;
    auto tags = FileTags(output);
    if (has(dated, ext))
      EXPECT_EQ(tags["creation_time"], taken);
    else
      EXPECT_EQ(tags.count("creation_time"), 0u) << ext << ": not the moment of conversion";
    if (has(titled, ext)) {
      EXPECT_EQ(tags["title"], "Test Title");
      EXPECT_EQ(tags["artist"], "Test Artist");
    }
    fs::remove(output);
  }
  auto phone = FileTags(Convert(Media("phone.mp4"), H264));
  EXPECT_EQ(phone["creation_time"], taken);
  EXPECT_EQ(phone["location"], "+48.8584+002.2945/");
}

// A quiet and a loud source, converted in one run (each measured by its own task, side by side),
// come out at the target loudness with true peaks under -1 dBTP, as long as they went in: the
// filter's look-ahead neither shifts nor cuts the sound.
TEST_F(TRealFilesTest, QuietAndLoudSoundComeOutAtTheTargetLoudness) {
  Driver.AllowSimultaneous = true;
  const char *names[] = {"quiet.m4a", "loud.m4a"};
  for (const int profile : {Mp3, H264}) {
    Profiles.Formats[static_cast<std::size_t>(profile)].Loudness = "-16";
    SCOPED_TRACE(Profiles.Formats[static_cast<std::size_t>(profile)].Name);
    Driver.Clear();
    for (const char *name : names)
      ASSERT_GE(Driver.AddFile(Media(name)), 0) << name;
    ASSERT_TRUE(Driver.BuildRun(profile, Out())) << Driver.BuildError();
    ASSERT_EQ(Driver.Engine.TaskTotal(), 2);
    ASSERT_TRUE(RunToEnd());
    Driver.EndRun();
    for (int p = 0; p < 2; ++p) {
      const TInputFile &file = Driver.Files[p];
      ASSERT_EQ(file.Status, csSuccess) << names[p] << ": " << file.StatusText;
      const auto in = MeasureLoudness(file.FileName, 0, -1);
      const auto out = MeasureLoudness(file.OutputOptions.FileName, 0, -1);
      ASSERT_TRUE(in && out) << names[p];
      std::printf("%s: %.2f LUFS %.2f dBTP -> %.2f LUFS %.2f dBTP\n", names[p], in->Integrated, in->TruePeak,
                  out->Integrated, out->TruePeak);
      EXPECT_NEAR(out->Integrated, -16.0, 1.5) << names[p];
      EXPECT_LE(out->TruePeak, -1.0) << names[p];
      ExpectSameLength(ReadMediaFacts(file.FileName), ReadMediaFacts(file.OutputOptions.FileName), false);
      fs::remove(file.OutputOptions.FileName);
    }
  }
}

// The estimate before converting, measured on encoded samples, against the real size: within a
// quarter with quality and bit-rate profiles, on a clip sampled in pieces (10 s; 7 s at 1080p), one
// encoded whole (2 s) and a pure tone, whose AAC takes far less than its bit rate. The 1080p clip
// goes through the fast encoders and the phone profile, whose low bit rate its encoder cannot reach.
TEST_F(TRealFilesTest, EstimatesComeWithinAQuarterOfTheRealSizes) {
  const int mpeg1 = ShippedProfile(Profiles, "MPEG-1"), h265 = ShippedProfile(Profiles, "MP4 - H.265");
  const int av1 = TCustomFFmpeg::HasEncoder("libsvtav1", AVMEDIA_TYPE_VIDEO) ? ShippedProfile(Profiles, "WebM - AV1") : -1;
  std::vector<int> profiles = {H264, Mp3, Phone3gp, mpeg1, ShippedProfile(Profiles, "AVI - Xvid"),
                               ShippedProfile(Profiles, "WebM - VP9"), h265};
  if (av1 >= 0)
    profiles.push_back(av1);
  Profiles.CopyStreams = false;
  for (const char *name : {"scene.mp4", "fit.mkv", "quiet.m4a", "scene1080.mp4"}) {
    const bool large = std::string(name) == "scene1080.mp4", sound = std::string(name) == "quiet.m4a";
    for (const int profile : profiles) {
      // The sound of H.265 and AV1 is that of H.264 and VP9.
      if ((large && profile != H264 && profile != Phone3gp && profile != mpeg1) ||
          (sound && (profile == h265 || profile == av1)))
        continue;
      const std::string &profileName = Profiles.Formats[static_cast<std::size_t>(profile)].Name;
      SCOPED_TRACE(std::string(name) + " with " + profileName);
      Driver.Clear();
      ASSERT_EQ(Driver.AddFile(Media(name)), 0);
      const int64_t guess = Driver.EstimatedBytes(0, profile);
      EXPECT_TRUE(Driver.SampleSize(0, profile));
      const int64_t estimate = Driver.EstimatedBytes(0, profile);
      const std::string output = Convert(Media(name), profile);
      ASSERT_FALSE(output.empty());
      const auto real = static_cast<double>(fs::file_size(output));
      const double error = static_cast<double>(estimate) / real - 1.0;
      std::printf("%-13s %-45s guess %+6.1f %% sampled %9lld real %9.0f error %+5.1f %%\n", name,
                  profileName.c_str(), 100 * (static_cast<double>(guess) / real - 1.0),
                  static_cast<long long>(estimate), real, 100 * error);
      EXPECT_LT(std::abs(error), 0.25);
      fs::remove(output);
    }
  }
}

namespace {

// The first picture stream's colour marks: primaries, transfer, matrix.
std::vector<int> ColourMarksOf(const std::string &path) {
  AVFormatContext *context = nullptr;
  std::vector<int> marks;
  if (AVFormat.avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0)
    return marks;
  if (AVFormat.avformat_find_stream_info(context, nullptr) >= 0)
    if (const int v = AVFormat.av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0); v >= 0) {
      const AVCodecParameters *par = context->streams[v]->codecpar;
      marks = {par->color_primaries, par->color_trc, par->color_space};
    }
  AVFormat.avformat_close_input(&context);
  return marks;
}

} // namespace

// A PQ and an HLG ramp converted to the 8-bit H.264 profile look as the same ramp made in SDR
// (mean luma within 15 %) and are marked BT.709; an unmarked SDR source is marked BT.709 too. A
// 10-bit output keeps HDR with its marks; without the filters the result says it was not mapped.
TEST_F(TRealFilesTest, HdrSourcesAreToneMappedToSdrAndEveryOutputIsMarked) {
  std::printf("zscale %s, tonemap %s\n", InstalledFilter("zscale") ? "installed" : "missing",
              InstalledFilter("tonemap") ? "installed" : "missing");
  ASSERT_TRUE(InstalledFilter("zscale") && InstalledFilter("tonemap"));
  const auto original = ReadMediaFacts(Media("ramp-sdr.mkv"));
  ASSERT_TRUE(StreamOf(original, AVMEDIA_TYPE_VIDEO));
  const double sdrLuma = StreamOf(original, AVMEDIA_TYPE_VIDEO)->TopLuma;
  const std::vector<int> bt709{AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709};
  for (const char *name : {"ramp-pq.mkv", "ramp-hlg.mkv", "clip25.avi"}) {
    SCOPED_TRACE(name);
    const std::string output = Convert(Media(name), H264);
    ASSERT_FALSE(output.empty());
    const auto converted = ReadMediaFacts(output);
    const TStreamFacts *video = StreamOf(converted, AVMEDIA_TYPE_VIDEO);
    ASSERT_TRUE(video);
    if (std::string(name) != "clip25.avi") {
      std::printf("%s: mean luma %.1f, SDR original %.1f (%+.1f %%)\n", name, video->TopLuma, sdrLuma,
                  100 * (video->TopLuma / sdrLuma - 1));
      EXPECT_NEAR(video->TopLuma, sdrLuma, 0.15 * sdrLuma);
    }
    EXPECT_EQ(video->PixelFormat, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(ColourMarksOf(output), bt709);
    fs::remove(output);
  }
  TSourceFacts pq;
  pq.VideoCodec = AV_CODEC_ID_FFV1;
  pq.ColorTransfer = AVCOL_TRC_SMPTE2084;
  TOutputOptions deep;
  deep.VideoCodec = "libx265";
  deep.PixelFormat = "yuv420p10le";
  EXPECT_EQ(FillColour(deep, pq), "");
  EXPECT_EQ(deep.VideoFilters, "");
  EXPECT_EQ(deep.ExtOptions, "color_primaries=9\ncolor_trc=16\ncolorspace=9\n");
  TOutputOptions flat;
  flat.VideoCodec = "libx264";
  flat.PixelFormat = "yuv420p";
  EXPECT_NE(FillColour(flat, pq, [](const char *) { return false; }).find("not tone-mapped"), std::string::npos);
  EXPECT_EQ(flat.VideoFilters, "");
}
