// Applying the output record of the conversion driver to a task's options, in its fixed order.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <ctime>

#include "engine/FFmpeg.h"
#include "engine/options/OptionValues.h"

namespace {

// Days between 1899-12-30 (day 0 of the record's dates) and 1970-01-01.
constexpr double UnixEpochDay = 25569.0;

// Offset of local time from UTC in days, east positive.
double LocalBiasDays() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return static_cast<double>(local.tm_gmtoff / 60) / 1440.0;
}

} // namespace

void TCustomFFmpeg::ApplyTargetPreset(const TOutputOptions &options) {
  if (options.Target < 1 || options.Target > 3)
    return;
  static const char *const types[] = {"vcd", "svcd", "dvd"};
  const char *norm = options.TargetNorm == 1 ? "pal" : options.TargetNorm == 2 ? "ntsc" : "auto";
  const char *fallback = options.TargetFallbackNorm == 1 ? "pal" : "ntsc";
  ApplyTarget(types[options.Target - 1], norm, fallback);
}

void TCustomFFmpeg::ApplyOutputOptions(const TOutputOptions &o) {
  // A typed field given a value overrides the same option from the record's option lines.
  auto generic = [this](const char *name, int value) {
    if (value > 0)
      SetGenericOption(name, std::to_string(value));
  };
  auto option = [this](const char *name, const std::string &value) {
    if (!value.empty())
      SetOption(name, value);
  };
  auto number = [this](const char *name, int value) {
    if (value >= 0)
      SetOption(name, std::to_string(value));
  };

  SetOutputFormat(o.FileFormat);
  generic("packetsize", o.PacketSize);
  generic("muxrate", o.MuxRate);
  if (o.MuxDelay > 0)
    S.MuxMaxDelay = o.MuxDelay;
  if (o.MuxPreload > 0)
    S.MuxPreload = o.MuxPreload;
  option("acodec", o.AudioCodec);
  S.AudioDisable = o.DisableAudio;
  if (o.AudioVolume >= 0)
    S.AudioVolume = o.AudioVolume;
  if (o.AudioChannels > 0)
    S.AudioChannels = o.AudioChannels;
  if (o.AudioSampleRate > 0)
    S.AudioSampleRate = o.AudioSampleRate;
  generic("ab", o.AudioBitrate);
  generic("abt", o.AudioBitrateTolerance);
  S.AudioLanguage = o.AudioLanguage;
  S.AudioSyncMethod = o.AudioSync;
  option("atag", o.AudioTag);
  option("vcodec", o.VideoCodec);
  S.VideoDisable = o.DisableVideo;
  option("r", o.FrameRate);
  option("s", o.FrameSize);
  option("aspect", o.AspectRatio);
  number("croptop", o.CropTop);
  number("cropbottom", o.CropBottom);
  number("cropleft", o.CropLeft);
  number("cropright", o.CropRight);
  number("padtop", o.PadTop);
  number("padbottom", o.PadBottom);
  number("padleft", o.PadLeft);
  number("padright", o.PadRight);
  SetPadColor(static_cast<int>(o.PadColor & 0xFFFFFF));
  generic("gop", o.GopSize);
  generic("vb", o.VideoBitrate);
  generic("maxrate", o.VideoMaxRate);
  generic("minrate", o.VideoMinRate);
  generic("bt", o.VideoBitrateTolerance);
  generic("bufsize", o.VideoBufSize);
  S.VideoSyncMethod = o.VideoSync;
  option("vtag", o.VideoTag);
  option("vfilters", o.VideoFilters);
  option("pix_fmt", o.PixelFormat);
  S.SubtitleDisable = o.DisableSubtitle;
  S.SubtitleLanguage = o.SubtitleLanguage;
  S.CopyTs = o.CopyTimestamps;
  if (o.StartTimeMs > 0)
    S.StartTime = int64_t{o.StartTimeMs} * 1000;
  SetStartTimeUs(o.StartTime);
  SetRecordingTimeMs(o.RecordTimeMs);
  SetRecordingTimeUs(o.RecordTime);
  if (o.Timestamp == 0)
    S.RecTimestamp = std::time(nullptr);
  else if (o.Timestamp > 0)
    S.RecTimestamp = std::llround((o.Timestamp - UnixEpochDay - LocalBiasDays()) * 86400.0);

  auto tag = [this](const char *key, const std::string &value, size_t capacity) {
    if (!value.empty())
      S.MetaData.emplace_back(key, value.substr(0, capacity));
  };
  if (o.Year > 0)
    S.MetaData.emplace_back("year", std::to_string(o.Year));
  if (o.Track > 0)
    S.MetaData.emplace_back("track", std::to_string(o.Track));
  tag("title", o.Title, 511);
  tag("author", o.Author, 511);
  tag("copyright", o.Copyright, 511);
  tag("comment", o.Comment, 511);
  tag("album", o.Album, 511);
  tag("genre", o.Genre, 31);
}

void TCustomFFmpeg::ApplyHookRanges(const std::string &text) {
  FConfig.HookRanges.clear();
  auto number = [](const std::string &part) -> int64_t {
    const std::string t = Trim(part);
    int64_t v = -1;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size() || v > INT64_MAX / 1000 ||
        v < INT64_MIN / 1000)
      return -1;
    return v;
  };
  const std::string all = Trim(text);
  size_t pos = 0;
  while (pos < all.size()) {
    const size_t comma = std::min(all.find(',', pos), all.size());
    const std::string range = all.substr(pos, comma - pos);
    pos = comma + 1;
    const size_t hyphen = range.find('-', range.find_first_not_of(' '));
    if (hyphen == std::string::npos)
      continue;
    const int64_t start = number(range.substr(0, hyphen)) * 1000;
    const int64_t end = number(range.substr(hyphen + 1)) * 1000;
    if (end >= start && end >= 0)
      FConfig.HookRanges.push_back({start, end});
  }
  std::stable_sort(FConfig.HookRanges.begin(), FConfig.HookRanges.end(),
                   [](const THookRange &a, const THookRange &b) { return a.End < b.End; });
}
