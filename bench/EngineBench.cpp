// The engine benchmark: converts one generated 1080p30 clip (H.264 with B-frames + stereo AAC)
// through the engine and through a minimal direct loop on the same libraries, each run in a process
// of its own, once with every core (automatic codec threads) and once with one codec thread. It
// prints the wall-time ratio engine / reference and the peak memory of both per conversion and
// mode, and the speed-up of automatic threads over one. Each side runs several times, alternating,
// and its best time counts: the machine may be shared.
//
//   tvl-bench [folder] [seconds] [runs]      (defaults: the temporary folder, 10 s, 3 runs)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ChildRun.h"
#include "ClipWriter.h"
#include "FileDuration.h"
#include "ReferenceTranscode.h"
#include "engine/FFmpeg.h"
#include "engine/FFmpegException.h"
#include "engine/task/TaskThread.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

namespace fs = std::filesystem;

namespace {

struct TCase {
  const char *Name;
  const char *Extension;
  TReferenceJob Job;
  std::vector<std::pair<std::string, std::string>> Options;
  bool Threaded; // measured with automatic threads and with one
};

bool EngineConvert(const std::string &input, const std::string &output, int threads,
                   const std::vector<std::pair<std::string, std::string>> &options) {
  TFFmpeg task;
  try {
    task.Reset();
    // Before the input, as the job builder gives it: the decoders take it too.
    task.SetOption("threads", std::to_string(threads));
    if (!task.OpenInputFile(input))
      return false;
    for (const auto &[name, value] : options)
      task.SetOption(name, value);
    if (task.OpenOutputFile(output) < 0)
      return false;
  } catch (const FFmpegException &e) {
    std::fprintf(stderr, "engine: %s\n", e.what());
    return false;
  }
  task.Start(false, tpNormal);
  if (task.Failed)
    std::fprintf(stderr, "engine: %s\n", task.EndMessage.c_str());
  return !task.Failed;
}

TReferenceJob Job(bool copy, const char *video, int width, int height, const char *audio) {
  TReferenceJob job;
  job.Copy = copy;
  job.VideoCodec = video;
  job.Width = width;
  job.Height = height;
  job.AudioCodec = audio;
  return job;
}

// Both sides of one case with the given codec threads; false when either failed.
bool Compare(TCase &c, const std::string &clip, const fs::path &folder, int runs, int threads, TRun &engine,
             TRun &reference) {
  const std::string engineOut = (folder / (std::string("engine.") + c.Extension)).string();
  const std::string referenceOut = (folder / (std::string("reference.") + c.Extension)).string();
  c.Job.Input = clip;
  c.Job.Output = referenceOut;
  c.Job.Threads = threads;
  // Virtual processors can differ in speed (by a third on the machine this was written on): runs on
  // one thread all use the same one, so both sides are timed alike.
  const int cpu = threads == 1 ? FirstCpu() : -1;
  for (int i = 0; i < runs; ++i) {
    fs::remove(engineOut);
    fs::remove(referenceOut);
    const TRun e = Measure([&] { return EngineConvert(clip, engineOut, threads, c.Options); }, cpu);
    const TRun r = Measure([&] {
      std::string error;
      const bool ok = ReferenceTranscode(c.Job, error);
      if (!ok)
        std::fprintf(stderr, "reference: %s\n", error.c_str());
      return ok;
    }, cpu);
    engine = i ? Best(engine, e) : e;
    reference = i ? Best(reference, r) : r;
  }
  const char *mode = threads == 0 ? "auto" : "1";
  if (!engine.Ok || !reference.Ok) {
    std::printf("%-24s %-7s %s\n", c.Name, mode, !engine.Ok ? "engine failed" : "reference failed");
    return false;
  }
  std::printf("%-24s %-7s %8.2f %8.2f %6.3f %8.2f %8.2f %9.1f %7.1f %6.3f %8.2f %7.2f\n", c.Name, mode,
              engine.Seconds, reference.Seconds, engine.Seconds / reference.Seconds, engine.CpuSeconds,
              reference.CpuSeconds, engine.PeakKb / 1024.0, reference.PeakKb / 1024.0,
              static_cast<double>(engine.PeakKb) / static_cast<double>(reference.PeakKb), FileDuration(engineOut),
              FileDuration(referenceOut));
  return true;
}

} // namespace

int main(int argc, char **argv) {
  const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "tvl-bench";
  const double seconds = argc > 2 ? std::stod(argv[2]) : 10.0;
  const int runs = argc > 3 ? std::max(1, std::stoi(argv[3])) : 3;
  fs::create_directories(folder);
  if (!FFLoader.LoadLibraries(EngineLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader.LastError().c_str());
    return 1;
  }
  AVUtil.av_log_set_level(AV_LOG_QUIET);

  const std::string clip = (folder / ("clip1080-" + std::to_string(static_cast<int>(seconds)) + ".mp4")).string();
  if (!fs::exists(clip)) {
    TClipPlan plan;
    plan.Format = "mp4";
    plan.Seconds = seconds;
    TStreamPlan video = VideoStream("libx264", 1920, 1080, 30);
    video.MaxBFrames = 2;
    video.BitRate = 8000000;
    plan.Streams = {video, AudioStream("aac", 44100, 2)};
    std::string error;
    std::printf("generating %s (%.0f s)...\n", clip.c_str(), seconds);
    if (!WriteClip(clip, plan, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
  }

  // The shipped H.264 profile converts to 640x480 at 1000 kbps with AAC 44.1 kHz stereo 128 kbps.
  std::vector<TCase> cases = {
      {"H.264 profile 640x480", "mp4", Job(false, "libx264", 640, 480, "aac"),
       {{"vcodec", "libx264"}, {"s", "640x480"}, {"b", "1000k"}, {"acodec", "aac"}, {"ar", "44100"}, {"ac", "2"},
        {"ab", "128k"}},
       true},
      {"MPEG-4 + MP3 640x480", "avi", Job(false, "mpeg4", 640, 480, "libmp3lame"),
       {{"vcodec", "mpeg4"}, {"s", "640x480"}, {"b", "1000k"}, {"acodec", "libmp3lame"}, {"ar", "44100"},
        {"ac", "2"}, {"ab", "128k"}},
       true},
      {"stream copy", "mkv", Job(true, "", 0, 0, ""), {{"vcodec", "copy"}, {"acodec", "copy"}}, false},
      {"MP3 audio only", "mp3", Job(false, "", 0, 0, "libmp3lame"),
       {{"vn", ""}, {"acodec", "libmp3lame"}, {"ar", "44100"}, {"ac", "2"}, {"ab", "128k"}}, false},
  };

  std::printf("%-24s %-7s %8s %8s %6s %8s %8s %9s %7s %6s %8s %7s\n", "conversion", "threads", "engine s", "ref s",
              "ratio", "eng cpu", "ref cpu", "engine MB", "ref MB", "ratio", "engine d", "ref d");
  for (TCase &c : cases) {
    TRun engineAuto, referenceAuto, engineOne, referenceOne;
    if (!Compare(c, clip, folder, runs, 0, engineAuto, referenceAuto) || !c.Threaded)
      continue;
    if (Compare(c, clip, folder, runs, 1, engineOne, referenceOne))
      std::printf("%-24s speed-up auto over 1 thread: engine %.2f, reference %.2f\n", c.Name,
                  engineOne.Seconds / engineAuto.Seconds, referenceOne.Seconds / referenceAuto.Seconds);
  }
  return 0;
}
