#pragma once
// Which of a source's tracks an output keeps, in the form its container takes them: every chosen
// sound track where the container holds several (else the default one), text subtitles as the
// container's text form, picture subtitles where it takes them, an audio file's cover, chapters;
// Matroska also keeps the attached files and pictures as attachments.
#include <cstdint>
#include <string>
#include <vector>

#include "convert/SourceTracks.h"
#include "engine/FFmpegOptions.h"

struct TTrackSource {
  std::vector<TSourceTrack> Tracks;
  int Picture = -1; // see PictureStream
  int Cover = -1;   // see CoverStream
  TTrackChoice Audio, Subtitles;
  std::string FileName;        // read again by a burn-in
  int64_t StartMs = 0;         // the source time of the output's first picture
  bool CanBurn = false;        // the filter library draws text subtitles
  std::vector<int> Attachments; // see AttachmentStreams
};

// Fills the record's mapped streams for the profile's extension (with its dot); the record's audio
// codec is the one each sound track gets. Returns what is left out and why ("" when nothing), for the
// row's status tooltip. A burned text subtitle track joins the record's video filters, a burned
// picture subtitle track is the record's BurnSubtitle.
std::string MapTracks(TOutputOptions &out, const TTrackSource &source, const std::string &ext);
