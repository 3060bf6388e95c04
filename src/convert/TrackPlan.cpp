#include "convert/TrackPlan.h"

#include <algorithm>
#include <optional>

#include "convert/BurnIn.h"
#include "convert/ConvertHelpers.h"

namespace {

bool ExtIn(const std::string &ext, std::initializer_list<const char *> list) {
  return std::any_of(list.begin(), list.end(), [&ext](const char *item) { return ext == item; });
}

// Containers our profiles write with several sound tracks.
bool TakesSeveralAudio(const std::string &ext) {
  return ExtIn(ext, {".mp4", ".mov", ".m4v", ".mkv", ".webm", ".mpg", ".vob"});
}

// The codec a subtitle track gets in the container; "" when the container cannot hold it.
std::string SubtitleCodec(const TSourceTrack &track, const std::string &ext) {
  if (ext == ".mkv")
    return track.Picture || track.Codec != "mov_text" ? "copy" : "subrip";
  if (ExtIn(ext, {".mpg", ".vob"}))
    return track.Codec == "dvd_subtitle" ? "copy" : "";
  if (track.Picture)
    return "";
  if (ExtIn(ext, {".mp4", ".mov", ".m4v"}))
    return track.Codec == "mov_text" ? "copy" : "mov_text";
  if (ext == ".webm")
    return track.Codec == "webvtt" ? "copy" : "webvtt";
  return "";
}

// Audio files whose container stores a cover picture as one. Matroska's muxer would write it as a
// video track of a single frame: it gets the cover as an attachment instead.
bool TakesCover(const std::string &ext) { return ExtIn(ext, {".mp3", ".m4a", ".flac"}); }

bool TakesAttachments(const std::string &ext) { return ExtIn(ext, {".mkv", ".mka"}); }

bool TakesChapters(const std::string &ext) { return ExtIn(ext, {".mp4", ".mov", ".m4v", ".mkv", ".webm", ".m4a"}); }

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// A stored choice may name tracks the file no longer has (it was replaced or changed since): those
// still there are kept, the file's tracks as by default when none is, and the note says so.
TTrackChoice CheckedChoice(const TTrackSource &source, TTrackKind kind, const TTrackChoice &choice,
                           std::string &note) {
  const std::vector<std::string> missing = MissingTracks(source.Tracks, kind, choice);
  if (missing.empty())
    return choice;
  const std::string what = kind == TTrackKind::Audio ? "audio" : "subtitle";
  std::string names;
  for (const std::string &name : missing)
    names += (names.empty() ? "" : ", ") + name;
  const TTrackChoice followed = FollowedChoice(source.Tracks, kind, choice);
  note += "The file no longer has " + what + (missing.size() > 1 ? " tracks " : " track ") + names + ": " +
          (followed == choice ? "the other chosen ones were kept. " : "all its " + what + " tracks were kept. ");
  return followed;
}

void MapAudio(TOutputOptions &out, const TTrackSource &source, const std::string &ext, std::string &note) {
  std::vector<TSourceTrack> chosen =
      ChosenTracks(source.Tracks, TTrackKind::Audio, CheckedChoice(source, TTrackKind::Audio, source.Audio, note));
  if (chosen.size() > 1 && !TakesSeveralAudio(ext)) {
    const TSourceTrack kept = *DefaultTrack(chosen, TTrackKind::Audio);
    chosen = {kept};
    note += "Only the default audio track was kept: " + Upper(ext.substr(1)) + " files hold one. ";
  }
  if (chosen.empty())
    out.DisableAudio = true;
  for (const TSourceTrack &track : chosen)
    out.Streams.push_back({TMappedKind::Audio, track.Stream, out.AudioCodec});
}

// The subtitle track a burn-in draws; none when the choice burns none. A track that cannot be
// burned leaves the subtitles soft, with a note why.
std::optional<TSourceTrack> BurnedTrack(const TTrackSource &source, std::string &note) {
  const int number = BurnTrack(source.Subtitles);
  if (number == 0)
    return std::nullopt;
  std::vector<TSourceTrack> tracks = ChosenTracks(source.Tracks, TTrackKind::Subtitle, "all");
  if (number > static_cast<int>(tracks.size()))
    note += "The subtitles were kept as tracks: the file has no subtitle " + std::to_string(number) + ". ";
  else if (!tracks[static_cast<size_t>(number - 1)].Picture && !source.CanBurn)
    note += "The subtitles were kept as tracks: the installed filter library cannot draw them into the picture. ";
  else
    return tracks[static_cast<size_t>(number - 1)];
  return std::nullopt;
}

// Picture subtitles are drawn by the engine at the source's size, text ones by the filter library.
void BurnIn(TOutputOptions &out, const TTrackSource &source, const TSourceTrack &track) {
  if (track.Picture) {
    out.BurnSubtitle = track.Stream;
    return;
  }
  const std::string burn = BurnInFilter(source.FileName, BurnTrack(source.Subtitles) - 1, source.StartMs);
  out.VideoFilters = out.VideoFilters.empty() ? burn : out.VideoFilters + "," + burn;
}

void MapSubtitles(TOutputOptions &out, const TTrackSource &source, const std::string &ext, std::string &note) {
  if (const std::optional<TSourceTrack> burned = BurnedTrack(source, note))
    return BurnIn(out, source, *burned);
  const TTrackChoice choice =
      BurnTrack(source.Subtitles) > 0 ? "all" : CheckedChoice(source, TTrackKind::Subtitle, source.Subtitles, note);
  int left = 0, pictures = 0;
  for (const TSourceTrack &track : ChosenTracks(source.Tracks, TTrackKind::Subtitle, choice)) {
    const std::string codec = SubtitleCodec(track, ext);
    if (codec.empty()) {
      ++left;
      pictures += track.Picture;
    } else {
      out.Streams.push_back({TMappedKind::Subtitle, track.Stream, codec});
    }
  }
  const std::string container = Upper(ext.substr(1));
  if (left == 0)
    return;
  if (pictures == left && pictures > 0)
    note += "Picture subtitles were left out: " + container + " files hold text subtitles only. ";
  else if (pictures == 0 && ExtIn(ext, {".mpg", ".vob"}))
    note += "Text subtitles were left out: " + container + " files hold picture subtitles only. ";
  else
    note += "Subtitles were left out: " + container + " files hold none of these. ";
}

} // namespace

std::string MapTracks(TOutputOptions &out, const TTrackSource &source, const std::string &ext) {
  const std::string lower = LowerCase(ext);
  std::string note;
  out.Streams.clear();
  out.BurnSubtitle = -1;
  // A video profile gives no picture track to a file whose only picture is its cover.
  out.VideoSource = out.DisableVideo ? -1 : source.Picture;
  if (out.VideoSource < 0)
    out.DisableVideo = true;
  if (!out.DisableAudio)
    MapAudio(out, source, lower, note);
  if (!out.DisableVideo)
    MapSubtitles(out, source, lower, note);
  if (out.VideoSource < 0 && source.Cover >= 0 && TakesCover(lower))
    out.Streams.push_back({TMappedKind::Picture, source.Cover, "copy"});
  if (TakesAttachments(lower))
    for (const int attached : source.Attachments)
      out.Streams.push_back({TMappedKind::Attachment, attached, ""});
  out.KeepChapters = TakesChapters(lower);
  if (!note.empty())
    note.pop_back();
  return note;
}
