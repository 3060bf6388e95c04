#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string_view>
#include <thread>

#include "ConvertFixture.h"
#include "convert/QueueFiller.h"
#include "convert/JobBuilder.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "platform/MainThread.h"

namespace fs = std::filesystem;

TEST(InputFileListTest, PositionsAreCheckedAndRecordsOwned) {
  TInputFileList list;
  for (const char *name : {"a", "b", "c"}) {
    auto file = std::make_unique<TInputFile>();
    file->FileName = name;
    list.Add(std::move(file));
  }
  list.Exchange(0, 2);
  EXPECT_EQ(list[0].FileName, "c");
  EXPECT_EQ(list[2].FileName, "a");
  list.Delete(1);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[1].FileName, "a");
  EXPECT_THROW(list.Get(2), std::out_of_range);
  EXPECT_THROW(list.Exchange(-1, 0), std::out_of_range);
  EXPECT_THROW(list.Delete(5), std::out_of_range);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(TConvertTest, AddFileKeepsProbedFactsAndRefusesUnusableFiles) {
  const int first = Driver.AddFile(Media("clip25.avi"));
  ASSERT_EQ(first, 0);
  const TInputFile &clip = Driver.Files[0];
  EXPECT_EQ(clip.FileType, "avi");
  EXPECT_EQ(clip.FileSize, static_cast<int64_t>(fs::file_size(Media("clip25.avi"))));
  EXPECT_EQ(clip.Duration, 2);
  EXPECT_NEAR(static_cast<double>(clip.DurationMs), 2000, 100);
  EXPECT_EQ(clip.TrimStart, -1);
  EXPECT_EQ(clip.TrimDuration, clip.DurationMs);
  EXPECT_EQ(clip.InputOptions.FileName, Media("clip25.avi"));
  EXPECT_EQ(clip.Status, csNone);

  EXPECT_EQ(Driver.AddFile(Media("clip25.avi")), TTvlConvert::AlreadyQueued);
  for (const char *bad : {"text.avi", "empty.avi", "truncated.mp4", "missing.avi"})
    EXPECT_EQ(Driver.AddFile(Media(bad)), TTvlConvert::Unusable) << bad;
  EXPECT_EQ(Driver.AddFile("/dev/zero"), TTvlConvert::Unusable); // would be read without end
  EXPECT_EQ(Driver.Engine.Probe().LastError(), "/dev/zero: is a character device, not a regular file");

  EXPECT_EQ(Driver.AddFile(Copy("clip15.mkv", "noextension")), 1);
  EXPECT_EQ(Driver.Files[1].FileType, "");
  EXPECT_EQ(Driver.Files.Count(), 2);
}

TEST_F(TConvertTest, TheQueueFillerProbesInTheGivenOrderOffTheCallersThread) {
  const std::vector<std::string> paths{Media("clip2997.mp4"), Media("text.avi"), Media("clip25.avi"),
                                       Media("clip2997.mp4")};
  TQueueFiller filler(paths);
  std::vector<TProbedFile> probed;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!filler.Done() && std::chrono::steady_clock::now() < deadline) {
    for (TProbedFile &file : filler.Take())
      probed.push_back(std::move(file));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(filler.Done());
  EXPECT_EQ(filler.Total(), 4);
  EXPECT_EQ(filler.Probed(), 4);
  ASSERT_EQ(probed.size(), 4u);
  std::vector<int> results;
  for (std::size_t i = 0; i < probed.size(); ++i) {
    EXPECT_EQ(probed[i].Path, paths[i]);
    results.push_back(Driver.AddProbed(probed[i].Path, std::move(probed[i].File)));
  }
  // The same results as AddFile: a position, unusable, and the second copy of a path refused.
  EXPECT_EQ(results, (std::vector<int>{0, TTvlConvert::Unusable, 1, TTvlConvert::AlreadyQueued}));
  EXPECT_EQ(Driver.Files[0].Duration, 2);
}

TEST_F(TConvertTest, AFillerDroppedAtOnceEndsItsWorkerFirst) {
  // The window may close while a folder is still being listed or probed.
  Copy("clip25.avi", "folder/a.avi");
  Copy("clip2997.mp4", "folder/b.mp4");
  for (int i = 0; i < 20; ++i) {
    auto filler = TQueueFiller::ForFolder(Temp.Folder() + "folder/");
    if (i % 2)
      filler->Stop();
  }
}

TEST_F(TConvertTest, AddFileAcceptsFilesOfTwoGibibytesAndMore) {
  // A sparse copy of an MP4 file: its index still says two seconds, the file holds 3 GiB.
  const std::string big = Copy("clip2997.mp4", "big.mp4");
  fs::resize_file(big, 3ull << 30);
  ASSERT_EQ(Driver.AddFile(big), 0);
  EXPECT_EQ(Driver.Files[0].FileSize, int64_t{3} << 30);
}

TEST_F(TConvertTest, AudioVideoAndKeepVideoProfilesFillTheRecordsTheirWay) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  Driver.Files[0].AspectIndex = 2;
  Profiles.CopyStreams = false; // the clip's MP3 sound fits the MP3 profile: it would be copied

  ASSERT_TRUE(Driver.BuildRun(AudioMp3, Out())) << Driver.BuildError();
  EXPECT_EQ(Driver.ProfileIndex, AudioMp3);
  EXPECT_EQ(Driver.Engine.TaskTotal(), 1);
  const TInputFile &f = Driver.Files[0];
  EXPECT_EQ(f.InputOptions.ExtOptions, "vn=1");
  EXPECT_EQ(f.OutputOptions.FileName, Out() + "clip25.mp3");
  EXPECT_TRUE(f.OutputOptions.DisableVideo);
  EXPECT_EQ(f.OutputOptions.AudioCodec, "libmp3lame");
  EXPECT_EQ(f.OutputOptions.VideoCodec, "");
  EXPECT_EQ(f.OutputOptions.AspectRatio, "");
  EXPECT_FALSE(f.OutputOptions.DisableSubtitle);
  EXPECT_EQ(f.OutputOptions.Timestamp, -1.0); // the source's own date, not the conversion's

  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out())) << Driver.BuildError();
  EXPECT_EQ(Driver.Engine.TaskTotal(), 1); // the earlier run's task is gone
  EXPECT_EQ(f.InputOptions.ExtOptions, "");
  EXPECT_FALSE(f.OutputOptions.DisableVideo);
  EXPECT_EQ(f.OutputOptions.VideoCodec, "mpeg1video");
  EXPECT_EQ(f.OutputOptions.AspectRatio, "16:9");
  EXPECT_TRUE(f.OutputOptions.DisableSubtitle);

  ASSERT_TRUE(Driver.BuildRun(KeepVideoMpg, Out())) << Driver.BuildError();
  EXPECT_EQ(f.InputOptions.ExtOptions, "");
  EXPECT_FALSE(f.OutputOptions.DisableVideo);
  EXPECT_EQ(f.OutputOptions.VideoCodec, "");
  EXPECT_EQ(f.OutputOptions.AspectRatio, "");
  Driver.EndRun();
  EXPECT_EQ(Driver.Engine.TaskTotal(), 0);
}

TEST_F(TConvertTest, TheSettingsThreadCountReachesEveryTask) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  Profiles.Threads = "1";
  ASSERT_TRUE(Driver.BuildRun(AudioMp3, Out())) << Driver.BuildError();
  EXPECT_EQ(Driver.Files[0].InputOptions.ExtOptions, "vn=1\nthreads=1");
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out())) << Driver.BuildError();
  EXPECT_EQ(Driver.Files[0].InputOptions.ExtOptions, "threads=1");
  EXPECT_EQ(Driver.Engine.TaskTotal(), 1);

  // A value the engine refuses fails the file and says why, as any refused setting does.
  Profiles.Threads = "many";
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out())) << Driver.BuildError();
  EXPECT_EQ(Driver.Engine.TaskTotal(), 0);
  EXPECT_EQ(Driver.Files[0].Status, csFailed);
  EXPECT_EQ(Driver.Files[0].StatusText, "Invalid value \"many\" for option \"threads\": whole number expected");
}

TEST_F(TConvertTest, OutputNamesStayUniqueAcrossFoldersAndRuns) {
  ASSERT_EQ(Driver.AddFile(Copy("clip25.avi", "a/clip.avi")), 0);
  ASSERT_EQ(Driver.AddFile(Copy("clip25.avi", "b/clip.avi")), 1);
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out().substr(0, Out().size() - 1))); // folder without "/"
  EXPECT_EQ(Driver.Files[0].OutputOptions.FileName, Out() + "clip.mpg");
  EXPECT_EQ(Driver.Files[1].OutputOptions.FileName, Out() + "clip_1.mpg");
  EXPECT_TRUE(Driver.IsOutputNameTaken(Out() + "clip_1.mpg"));
  EXPECT_FALSE(Driver.IsOutputNameTaken(Out() + "CLIP_1.mpg"));
  Driver.EndRun();

  // As after a finished run: both outputs are on disk.
  std::ofstream(Out() + "clip.mpg") << "x";
  std::ofstream(Out() + "clip_1.mpg") << "x";
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out()));
  EXPECT_EQ(Driver.Files[0].OutputOptions.FileName, Out() + "clip_2.mpg");
  EXPECT_EQ(Driver.Files[1].OutputOptions.FileName, Out() + "clip_3.mpg");
}

TEST_F(TConvertTest, TrimsBecomeStartOffsetAndRecordingTime) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  ASSERT_EQ(Driver.AddFile(Media("clip15.mkv")), 1);
  Driver.Files[0].TrimStart = 500;
  Driver.Files[0].TrimDuration = 1000;
  ASSERT_TRUE(Driver.BuildRun(VideoMpg, Out()));
  EXPECT_EQ(Driver.Files[0].InputOptions.StartTimeMs, 500);
  EXPECT_EQ(Driver.Files[0].OutputOptions.RecordTimeMs, 1000);
  EXPECT_EQ(Driver.Files[1].InputOptions.StartTimeMs, -1);
  EXPECT_EQ(Driver.Files[1].OutputOptions.RecordTimeMs, -1) << "untrimmed: no limit";
}

TEST_F(TConvertTest, UnreadableProfileItemsConvertNothingAndSayWhere) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  Profiles.Formats[AudioMp3].AudioBitrate = "128kbps,256kbps";
  Profiles.Formats[AudioMp3].AudioBitrateValue = 1;
  EXPECT_FALSE(Driver.BuildRun(AudioMp3, Out()));
  EXPECT_EQ(Driver.BuildError(), "Profile \"Audio\", setting AudioBitrate: the item \"256kbps\" cannot be read.");
  EXPECT_EQ(Driver.Engine.TaskTotal(), 0);

  EXPECT_FALSE(Driver.BuildRun(-1, Out()));
  EXPECT_EQ(Driver.BuildError(), "There is no output profile to convert with.");
  EXPECT_FALSE(Driver.BuildRun(3, Out()));
}

TEST_F(TConvertTest, AnEncoderTheLibrariesLackStopsTheRunBeforeItStarts) {
  // Neither the old AMR encoder nor its successor is part of the Debian libraries.
  if (TCustomFFmpeg::HasEncoder("libamr_nb", AVMEDIA_TYPE_AUDIO))
    GTEST_SKIP() << "these libraries have an AMR encoder";
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  ASSERT_EQ(Driver.AddFile(Media("tone.wav")), 1);
  Profiles.Formats[VideoMpg].AudioEncoder = "AMR_NB";
  EXPECT_FALSE(Driver.BuildRun(VideoMpg, Out()));
  EXPECT_EQ(Driver.BuildError(), "Profile \"Video\", setting AudioEncoder: the item \"AMR_NB\" needs the encoder "
                                 "\"libamr_nb\", which the installed libraries lack.");
  EXPECT_EQ(Driver.Engine.TaskTotal(), 0);

  Profiles.Formats[VideoMpg].AudioEncoder = "MPEG-2 Audio";
  Profiles.Formats[VideoMpg].VideoEncoder = "RealVideo 10";
  EXPECT_FALSE(Driver.BuildRun(VideoMpg, Out()));
  EXPECT_NE(Driver.BuildError().find("\"realvideo 10\", which the installed"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(Out()));
}

TEST_F(TConvertTest, AnUnknownTargetFailsTheFileWithTheEnginesMessage) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  Profiles.Formats[VideoMpg].Target = "pal-cd";
  EXPECT_TRUE(Driver.BuildRun(VideoMpg, Out())) << Driver.BuildError();
  EXPECT_EQ(Driver.Engine.TaskTotal(), 0);
  EXPECT_EQ(Driver.Files[0].Status, csFailed);
  EXPECT_EQ(Driver.Files[0].StatusText, "Unknown target type");
}

TEST_F(TConvertTest, BuildingStoppedPartWayLeavesNoTask) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  ASSERT_EQ(Driver.AddFile(Media("clip15.mkv")), 1);
  // The windows get their turn after the first video task is set up; a failure there ends the build.
  platform::MainThread().Post([] { throw std::runtime_error("interrupted"); });
  EXPECT_FALSE(Driver.BuildRun(VideoMpg, Out()));
  EXPECT_EQ(Driver.BuildError(), "interrupted");
  EXPECT_EQ(Driver.Engine.TaskTotal(), 0);
  EXPECT_EQ(Driver.FileOfTask(0), nullptr);
}

TEST_F(TConvertTest, TasksStayAttachedToTheirFilesWhenOneCannotBeSetUp) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  ASSERT_EQ(Driver.AddFile(Copy("clip15.mkv", "gone.mkv")), 1);
  ASSERT_EQ(Driver.AddFile(Media("clip.flv")), 2);
  Driver.Files[1].Status = csSuccess; // from an earlier run
  fs::remove(Temp.File("gone.mkv"));

  ASSERT_TRUE(Driver.BuildRun(AudioMp3, Out()));
  ASSERT_EQ(Driver.Engine.TaskTotal(), 2);
  EXPECT_EQ(Driver.Files[1].Status, csFailed);
  EXPECT_EQ(Driver.FileOfTask(0), &Driver.Files[0]);
  EXPECT_EQ(Driver.FileOfTask(1), &Driver.Files[2]);
  EXPECT_EQ(Driver.FileOfTask(2), nullptr);

  EXPECT_NE(Driver.Files[1].StatusText, "");
  Driver.TaskEnded(1, false, true, "broken");
  Driver.TaskEnded(0, true, false, "");
  EXPECT_EQ(Driver.Files[2].Status, csFailed);
  EXPECT_EQ(Driver.Files[2].StatusText, "broken");
  EXPECT_EQ(Driver.Files[0].Status, csSuccess);
  Driver.TaskEnded(1, false, false, "");
  EXPECT_EQ(Driver.Files[2].Status, csCanceled);
}

TEST_F(TConvertTest, ARunTakesTheFirstThousandFiles) {
  // Records are queued directly: all but the last few name a missing file, whose task fails fast.
  for (int i = 0; i < MaxRunFiles + 5; ++i) {
    auto file = std::make_unique<TInputFile>();
    file->FileName = i < MaxRunFiles - 2 ? Temp.File("missing.wav") : Media("tone.wav");
    file->InputOptions.FileName = file->FileName;
    file->TrimDuration = 2000;
    Driver.Files.Add(std::move(file));
  }
  ASSERT_TRUE(Driver.BuildRun(AudioMp3, Out()));
  EXPECT_EQ(Driver.Engine.TaskTotal(), 2);
  EXPECT_EQ(Driver.FileOfTask(1), &Driver.Files[MaxRunFiles - 1]);
  EXPECT_EQ(Driver.Files[MaxRunFiles - 1].Status, csNone);
  // Left out, not failed, and told why.
  EXPECT_EQ(Driver.Files[MaxRunFiles].Status, csNone);
  EXPECT_EQ(Driver.Files[MaxRunFiles].StatusText, "Only the first 1000 files are converted in one run.");
  EXPECT_EQ(Driver.Files[MaxRunFiles].OutputOptions.FileName, ""); // never prepared
}

// A whole run without windows: the end reports land in the right records.
TEST_F(TConvertTest, ARunConvertsAndReportsEachFile) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  ASSERT_EQ(Driver.AddFile(Copy("clip15.mkv", "gone.mkv")), 1);
  ASSERT_EQ(Driver.AddFile(Media("tone.wav")), 2);
  fs::remove(Temp.File("gone.mkv"));
  ASSERT_TRUE(Driver.BuildRun(AudioMp3, Out()));
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Driver.Files[0].Status, csSuccess);
  EXPECT_EQ(Driver.Files[1].Status, csFailed);
  EXPECT_EQ(Driver.Files[2].Status, csSuccess);
  EXPECT_GT(fs::file_size(Out() + "clip25.mp3"), 1000u);
  EXPECT_GT(fs::file_size(Out() + "tone.mp3"), 1000u);
  Driver.EndRun();
}

TEST_F(TConvertTest, FilesConvertedAtOnceEndAsWhenConvertedOneByOne) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  ASSERT_EQ(Driver.AddFile(Copy("clip15.mkv", "gone.mkv")), 1);
  ASSERT_EQ(Driver.AddFile(Media("tone.wav")), 2);
  ASSERT_EQ(Driver.AddFile(Copy("tone.wav", "b/tone.wav")), 3); // the same output name
  ASSERT_EQ(Driver.AddFile(Media("clip15.mkv")), 4);
  fs::remove(Temp.File("gone.mkv"));
  Driver.AllowSimultaneous = true;
  const auto run = [&](const std::string &simultaneous) {
    Profiles.Simultaneous = simultaneous;
    const std::string folder = Out() + simultaneous + "/";
    fs::create_directories(folder);
    EXPECT_TRUE(Driver.BuildRun(AudioMp3, folder));
    EXPECT_TRUE(RunToEnd());
    std::vector<std::string> ends;
    for (int p = 0; p < Driver.Files.Count(); ++p) {
      const TInputFile &file = Driver.Files[p];
      const std::string name = file.OutputOptions.FileName.substr(folder.size());
      ends.push_back(std::to_string(file.Status) + " " + name + " " +
                     (file.Status == csSuccess ? TTempFolder::ReadFile(file.OutputOptions.FileName) : ""));
    }
    Driver.EndRun();
    return ends;
  };
  const std::vector<std::string> oneByOne = run("1");
  EXPECT_EQ(Driver.Shape().Simultaneous, 1);
  const std::vector<std::string> atOnce = run("3");
  EXPECT_EQ(Driver.Shape().Simultaneous, 3);
  EXPECT_EQ(Driver.Shape().CodecThreads, std::max(1, static_cast<int>(std::thread::hardware_concurrency()) / 3));
  EXPECT_EQ(oneByOne, atOnce);
  EXPECT_EQ(atOnce[1].substr(0, 2), std::to_string(csFailed) + " ");
  EXPECT_EQ(atOnce[3].substr(0, 12), std::to_string(csSuccess) + " tone_1.mp3");

  // Cancelled at once: every file ends with a result of its own, and nothing is left half-named.
  Profiles.Simultaneous = "3";
  fs::create_directories(Out() + "cancel/");
  ASSERT_TRUE(Driver.BuildRun(AudioMp3, Out() + "cancel/"));
  Driver.Engine.SetProgressInterval(1);
  Driver.Engine.OnProgress = [&](int, int, int, int, float, float, int64_t, int) { Driver.Engine.StopTasks(); };
  ASSERT_TRUE(RunToEnd());
  Driver.Engine.OnProgress = nullptr;
  int cancelled = 0;
  for (int p = 0; p < Driver.Files.Count(); ++p) {
    EXPECT_NE(Driver.Files[p].Status, csNone) << p;
    cancelled += Driver.Files[p].Status == csCanceled;
  }
  EXPECT_GT(cancelled, 0);
  Driver.EndRun();
  for (const auto &entry : fs::directory_iterator(Out() + "cancel/"))
    EXPECT_NE(entry.path().extension(), ".part") << entry.path();
}

// The H.264 profile as shipped: sizes and rates kept, 5000 kb/s, AAC 48 kHz stereo 160 kb/s.
TFormatRec H264Profile() {
  TFormatRec p;
  p.Name = "H.264";
  p.Ext = ".mp4";
  p.Category = 1;
  p.Resolution = "Keep original size,640*360";
  p.Framerate = "25 fps,Keep original frame rate";
  p.FramerateValue = 1;
  p.VideoEncoder = "H.264";
  p.VideoBitRate = "5000 kbps";
  p.SampleRate = "44100 Hz,48000 Hz";
  p.SampleRateValue = 1;
  p.AudioBitrate = "160 kbps";
  p.AudioEncoder = "AAC";
  p.Channel = "1 Channel Mono,2 Channels Stereo";
  p.ChannelValue = 1;
  p.Volume = 256;
  return p;
}

// Every picture packet of the file as it is stored, in order: a digest of its bytes.
std::vector<std::size_t> PicturePackets(const std::string &path) {
  AVFormatContext *context = nullptr;
  std::vector<std::size_t> packets;
  if (AVFormat.avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0)
    return packets;
  AVFormat.avformat_find_stream_info(context, nullptr);
  const int video = AVFormat.av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  AVPacket *pkt = AVCodecLib.av_packet_alloc();
  while (AVFormat.av_read_frame(context, pkt) >= 0) {
    if (pkt->stream_index == video)
      packets.push_back(std::hash<std::string_view>()(
          std::string_view(reinterpret_cast<const char *>(pkt->data), static_cast<std::size_t>(pkt->size))));
    AVCodecLib.av_packet_unref(pkt);
  }
  AVCodecLib.av_packet_free(&pkt);
  AVFormat.avformat_close_input(&context);
  return packets;
}

TEST_F(TConvertTest, StreamsThatFitTheProfileAreCopiedAndTheRestEncoded) {
  Profiles.Formats.push_back(H264Profile());
  const int h264 = static_cast<int>(Profiles.Formats.size()) - 1;
  for (const char *source : {"fit.mkv", "fit.ts", "fit.mov"})
    ASSERT_GE(Driver.AddFile(Media(source)), 0) << source;
  ASSERT_GE(Driver.AddFile(Copy("fit.mkv", "trimmed.mkv")), 0);
  ASSERT_GE(Driver.AddFile(Copy("fit.mkv", "keyframe.mkv")), 0);
  Driver.Files[3].TrimStart = 200; // between key frames
  Driver.Files[3].TrimDuration = 1000;
  Driver.Files[4].TrimStart = 480; // on the second key frame, the 12th picture
  Driver.Files[4].TrimDuration = 1000;
  // As the progress window asks: a copied picture has none to show, and must not fail for it.
  Driver.Engine.SetPreviewBitmap(true);
  ASSERT_TRUE(Driver.BuildRun(h264, Out()));
  EXPECT_EQ(Driver.Files[0].OutputOptions.VideoCodec, "copy");
  EXPECT_EQ(Driver.Files[3].OutputOptions.VideoCodec, "libx264");
  EXPECT_EQ(Driver.Files[4].OutputOptions.VideoCodec, "copy");
  ASSERT_TRUE(RunToEnd());
  for (int p = 0; p < 3; ++p) {
    const TInputFile &file = Driver.Files[p];
    ASSERT_EQ(file.Status, csSuccess) << file.StatusText;
    const auto copied = PicturePackets(file.OutputOptions.FileName), source = PicturePackets(file.FileName);
    // Transport streams frame their pictures with start codes, MP4 with lengths: the same pictures.
    if (p == 1)
      EXPECT_EQ(copied.size(), source.size());
    else
      EXPECT_EQ(copied, source) << file.FileName;
    EXPECT_NE(file.StatusText.find("Copied without re-encoding: video"), std::string::npos) << file.StatusText;
  }
  EXPECT_NE(Driver.Files[3].StatusText.find("the trim does not start on a key frame"), std::string::npos);
  EXPECT_EQ(Driver.Files[4].Status, csSuccess) << Driver.Files[4].StatusText;
  Driver.EndRun();

  // Turned off, or a profile that changes the picture: encoded.
  Profiles.CopyStreams = false;
  ASSERT_TRUE(Driver.BuildRun(h264, Out()));
  EXPECT_EQ(Driver.Files[0].OutputOptions.VideoCodec, "libx264");
  Driver.EndRun();
  Profiles.CopyStreams = true;
  Profiles.Formats.back().ResolutionValue = 1;
  ASSERT_TRUE(Driver.BuildRun(h264, Out()));
  EXPECT_EQ(Driver.Files[0].OutputOptions.VideoCodec, "libx264");
  Driver.EndRun();
}

TEST_F(TConvertTest, AStreamFitsOnlyWithTheProfilesCodecShapeAndRate) {
  TSourceFacts source;
  source.VideoCodec = AV_CODEC_ID_H264;
  source.Width = 1280;
  source.Height = 720;
  source.PixelFormat = AV_PIX_FMT_YUV420P;
  source.FrameRate = 25;
  source.VideoBitRate = 3000000;
  source.AudioCodec = AV_CODEC_ID_AAC;
  source.SampleRate = 48000;
  source.Channels = 2;
  source.AudioBitRate = 128000;
  TOutputOptions out;
  ResetOutputOptions(out);
  out.VideoCodec = "libx264";
  out.VideoBitrate = 5000000;
  out.PixelFormat = "yuv420p";
  out.AudioCodec = "aac";
  out.AudioSampleRate = 48000;
  out.AudioChannels = 2;
  out.AudioBitrate = 160000;
  out.AudioVolume = 256;
  const auto fits = [&](auto change) {
    TSourceFacts s = source;
    TOutputOptions o = out;
    change(s, o);
    const TStreamFit fit = DecideFit(s, o, false, false);
    return std::pair{fit.CopyVideo, fit.CopyAudio};
  };
  using TBoth = std::pair<bool, bool>;
  EXPECT_EQ(fits([](TSourceFacts &, TOutputOptions &) {}), (TBoth{true, true}));
  EXPECT_EQ(fits([](TSourceFacts &, TOutputOptions &o) { o.FrameSize = "1280*720"; }), (TBoth{true, true}));
  EXPECT_EQ(fits([](TSourceFacts &, TOutputOptions &o) { o.FrameSize = "640*360"; }), (TBoth{false, true}));
  EXPECT_EQ(fits([](TSourceFacts &, TOutputOptions &o) { o.FrameRate = "30"; }), (TBoth{false, true}));
  EXPECT_EQ(fits([](TSourceFacts &, TOutputOptions &o) { o.AspectRatio = "4:3"; }), (TBoth{false, true}));
  EXPECT_EQ(fits([](TSourceFacts &s, TOutputOptions &) { s.VideoCodec = AV_CODEC_ID_HEVC; }), (TBoth{false, true}));
  EXPECT_EQ(fits([](TSourceFacts &s, TOutputOptions &) { s.PixelFormat = AV_PIX_FMT_YUV420P10LE; }),
            (TBoth{false, true}));
  EXPECT_EQ(fits([](TSourceFacts &s, TOutputOptions &) { s.VideoBitRate = 8000000; }), (TBoth{false, true}));
  EXPECT_EQ(fits([](TSourceFacts &s, TOutputOptions &) { s.VideoBitRate = 0; }), (TBoth{false, true}));
  EXPECT_EQ(fits([](TSourceFacts &s, TOutputOptions &) { s.Rotated = true; }), (TBoth{false, true}));
  EXPECT_EQ(fits([](TSourceFacts &, TOutputOptions &o) { o.AudioVolume = 512; }), (TBoth{true, false}));
  EXPECT_EQ(fits([](TSourceFacts &s, TOutputOptions &) { s.Channels = 6; }), (TBoth{true, false}));
  EXPECT_EQ(fits([](TSourceFacts &s, TOutputOptions &) { s.SampleRate = 44100; }), (TBoth{true, false}));
  EXPECT_EQ(fits([](TSourceFacts &, TOutputOptions &o) { o.DisableVideo = true; }), (TBoth{false, true}));
  const TStreamFit trimmedOffKey = DecideFit(source, out, true, false);
  EXPECT_FALSE(trimmedOffKey.CopyVideo);
  EXPECT_TRUE(trimmedOffKey.CopyAudio);
}
