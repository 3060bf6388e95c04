#include "convert/SourceTracks.h"

#include "convert/ConvertHelpers.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"

namespace {

std::string Tag(const AVStream *st, const char *key) {
  const AVDictionaryEntry *entry = AVUtil.av_dict_get(st->metadata, key, nullptr, 0);
  return entry ? entry->value : "";
}

bool PictureSubtitle(AVCodecID id) {
  const AVCodecDescriptor *desc = AVCodecLib.avcodec_descriptor_get(id);
  return desc && (desc->props & AV_CODEC_PROP_BITMAP_SUB);
}

TSourceTrack TrackOf(const AVStream *st) {
  TSourceTrack track;
  track.Stream = st->index;
  track.Kind = st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO ? TTrackKind::Audio : TTrackKind::Subtitle;
  track.Codec = AVCodecLib.avcodec_get_name(st->codecpar->codec_id);
  track.Language = Tag(st, "language");
  track.Title = Tag(st, "title");
  track.Default = st->disposition & AV_DISPOSITION_DEFAULT;
  track.Forced = st->disposition & AV_DISPOSITION_FORCED;
  track.Picture = track.Kind == TTrackKind::Subtitle && PictureSubtitle(st->codecpar->codec_id);
  track.Channels = st->codecpar->ch_layout.nb_channels;
  return track;
}

int FirstVideo(const AVFormatContext *context, bool attached) {
  for (unsigned i = 0; context && i < context->nb_streams; ++i) {
    const AVStream *st = context->streams[i];
    if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && ((st->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) == attached)
      return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> ChoiceWords(const TTrackChoice &choice) {
  std::vector<std::string> words;
  std::size_t pos = 0;
  while (pos <= choice.size()) {
    const std::size_t comma = std::min(choice.find(',', pos), choice.size());
    std::string word = LowerCase(choice.substr(pos, comma - pos));
    word.erase(0, word.find_first_not_of(' '));
    word.erase(word.find_last_not_of(' ') + 1);
    if (!word.empty())
      words.push_back(word);
    pos = comma + 1;
  }
  return words;
}

bool IsNumber(const std::string &word) {
  return !word.empty() && word.find_first_not_of("0123456789") == std::string::npos && word.size() < 6;
}

// A language code: two or three letters.
bool IsLanguage(const std::string &word) {
  return (word.size() == 2 || word.size() == 3) && word.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos;
}

// Whether a word of a list choice names the track, the kind's position-th (1 = its first).
bool Names(const std::string &word, const TSourceTrack &track, int position) {
  return word == std::to_string(position) || (!track.Language.empty() && word == LowerCase(track.Language));
}

// "all", "none", "default" and "burn:N" name no single tracks.
bool IsList(const std::vector<std::string> &words) {
  return !(words.size() == 1 && (words[0] == "all" || words[0] == "none" || words[0] == "default" ||
                                 words[0].rfind("burn:", 0) == 0));
}

} // namespace

std::vector<TSourceTrack> ReadSourceTracks(const AVFormatContext *context) {
  std::vector<TSourceTrack> tracks;
  for (AVMediaType type : {AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_SUBTITLE})
    for (unsigned i = 0; context && i < context->nb_streams; ++i)
      // A sound track the libraries cannot decode could only fail the conversion.
      if (const AVCodecParameters *par = context->streams[i]->codecpar;
          par->codec_type == type && (type != AVMEDIA_TYPE_AUDIO || AVCodecLib.avcodec_find_decoder(par->codec_id)))
        tracks.push_back(TrackOf(context->streams[i]));
  return tracks;
}

int PictureStream(const AVFormatContext *context) { return FirstVideo(context, false); }

int CoverStream(const AVFormatContext *context) { return FirstVideo(context, true); }

std::vector<int> AttachmentStreams(const AVFormatContext *context) {
  std::vector<int> streams;
  for (unsigned i = 0; context && i < context->nb_streams; ++i) {
    const AVStream *st = context->streams[i];
    // An empty one would only fail the output's header.
    if ((st->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT && st->codecpar->extradata_size > 0) ||
        ((st->disposition & AV_DISPOSITION_ATTACHED_PIC) && st->attached_pic.size > 0))
      streams.push_back(static_cast<int>(i));
  }
  return streams;
}

int BurnTrack(const TTrackChoice &choice) {
  const std::vector<std::string> words = ChoiceWords(choice);
  if (words.size() != 1 || words[0].rfind("burn:", 0) != 0)
    return 0;
  const std::string number = words[0].substr(5);
  return IsNumber(number) ? std::stoi(number) : 0;
}

bool ValidTrackChoice(const TTrackChoice &choice, bool audio, std::string &error) {
  const std::vector<std::string> words = ChoiceWords(choice);
  if (!audio && BurnTrack(choice) > 0)
    return true;
  if (words.size() == 1 && (words[0] == "all" || words[0] == "none" || (audio && words[0] == "default")))
    return true;
  for (const std::string &word : words)
    if (!(IsNumber(word) && word != "0") && !IsLanguage(word)) {
      error = "\"" + word + "\" is neither a track number nor a language code";
      return false;
    }
  return true;
}

const TSourceTrack *DefaultTrack(const std::vector<TSourceTrack> &tracks, TTrackKind kind) {
  const TSourceTrack *first = nullptr;
  for (const TSourceTrack &track : tracks) {
    if (track.Kind != kind)
      continue;
    if (track.Default)
      return &track;
    if (!first)
      first = &track;
  }
  return first;
}

std::vector<TSourceTrack> ChosenTracks(const std::vector<TSourceTrack> &tracks, TTrackKind kind,
                                       const TTrackChoice &choice) {
  const std::vector<std::string> words = ChoiceWords(choice);
  const std::string only = words.size() == 1 ? words[0] : "";
  std::vector<TSourceTrack> chosen;
  // A burned track is part of the picture: no subtitle track is kept beside it.
  if (only == "none" || BurnTrack(choice) > 0)
    return chosen;
  if (only == "default") {
    if (const TSourceTrack *track = DefaultTrack(tracks, kind))
      chosen.push_back(*track);
    return chosen;
  }
  int number = 0;
  for (const TSourceTrack &track : tracks) {
    if (track.Kind != kind)
      continue;
    ++number;
    bool keep = words.empty() || only == "all";
    for (const std::string &word : words)
      keep = keep || Names(word, track, number);
    if (keep)
      chosen.push_back(track);
  }
  return chosen;
}

std::vector<std::string> MissingTracks(const std::vector<TSourceTrack> &tracks, TTrackKind kind,
                                       const TTrackChoice &choice) {
  std::vector<std::string> missing;
  const std::vector<std::string> words = ChoiceWords(choice);
  if (!IsList(words))
    return missing;
  for (const std::string &word : words) {
    int number = 0;
    bool named = false;
    for (const TSourceTrack &track : tracks)
      if (track.Kind == kind && Names(word, track, ++number))
        named = true;
    if (!named)
      missing.push_back(word);
  }
  return missing;
}

TTrackChoice FollowedChoice(const std::vector<TSourceTrack> &tracks, TTrackKind kind, const TTrackChoice &choice) {
  const std::vector<std::string> words = ChoiceWords(choice);
  const bool namesNone = IsList(words) && !words.empty() && MissingTracks(tracks, kind, choice).size() == words.size();
  return namesNone ? "all" : choice;
}

std::string TrackSummary(const std::vector<TSourceTrack> &tracks, const TTrackChoice &audio,
                         const TTrackChoice &subtitles) {
  const std::size_t sounds = ChosenTracks(tracks, TTrackKind::Audio, FollowedChoice(tracks, TTrackKind::Audio, audio)).size();
  std::string summary = sounds == 0 ? "no audio" : std::to_string(sounds) + " audio";
  // A track the file lacks cannot be burned in: the subtitles stay soft.
  const std::vector<TSourceTrack> all = ChosenTracks(tracks, TTrackKind::Subtitle, "all");
  const std::size_t burned = static_cast<std::size_t>(BurnTrack(subtitles));
  if (burned > 0 && burned <= all.size())
    return summary + ", 1 subtitle burned in";
  const std::size_t texts =
      burned > 0 ? all.size()
                 : ChosenTracks(tracks, TTrackKind::Subtitle, FollowedChoice(tracks, TTrackKind::Subtitle, subtitles)).size();
  if (texts > 0)
    summary += ", " + std::to_string(texts) + (texts == 1 ? " subtitle" : " subtitles");
  return summary;
}
