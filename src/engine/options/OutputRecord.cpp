// Applying the output record of the conversion driver to a task's options, in its fixed order.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <ctime>

#include "engine/options/TaskOptions.h"
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

// A typed field given a value overrides the same option from the record's option lines: a
// library option when above 0, an option line when not empty, a number option when not negative.
void SetPositive(TTaskOptions &options, const char *name, int value) {
  if (value > 0)
    options.SetGenericOption(name, std::to_string(value));
}

void SetGiven(TTaskOptions &options, const char *name, const std::string &value) {
  if (!value.empty())
    options.SetOption(name, value);
}

void SetNotNegative(TTaskOptions &options, const char *name, int value) {
  if (value >= 0)
    options.SetOption(name, std::to_string(value));
}

} // namespace

void TTaskOptions::ApplyTargetPreset(const TOutputOptions &options) {
  if (options.Target < 1 || options.Target > 3)
    return;
  static const char *const types[] = {"vcd", "svcd", "dvd"};
  const char *norm = options.TargetNorm == 1 ? "pal" : options.TargetNorm == 2 ? "ntsc" : "auto";
  const char *fallback = options.TargetFallbackNorm == 1 ? "pal" : "ntsc";
  ApplyTarget(types[options.Target - 1], norm, fallback);
}

void TTaskOptions::ApplyOutputOptions(const TOutputOptions &o) {
  SetOutputFormat(o.FileFormat);
  SetPositive(*this, "packetsize", o.PacketSize);
  SetPositive(*this, "muxrate", o.MuxRate);
  if (o.MuxDelay > 0)
    S.MuxMaxDelay = o.MuxDelay;
  if (o.MuxPreload > 0)
    S.MuxPreload = o.MuxPreload;
  ApplyOutputAudio(o);
  ApplyOutputVideo(o);
  S.SubtitleDisable = o.DisableSubtitle;
  S.SubtitleLanguage = o.SubtitleLanguage;
  ApplyOutputTimes(o);
  ApplyOutputTags(o);
}

void TTaskOptions::ApplyOutputAudio(const TOutputOptions &o) {
  SetGiven(*this, "acodec", o.AudioCodec);
  S.AudioDisable = o.DisableAudio;
  if (o.AudioVolume >= 0)
    S.AudioVolume = o.AudioVolume;
  if (o.AudioChannels > 0)
    S.AudioChannels = o.AudioChannels;
  if (o.AudioSampleRate > 0)
    S.AudioSampleRate = o.AudioSampleRate;
  SetPositive(*this, "ab", o.AudioBitrate);
  SetPositive(*this, "abt", o.AudioBitrateTolerance);
  S.AudioLanguage = o.AudioLanguage;
  S.AudioSyncMethod = o.AudioSync;
  SetGiven(*this, "atag", o.AudioTag);
}

void TTaskOptions::ApplyOutputVideo(const TOutputOptions &o) {
  SetGiven(*this, "vcodec", o.VideoCodec);
  S.VideoDisable = o.DisableVideo;
  SetGiven(*this, "r", o.FrameRate);
  SetGiven(*this, "s", o.FrameSize);
  SetGiven(*this, "aspect", o.AspectRatio);
  SetNotNegative(*this, "croptop", o.CropTop);
  SetNotNegative(*this, "cropbottom", o.CropBottom);
  SetNotNegative(*this, "cropleft", o.CropLeft);
  SetNotNegative(*this, "cropright", o.CropRight);
  SetNotNegative(*this, "padtop", o.PadTop);
  SetNotNegative(*this, "padbottom", o.PadBottom);
  SetNotNegative(*this, "padleft", o.PadLeft);
  SetNotNegative(*this, "padright", o.PadRight);
  SetPadColor(static_cast<int>(o.PadColor & 0xFFFFFF));
  SetPositive(*this, "gop", o.GopSize);
  SetPositive(*this, "vb", o.VideoBitrate);
  SetPositive(*this, "maxrate", o.VideoMaxRate);
  SetPositive(*this, "minrate", o.VideoMinRate);
  SetPositive(*this, "bt", o.VideoBitrateTolerance);
  SetPositive(*this, "bufsize", o.VideoBufSize);
  S.VideoSyncMethod = o.VideoSync;
  SetGiven(*this, "vtag", o.VideoTag);
  SetGiven(*this, "vfilters", o.VideoFilters);
  SetGiven(*this, "pix_fmt", o.PixelFormat);
}

void TTaskOptions::ApplyOutputTimes(const TOutputOptions &o) {
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
}

void TTaskOptions::ApplyOutputTags(const TOutputOptions &o) {
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

void TTaskOptions::ApplyHookRanges(const std::string &text) {
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

void TTaskOptions::MapRecordStreams(const TOutputOptions &o) {
  if ((o.VideoSource < 0 && o.Streams.empty()) || FHost.InputCount() == 0)
    return;
  const std::string input = std::to_string(FHost.InputCount() - 1) + ":";
  if (!o.DisableVideo && o.VideoSource >= 0)
    SetStreamMap(input + std::to_string(o.VideoSource));
  for (const TMappedStream &mapped : o.Streams)
    if (mapped.Kind != TMappedKind::Attachment) // no packets to route: written with the header
      SetStreamMap(input + std::to_string(mapped.Source));
  if (o.BurnSubtitle >= 0)
    SetBurnSubtitle(input + std::to_string(o.BurnSubtitle));
  // Opening the file makes the picture only; AddMappedStreams adds the rest in the record's order.
  S.AudioDisable = S.SubtitleDisable = true;
  S.VideoDisable = S.VideoDisable || o.VideoSource < 0;
  S.CopyChapters = o.KeepChapters;
}
