// Writes the project's test media into the folder named on the command line. Every file is
// synthetic and small; the list and names are documented in README.md.
#include "ClipWriter.h"

#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct TMediaFile {
  const char *Name;
  TClipPlan Plan;
};

TClipPlan Clip(const char *format, double seconds, std::vector<TStreamPlan> streams) {
  TClipPlan plan;
  plan.Format = format;
  plan.Seconds = seconds;
  plan.Streams = std::move(streams);
  return plan;
}

std::vector<TMediaFile> MediaFiles() {
  std::vector<TMediaFile> files;
  files.push_back(
      {"clip25.avi", Clip("avi", 2, {VideoStream("mpeg4", 160, 120, 25), AudioStream("libmp3lame")})});
  TClipPlan tagged = Clip("mp4", 2, {VideoStream("mpeg4", 160, 120, 30000, 1001), AudioStream("aac")});
  tagged.Metadata = {{"title", "Test Title"}, {"comment", "Test Comment"},     {"album", "Test Album"},
                     {"genre", "Test Genre"}, {"copyright", "Test Copyright"}, {"date", "2009"},
                     {"track", "3"}};
  files.push_back({"clip2997.mp4", tagged});
  files.push_back(
      {"clip15.mkv", Clip("matroska", 2, {VideoStream("mpeg4", 160, 120, 15), AudioStream("mp2")})});
  files.push_back(
      {"clip.mpg", Clip("vob", 2, {VideoStream("mpeg2video", 160, 120, 25), AudioStream("mp2")})});
  files.push_back(
      {"clip.flv", Clip("flv", 2, {VideoStream("flv", 160, 120, 25), AudioStream("libmp3lame")})});
  files.push_back({"clip.3gp", Clip("3gp", 2, {VideoStream("h263", 176, 144, 15), AudioStream("aac")})});
  files.push_back({"tone.mp3", Clip("mp3", 2, {AudioStream("libmp3lame")})});
  files.push_back({"tone.wav", Clip("wav", 2, {AudioStream("pcm_s16le")})});
  files.push_back({"tone.m4a", Clip("ipod", 2, {AudioStream("aac")})});
  TStreamPlan wide = VideoStream("mpeg4", 720, 576, 25);
  wide.SarNum = 16;
  wide.SarDen = 11;
  files.push_back({"anamorphic.mp4", Clip("mp4", 1, {wide, AudioStream("aac")})});
  files.push_back({"short.mp4", Clip("mp4", 0.4, {VideoStream("mpeg4", 160, 120, 25), AudioStream("aac")})});
  // A raw elementary stream carries no duration and no bit rate to estimate one from.
  files.push_back({"noduration.m4v", Clip("m4v", 2, {VideoStream("mpeg4", 160, 120, 25)})});
  files.push_back({"subtitlefirst.mkv", Clip("matroska", 2,
                                             {TStreamPlan{TStreamKind::Subtitle, {}},
                                              VideoStream("mpeg4", 160, 120, 25), AudioStream("mp2")})});
  files.push_back(
      {"databetweenaudio.ts",
       Clip("mpegts", 2, {AudioStream("mp2"), TStreamPlan{TStreamKind::Data, {}}, AudioStream("mp2")})});
  // Files as phones, DVDs, screen recorders and films give them.
  TStreamPlan bframes = VideoStream("libx264", 160, 120, 25);
  bframes.MaxBFrames = 2;
  files.push_back({"bframes.mp4", Clip("mp4", 1, {bframes, AudioStream("aac")})});
  TStreamPlan phone = VideoStream("libx264", 160, 96, 24);
  phone.ClockRate = 90000;
  phone.Rotation = 90;
  files.push_back({"phone.mp4", Clip("mp4", 1, {phone, AudioStream("aac", 48000)})});
  TStreamPlan chroma = VideoStream("mpeg2video", 160, 120, 25);
  chroma.PixelFormat = "yuv422p";
  files.push_back({"chroma422.mkv", Clip("matroska", 1, {chroma, AudioStream("mp2")})});
  TStreamPlan surround = AudioStream("aac", 48000, 6);
  surround.RepeatTimestampEvery = 8;
  files.push_back({"surround.mkv", Clip("matroska", 1, {VideoStream("mpeg4", 160, 120, 25), surround})});
  // The header's nominal bit rate is far above the real one: the length estimated from it is short.
  TStreamPlan raw = VideoStream("mpeg1video", 160, 120, 25);
  raw.BitRate = 20000000;
  files.push_back({"estimated.m1v", Clip("mpeg1video", 2, {raw})});
  // DVD menus: 0.8 s, the navigation packets come first.
  files.push_back({"menu.vob", Clip("vob", 0.8, {VideoStream("mpeg2video", 160, 120, 25), AudioStream("mp2", 48000)})});
  return files;
}

bool WriteText(const fs::path &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mediagen <folder>\n");
    return 2;
  }
  const fs::path folder = argv[1];
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!FFLoader.LoadLibraries(EngineLibraries)) {
    std::fprintf(stderr, "mediagen: %s\n", FFLoader.LastError().c_str());
    return 1;
  }
  AVUtil.av_log_set_level(AV_LOG_ERROR);
  for (const TMediaFile &file : MediaFiles()) {
    std::string error;
    if (!WriteClip((folder / file.Name).string(), file.Plan, error)) {
      std::fprintf(stderr, "mediagen: %s: %s\n", file.Name, error.c_str());
      return 1;
    }
  }
  // Broken and awkward files, made from the good ones.
  const fs::path complete = folder / "clip2997.mp4";
  std::ifstream in(complete, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const bool written = WriteText(folder / "truncated.mp4", bytes.substr(0, bytes.size() / 2)) &&
                       WriteText(folder / "empty.avi", "") &&
                       WriteText(folder / "text.avi", "These are notes about holiday plans, not a film.\n"
                                                      "Nothing in here is meant to be played.\n");
  fs::copy_file(folder / "short.mp4",
                folder / "clip with spaces \xC3\xBCn\xC3\xAF\x63\xC3\xB8\x64\xC3\xA9.mp4",
                fs::copy_options::overwrite_existing, ec);
  if (!written || ec) {
    std::fprintf(stderr, "mediagen: cannot write the derived files in %s\n", folder.c_str());
    return 1;
  }
  return 0;
}
