// The quality benchmark: converts a generated 640x360 and a 1080p clip with the shipped H.264
// profile, once at its bit rate and once at each quality choice, and prints each output's
// bit rate and its SSIM against the source (libavfilter's ssim filter).
//
//   tvl-quality-bench [folder] [settings file] [profile index]
//   (defaults: the temporary folder, the shipped file, 0)
#include <cstdio>
#include <filesystem>
#include <string>

#include "ClipWriter.h"
#include "FileDuration.h"
#include "convert/JobBuilder.h"
#include "engine/FFmpeg.h"
#include "engine/FFmpegException.h"
#include "media/AVFilterStubs.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

namespace fs = std::filesystem;

namespace {

bool Convert(const std::string &input, TOutputOptions options) {
  TFFmpeg task;
  try {
    task.Reset();
    if (!task.OpenInput(input, nullptr) || !task.OpenOutput(options.FileName, &options))
      return false;
  } catch (const FFmpegException &e) {
    std::fprintf(stderr, "engine: %s\n", e.what());
    return false;
  }
  task.Start(false, tpNormal);
  return !task.Failed;
}

// The mean SSIM (all planes) of the output's pictures against the source's; -1 when it cannot run.
double MeanSsim(const std::string &output, const std::string &source) {
  AVFilterGraph *graph = AVFilterLib.avfilter_graph_alloc();
  AVFilterContext *sink = nullptr;
  const std::string text = "movie=" + output + "[a];movie=" + source + "[b];[a][b]ssim[out]";
  AVFilterInOut *open = AVFilterLib.avfilter_inout_alloc();
  double sum = 0;
  int frames = 0;
  if (AVFilterLib.avfilter_graph_create_filter(&sink, AVFilterLib.avfilter_get_by_name("buffersink"), "out",
                                               nullptr, nullptr, graph) >= 0) {
    open->name = AVUtil.av_strdup("out");
    open->filter_ctx = sink;
    if (AVFilterLib.avfilter_graph_parse_ptr(graph, text.c_str(), &open, nullptr, nullptr) >= 0 &&
        AVFilterLib.avfilter_graph_config(graph, nullptr) >= 0) {
      AVFrame *frame = AVUtil.av_frame_alloc();
      while (AVFilterLib.av_buffersink_get_frame(sink, frame) >= 0) {
        if (const AVDictionaryEntry *all = AVUtil.av_dict_get(frame->metadata, "lavfi.ssim.All", nullptr, 0)) {
          sum += std::stod(all->value);
          ++frames;
        }
        AVUtil.av_frame_unref(frame);
      }
      AVUtil.av_frame_free(&frame);
    }
  }
  AVFilterLib.avfilter_inout_free(&open);
  AVFilterLib.avfilter_graph_free(&graph);
  return frames ? sum / frames : -1;
}

bool MakeClip(const std::string &path, int width, int height, double seconds, int bitrate) {
  if (fs::exists(path))
    return true;
  TClipPlan plan;
  plan.Format = "mp4";
  plan.Seconds = seconds;
  TStreamPlan video = VideoStream("libx264", width, height, 25);
  video.BitRate = bitrate;
  plan.Streams = {video, AudioStream("aac", 48000, 2)};
  std::string error;
  if (!WriteClip(path, plan, error))
    std::fprintf(stderr, "%s\n", error.c_str());
  return error.empty();
}

void Measure(const std::string &clip, const fs::path &folder, TFormatRec profile) {
  const char *modes[] = {"bit rate", "High", "Standard", "Small"};
  for (int mode = 0; mode < 4; ++mode) {
    profile.QualityValue = mode - 1;
    TOutputOptions options;
    FillAudioSettings(options, profile);
    FillVideoSettings(options, profile, 0);
    options.FileName = (folder / ("out-" + std::to_string(mode) + profile.Ext)).string();
    fs::remove(options.FileName);
    if (!Convert(clip, options)) {
      std::printf("%-22s %-9s conversion failed\n", fs::path(clip).filename().c_str(), modes[mode]);
      continue;
    }
    const double kbps = static_cast<double>(fs::file_size(options.FileName)) * 8 / FileDuration(options.FileName) / 1000;
    std::printf("%-22s %-9s %9.0f kb/s  SSIM %.5f\n", fs::path(clip).filename().c_str(), modes[mode], kbps,
                MeanSsim(options.FileName, clip));
  }
}

} // namespace

int main(int argc, char **argv) {
  const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "tvl-quality-bench";
  const std::string settings = argc > 2 ? argv[2] : TVL_SHIPPED_SETTINGS;
  fs::create_directories(folder);
  if (!FFLoader.LoadLibraries(EngineLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader.LastError().c_str());
    return 1;
  }
  AVUtil.av_log_set_level(AV_LOG_QUIET);
  TIniOptions options;
  options.LoadFromFile(settings);
  const std::size_t index = argc > 3 ? std::stoul(argv[3]) : 0;
  if (index >= options.Formats.size()) {
    std::fprintf(stderr, "no profile %zu in %s\n", index, settings.c_str());
    return 1;
  }
  const std::string small = (folder / "clip360.mp4").string(), large = (folder / "clip1080.mp4").string();
  if (!MakeClip(small, 640, 360, 8, 8000000) || !MakeClip(large, 1920, 1080, 3, 20000000))
    return 1;
  const TFormatRec &profile = options.Formats[index];
  std::printf("profile: %s\n", profile.Name.c_str());
  Measure(small, folder, profile);
  Measure(large, folder, profile);
  return 0;
}
