#pragma once
// The sound and subtitle tracks of a source file, as the edit window lists them and the job builder
// maps them, and the per-file choice of which of them to keep.
#include <string>
#include <vector>

struct AVFormatContext;

enum class TTrackKind { Audio, Subtitle };

struct TSourceTrack {
  int Stream = -1; // the stream's index in the file
  TTrackKind Kind = TTrackKind::Audio;
  std::string Codec; // the libraries' codec name
  std::string Language, Title;
  bool Default = false, Forced = false;
  bool Picture = false; // a subtitle drawn as pictures (DVD, Blu-ray, DVB), not as text
  int Channels = 0;
};

// The file's audio tracks, then its subtitle tracks, each kind in the file's order.
std::vector<TSourceTrack> ReadSourceTracks(const AVFormatContext *context);
// The file's picture stream (not an attached cover), or -1.
int PictureStream(const AVFormatContext *context);
// An audio file's cover (an attached picture), or -1.
int CoverStream(const AVFormatContext *context);
// The files attached to the source (fonts for its subtitles and others) and its attached pictures,
// in the file's order: what a Matroska output attaches.
std::vector<int> AttachmentStreams(const AVFormatContext *context);

// Which tracks of a kind to keep: "all", "default" (audio: the track flagged default, else the
// first), "none", or a comma-separated list of track numbers (1 = the kind's first) and language
// codes. Case does not matter; an empty text means "all". Subtitles also take "burn:N": subtitle
// track N (text or pictures) drawn into the picture, no subtitle track kept.
using TTrackChoice = std::string;

// The subtitle track number a "burn:N" choice draws into the picture; 0 for the other forms.
int BurnTrack(const TTrackChoice &choice);

// Whether the choice is one of those forms; a wrong one says why in error.
bool ValidTrackChoice(const TTrackChoice &choice, bool audio, std::string &error);

// The tracks of the kind the choice keeps, in the file's order.
std::vector<TSourceTrack> ChosenTracks(const std::vector<TSourceTrack> &tracks, TTrackKind kind,
                                       const TTrackChoice &choice);
// The words of a list choice that name none of the file's tracks of the kind (a number past its
// last one, a language none of them has): the file changed after the choice was made.
std::vector<std::string> MissingTracks(const std::vector<TSourceTrack> &tracks, TTrackKind kind,
                                       const TTrackChoice &choice);
// The choice as the file can follow it: a list naming none of its tracks of the kind keeps them all,
// as by default; the other choices as they are.
TTrackChoice FollowedChoice(const std::vector<TSourceTrack> &tracks, TTrackKind kind, const TTrackChoice &choice);
// The track the "default" choice keeps: flagged default, else the first; null without any.
const TSourceTrack *DefaultTrack(const std::vector<TSourceTrack> &tracks, TTrackKind kind);

// "2 audio, 1 subtitle" for what the choices keep of the file ("2 audio, 3 subtitles", "no audio",
// "2 audio, 1 subtitle burned in"), as they are followed.
std::string TrackSummary(const std::vector<TSourceTrack> &tracks, const TTrackChoice &audio,
                         const TTrackChoice &subtitles);
