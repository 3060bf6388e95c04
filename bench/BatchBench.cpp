// The batch benchmark: a batch of generated files converted by the headless converter one file at
// a time and with its automatic choice of files at once, against the reference: the direct loop on
// the same libraries run as one process per core, each taking its share of the files; and a file
// that fits the profile, copied against a forced re-encode. Prints the wall, CPU and peak-memory
// ratios per batch. Each side runs several times, alternating, and its
// best time counts: the machine may be shared.
//
//   tvl-batch-bench [folder] [runs]      (defaults: the temporary folder, 3 runs)
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ChildRun.h"
#include "ClipWriter.h"
#include "ReferenceTranscode.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

namespace fs = std::filesystem;

namespace {

struct TBatch {
  const char *Name;
  int Files;
  TClipPlan Plan;
  const char *SourceExtension;
  const char *Profile; // the shipped profile's name
  const char *Extension;
  TReferenceJob Job;   // what that profile asks for
};

std::vector<std::string> MakeFiles(const TBatch &batch, const fs::path &folder) {
  std::vector<std::string> files;
  const fs::path first = folder / (std::string(batch.Name) + "-0" + batch.SourceExtension);
  std::string error;
  if (!fs::exists(first) && !WriteClip(first.string(), batch.Plan, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return {};
  }
  for (int i = 0; i < batch.Files; ++i) {
    const fs::path file = folder / (std::string(batch.Name) + "-" + std::to_string(i) + batch.SourceExtension);
    if (i > 0)
      fs::copy_file(first, file, fs::copy_options::overwrite_existing);
    files.push_back(file.string());
  }
  return files;
}

// Runs the headless converter with the options on the files into out.
bool Converter(const std::vector<std::string> &options, const std::vector<std::string> &files, const fs::path &out) {
  fs::remove_all(out);
  const std::string program = fs::canonical("/proc/self/exe").parent_path() / "tavrelle-convert";
  std::vector<std::string> args = {program, "--output", out.string()};
  args.insert(args.end(), options.begin(), options.end());
  args.insert(args.end(), files.begin(), files.end());
  std::vector<char *> argv;
  for (std::string &a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// One process per core, each converting every cores-th file.
bool Reference(const TBatch &batch, const std::vector<std::string> &files, const fs::path &out, int cores) {
  fs::remove_all(out);
  fs::create_directories(out);
  std::vector<pid_t> children;
  std::fflush(stdout);
  for (int k = 0; k < cores; ++k) {
    const pid_t child = fork();
    if (child == 0) {
      for (std::size_t i = static_cast<std::size_t>(k); i < files.size(); i += static_cast<std::size_t>(cores)) {
        TReferenceJob job = batch.Job;
        job.Input = files[i];
        job.Output = (out / (std::to_string(i) + batch.Extension)).string();
        if (std::string error; !ReferenceTranscode(job, error)) {
          std::fprintf(stderr, "reference: %s\n", error.c_str());
          _exit(1);
        }
      }
      _exit(0);
    }
    children.push_back(child);
  }
  bool ok = true;
  for (const pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return ok;
}

void Print(const char *name, const char *side, const TRun &run, const TRun &reference) {
  if (!run.Ok || !reference.Ok) {
    std::printf("%-12s %-8s failed\n", name, side);
    return;
  }
  std::printf("%-12s %-8s %7.2f s %7.2f cpu %7.1f MB   wall %.3f  cpu %.3f  peak %.3f\n", name, side, run.Seconds,
              run.CpuSeconds, run.PeakKb / 1024.0, run.Seconds / reference.Seconds,
              run.CpuSeconds / reference.CpuSeconds,
              static_cast<double>(run.PeakKb) / static_cast<double>(reference.PeakKb));
}

TReferenceJob Job(const char *video, int width, int height, const char *audio) {
  TReferenceJob job;
  job.VideoCodec = video;
  job.Width = width;
  job.Height = height;
  job.AudioCodec = audio;
  job.Threads = 1;
  return job;
}

void RunBatch(const TBatch &batch, const fs::path &folder, int runs, int cores) {
  const std::vector<std::string> files = MakeFiles(batch, folder);
  if (files.empty())
    return;
  const fs::path out = folder / "out";
  TRun one, automatic, reference;
  for (int i = 0; i < runs; ++i) {
    // Encoded as the reference encodes: the small clips would otherwise be copied.
    const TRun o = Measure([&] { return Converter({"--no-copy", "--jobs", "1", "--profile", batch.Profile}, files, out); });
    const TRun a = Measure([&] { return Converter({"--no-copy", "--jobs", "0", "--profile", batch.Profile}, files, out); });
    const TRun r = Measure([&] { return Reference(batch, files, out, cores); });
    one = i ? Best(one, o) : o;
    automatic = i ? Best(automatic, a) : a;
    reference = i ? Best(reference, r) : r;
  }
  std::printf("%-12s %d files; ratios against the reference (one process per core)\n", batch.Name, batch.Files);
  Print(batch.Name, "one", one, reference);
  Print(batch.Name, "auto", automatic, reference);
  Print(batch.Name, "ref", reference, reference);
}

// A 60 s 720p H.264/AAC Matroska file that fits the H.264 profile: copied, and forced to encode.
void RunCopy(const fs::path &folder, int runs) {
  const fs::path clip = folder / "fit720.mkv";
  TClipPlan plan;
  plan.Format = "matroska";
  plan.Seconds = 60;
  TStreamPlan video = VideoStream("libx264", 1280, 720, 25);
  video.BitRate = 2000000;
  plan.Streams = {video, AudioStream("aac", 48000, 2)};
  if (std::string error; !fs::exists(clip) && !WriteClip(clip.string(), plan, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return;
  }
  const std::vector<std::string> profile = {"--profile", "MP4 - H.264 Video for players (*.mp4)"};
  std::vector<std::string> forced = profile;
  forced.push_back("--no-copy");
  TRun copy, encode;
  for (int i = 0; i < runs; ++i) {
    const TRun c = Measure([&] { return Converter(profile, {clip.string()}, folder / "out"); });
    const TRun e = Measure([&] { return Converter(forced, {clip.string()}, folder / "out"); });
    copy = i ? Best(copy, c) : c;
    encode = i ? Best(encode, e) : e;
  }
  std::printf("copy-720p    60 s H.264/AAC MKV to the H.264 profile; ratios against a forced re-encode\n");
  Print("copy-720p", "copy", copy, encode);
  Print("copy-720p", "encode", encode, encode);
}

} // namespace

int main(int argc, char **argv) {
  const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "tvl-batch-bench";
  const int runs = argc > 2 ? std::max(1, std::stoi(argv[2])) : 3;
  fs::create_directories(folder);
  if (!FFLoader.LoadLibraries(EngineLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader.LastError().c_str());
    return 1;
  }
  AVUtil.av_log_set_level(AV_LOG_QUIET);
  const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));

  TClipPlan sound;
  sound.Format = "ipod";
  sound.Seconds = 60;
  sound.Streams = {AudioStream("aac", 44100, 2)};
  TClipPlan small;
  small.Format = "mp4";
  small.Seconds = 20;
  small.Streams = {VideoStream("libx264", 320, 240, 25), AudioStream("aac", 44100, 2)};
  TClipPlan big = small;
  big.Seconds = 8;
  big.Streams = {VideoStream("libx264", 1920, 1080, 25), AudioStream("aac", 48000, 2)};
  // As the shipped profiles ask: MP3 at 44.1 kHz stereo 128 kb/s; H.264 640x480 at 1000 kb/s with AAC.
  const std::vector<TBatch> batches = {
      {"aac-to-mp3", 12, sound, ".m4a", "MP3 - MPEG Layer-3 Audio (*.mp3)", ".mp3", Job("", 0, 0, "libmp3lame")},
      {"small-h264", 8, small, ".mp4", "MP4 - H.264 Video for players (*.mp4)", ".mp4", Job("libx264", 640, 480, "aac")},
      {"1080p-h264", 4, big, ".mp4", "MP4 - H.264 Video for players (*.mp4)", ".mp4", Job("libx264", 640, 480, "aac")},
  };
  for (const TBatch &batch : batches)
    RunBatch(batch, folder, runs, cores);
  RunCopy(folder, runs);
  return 0;
}
