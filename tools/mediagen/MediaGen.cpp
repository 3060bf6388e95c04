// Writes the project's test media into the folder named on the command line. Every file is
// synthetic and small; the list and names are documented in README.md.
#include "ClipWriter.h"

#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <tuple>

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

TStreamPlan SolidVideo(int width, int height, int y, int u, int v) {
  TStreamPlan plan = VideoStream("mpeg4", width, height, 25);
  plan.Content = TContent::Solid;
  plan.SolidY = y;
  plan.SolidU = u;
  plan.SolidV = v;
  return plan;
}

TStreamPlan Track(TStreamPlan plan, const char *language, const char *title, int disposition) {
  plan.Metadata["language"] = language;
  if (*title)
    plan.Metadata["title"] = title;
  plan.Disposition = disposition;
  return plan;
}

// A film as people keep them: two sound tracks, two kinds of subtitles, chapters, a title, a date
// and a font for its subtitles.
TClipPlan Film() {
  TStreamPlan srt = Track({TStreamKind::Subtitle, "subrip"}, "eng", "English", AV_DISPOSITION_DEFAULT);
  srt.Captions = {{0.2, 0.8, "First line"}, {1.5, 2.5, "Second line"}};
  TStreamPlan ass = Track({TStreamKind::Subtitle, "ass"}, "fre", "", 0);
  ass.Captions = {{0.3, 0.9, "Premier"}, {1.6, 2.6, "Second"}};
  TClipPlan film = Clip("matroska", 3,
                        {VideoStream("mpeg4", 160, 120, 25),
                         Track(AudioStream("mp2"), "eng", "", AV_DISPOSITION_DEFAULT),
                         Track(AudioStream("mp2"), "fre", "Commentary", 0), srt, ass});
  TStreamPlan font{TStreamKind::Attachment, ""};
  font.Metadata = {{"filename", "TestSans.ttf"}, {"mimetype", "application/x-truetype-font"}};
  film.Streams.push_back(font);
  film.Metadata = {{"title", "Test Film"}, {"creation_time", "2019-06-01T10:20:30.000000Z"}};
  film.Chapters = {{0, 1.5, "Opening"}, {1.5, 3, "Ending"}};
  return film;
}

// A film with DVD subtitles (picture lines at 0.2-0.8 s and 1.5-2.5 s), in Matroska and in a DVD's
// program stream.
void AddPictureSubtitleClips(std::vector<TMediaFile> &files) {
  TStreamPlan lines = Track({TStreamKind::Subtitle, "dvdsub"}, "eng", "", 0);
  lines.Width = 320;
  lines.Height = 240;
  lines.Captions = {{0.2, 0.8, ""}, {1.5, 2.5, ""}};
  for (const auto &[name, format, video] : {std::tuple{"dvdsubs.mkv", "matroska", "mpeg4"}, {"dvdsubs.vob", "vob", "mpeg2video"}})
    files.push_back({name, Clip(format, 3, {VideoStream(video, 320, 240, 25), AudioStream("mp2"), lines})});
}

// A song with ID3 tags and its album's cover.
TClipPlan Song() {
  TStreamPlan cover = VideoStream("mjpeg", 64, 64, 1);
  cover.Kind = TStreamKind::Cover;
  TClipPlan song = Clip("mp3", 2, {AudioStream("libmp3lame", 22050, 2), cover});
  song.Metadata = {{"title", "Test Song"}, {"artist", "Test Artist"}, {"album", "Test Album"},
                   {"date", "2019"},       {"track", "4"},             {"genre", "Test Genre"}};
  return song;
}

// A quiet and a loud sound (about -35 and -8 LUFS) whose level swells and fades, for loudness
// normalisation; a 640×360 and a 1080p clip long enough for rate control to settle, for sizes.
void AddQualityClips(std::vector<TMediaFile> &files) {
  TStreamPlan picture = VideoStream("mpeg4", 640, 360, 25);
  picture.BitRate = 3000000;
  files.push_back({"scene.mp4", Clip("mp4", 10, {picture, AudioStream("aac", 48000, 2)})});
  // Its 1080p kin, just long enough to be sampled in pieces rather than whole.
  TStreamPlan large = VideoStream("mpeg4", 1920, 1080, 25);
  large.BitRate = 12000000;
  files.push_back({"scene1080.mp4", Clip("mp4", 7, {large, AudioStream("aac", 48000, 2)})});
  for (const auto &[name, level] : {std::pair{"quiet.m4a", 0.028}, {"loud.m4a", 0.63}}) {
    TStreamPlan tone = AudioStream("aac", 48000, 2);
    tone.Content = TContent::Swell;
    tone.ToneLevel = level;
    files.push_back({name, Clip("ipod", 8, {tone})});
  }
}

// The same still ramp of grey levels as 8-bit SDR (BT.709) and as 10-bit BT.2020 PQ and HLG, for
// tone mapping: converted to SDR, the HDR ones look as the SDR one.
void AddHdrClips(std::vector<TMediaFile> &files) {
  for (const auto &[name, transfer] : {std::pair{"ramp-sdr.mkv", int{AVCOL_TRC_BT709}},
                                       {"ramp-pq.mkv", int{AVCOL_TRC_SMPTE2084}},
                                       {"ramp-hlg.mkv", int{AVCOL_TRC_ARIB_STD_B67}}}) {
    TStreamPlan ramp = VideoStream("ffv1", 320, 180, 25);
    ramp.Content = TContent::Ramp;
    ramp.Transfer = transfer;
    ramp.PixelFormat = transfer == AVCOL_TRC_BT709 ? "yuv420p" : "yuv420p10le";
    files.push_back({name, Clip("matroska", 0.4, {ramp})});
  }
}

// Files as phones, DVDs, screen recorders and films give them.
void AddDeviceClips(std::vector<TMediaFile> &files) {
  TStreamPlan bframes = VideoStream("libx264", 160, 120, 25);
  bframes.MaxBFrames = 2;
  files.push_back({"bframes.mp4", Clip("mp4", 1, {bframes, AudioStream("aac")})});
  TStreamPlan phone = VideoStream("libx264", 160, 96, 24);
  phone.ClockRate = 90000;
  phone.Rotation = 90;
  TClipPlan phoneClip = Clip("mp4", 1, {phone, AudioStream("aac", 48000)});
  phoneClip.Metadata = {{"creation_time", "2019-06-01T10:20:30.000000Z"}, {"location", "+48.8584+002.2945/"}};
  files.push_back({"phone.mp4", phoneClip});
  TStreamPlan chroma = VideoStream("mpeg2video", 160, 120, 25);
  chroma.PixelFormat = "yuv422p";
  files.push_back({"chroma422.mkv", Clip("matroska", 1, {chroma, AudioStream("mp2")})});
  TStreamPlan surround = AudioStream("aac", 48000, 6);
  surround.RepeatTimestampEvery = 8;
  files.push_back({"surround.mkv", Clip("matroska", 1, {VideoStream("mpeg4", 160, 120, 25), surround})});
  // The header's nominal bit rate is far above the real one: the length estimated from it is short.
  TStreamPlan raw = VideoStream("mpeg1video", 160, 120, 25);
  raw.BitRate = 20000000;
  files.push_back({"estimated.m1v", Clip("mpeg1video", 6, {raw})});
  // DVD menus: 0.8 s, the navigation packets come first.
  files.push_back({"menu.vob", Clip("vob", 0.8, {VideoStream("mpeg2video", 160, 120, 25), AudioStream("mp2", 48000)})});
}

std::vector<TMediaFile> MediaFiles() {
  std::vector<TMediaFile> files;
  files.push_back(
      {"clip25.avi", Clip("avi", 2, {VideoStream("mpeg4", 160, 120, 25), AudioStream("libmp3lame")})});
  TClipPlan tagged = Clip("mp4", 2, {VideoStream("mpeg4", 160, 120, 30000, 1001), AudioStream("aac")});
  tagged.Metadata = {{"title", "Test Title"}, {"comment", "Test Comment"},     {"album", "Test Album"},
                     {"genre", "Test Genre"}, {"copyright", "Test Copyright"}, {"date", "2009"},
                     {"track", "3"}, {"artist", "Test Artist"}, {"creation_time", "2019-06-01T10:20:30.000000Z"}};
  files.push_back({"clip2997.mp4", tagged});
  files.push_back(
      {"clip15.mkv", Clip("matroska", 2, {VideoStream("mpeg4", 160, 120, 15), AudioStream("mp2")})});
  files.push_back(
      {"clip.mpg", Clip("vob", 2, {VideoStream("mpeg2video", 160, 120, 25), AudioStream("mp2")})});
  files.push_back(
      {"clip.flv", Clip("flv", 2, {VideoStream("flv", 160, 120, 25), AudioStream("libmp3lame")})});
  files.push_back({"clip.3gp", Clip("3gp", 2, {VideoStream("h263", 176, 144, 15), AudioStream("aac")})});
  files.push_back({"tone.mp3", Clip("mp3", 2, {AudioStream("libmp3lame")})});
  files.push_back({"film.mkv", Film()});
  files.push_back({"song.mp3", Song()});
  AddPictureSubtitleClips(files);
  files.push_back({"tone.wav", Clip("wav", 2, {AudioStream("pcm_s16le")})});
  files.push_back({"tone.m4a", Clip("ipod", 2, {AudioStream("aac")})});
  // H.264 and AAC as the H.264 profile writes them, in the containers they come in: copied, not
  // encoded again.
  for (const auto &[name, format] : {std::pair{"fit.mkv", "matroska"}, {"fit.ts", "mpegts"}, {"fit.mov", "mov"}})
    files.push_back({name, Clip(format, 2, {VideoStream("libx264", 320, 240, 25), AudioStream("aac", 48000, 2)})});
  TStreamPlan wide = VideoStream("mpeg4", 720, 576, 25);
  wide.SarNum = 16;
  wide.SarDen = 11;
  files.push_back({"anamorphic.mp4", Clip("mp4", 1, {wide, AudioStream("aac")})});
  // Long enough to trim a minute off, small and sparse enough to make in a moment.
  files.push_back({"long.avi", Clip("avi", 80, {VideoStream("mpeg4", 64, 48, 2)})});
  files.push_back({"short.mp4", Clip("mp4", 0.4, {VideoStream("mpeg4", 160, 120, 25), AudioStream("aac")})});
  // A raw elementary stream carries no duration and no bit rate to estimate one from.
  files.push_back({"noduration.m4v", Clip("m4v", 2, {VideoStream("mpeg4", 160, 120, 25)})});
  files.push_back({"subtitlefirst.mkv", Clip("matroska", 2,
                                             {TStreamPlan{TStreamKind::Subtitle, {}},
                                              VideoStream("mpeg4", 160, 120, 25), AudioStream("mp2")})});
  files.push_back(
      {"databetweenaudio.ts",
       Clip("mpegts", 2, {AudioStream("mp2"), TStreamPlan{TStreamKind::Data, {}}, AudioStream("mp2")})});
  AddDeviceClips(files);
  // For the player: a stereo and a 5.1 tone (AAC decodes to planar float), and solid red pictures
  // in SD (BT.601 values) and HD (BT.709 values, colour space not marked).
  files.push_back({"stereo.m4a", Clip("ipod", 1, {AudioStream("aac", 22050, 2)})});
  files.push_back({"surround.m4a", Clip("ipod", 1, {AudioStream("aac", 22050, 6)})});
  // One picture read by the image-sequence demuxer.
  files.push_back({"still.jpg", Clip("image2", 0.04, {VideoStream("mjpeg", 160, 120, 25)})});
  files.push_back({"redsd.mp4", Clip("mp4", 0.4, {SolidVideo(320, 240, 81, 90, 240)})});
  files.push_back({"redhd.mp4", Clip("mp4", 0.4, {SolidVideo(1280, 720, 63, 102, 240)})});
  // Damage: both streams jump an hour ahead after one second, in a container that does not
  // declare discontinuities.
  TClipPlan jump = Clip("matroska", 2, {VideoStream("mpeg4", 160, 120, 25), AudioStream("mp2")});
  jump.JumpAt = 1;
  jump.JumpBy = 3600;
  files.push_back({"jump.mkv", jump});
  AddQualityClips(files);
  AddHdrClips(files);
  return files;
}

std::string ReadBytes(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The MP4's index kept, its media data replaced by the bytes of another container: the header
// promises streams that the body cannot give.
std::string WithForeignBody(std::string mp4, const std::string &body) {
  const std::size_t tag = mp4.find("mdat");
  if (tag < 4 || body.empty())
    return {};
  const auto byte = [&mp4](std::size_t i) { return static_cast<std::size_t>(static_cast<unsigned char>(mp4[i])); };
  const std::size_t start = tag - 4;
  const std::size_t size = byte(start) << 24 | byte(start + 1) << 16 | byte(start + 2) << 8 | byte(start + 3);
  if (size < 8 || start + size > mp4.size())
    return {};
  for (std::size_t i = 8; i < size; ++i)
    mp4[start + i] = body[(i - 8) % body.size()];
  return mp4;
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
  const std::string bytes = ReadBytes(folder / "clip2997.mp4");
  const std::string mismatch = WithForeignBody(bytes, ReadBytes(folder / "clip.mpg"));
  const bool written = WriteText(folder / "truncated.mp4", bytes.substr(0, bytes.size() / 2)) &&
                       !mismatch.empty() && WriteText(folder / "mismatch.mp4", mismatch) &&
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
