#pragma once
// The parts of building a run that need no engine: reading a format profile's chosen items,
// translating encoder labels and aspect choices, filling a file's output record and naming its
// output file.
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "convert/Loudness.h"
#include "engine/FFmpegOptions.h"
#include "profiles/tvlIniUnt.h"

// A run converts at most this many queued files; later ones wait for another run.
inline constexpr int MaxRunFiles = 1000;

// A chosen item of a profile that cannot be read. The message names the profile, the setting and
// the item, so the user can mend the settings file.
class TProfileItemError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Engine codec name for an encoder label of the profile lists; labels we do not know go to the
// engine lower-cased.
std::string AudioCodecName(const std::string &label);
std::string VideoCodecName(const std::string &label);

// "4:3", "16:9", "37:20", "47:20" for the edit window's choices 1 to 4; empty (keep) otherwise.
std::string AspectRatioText(int aspectIndex);

// True when the profile extension (with its dot) names an audio-only format.
bool IsAudioExtension(const std::string &ext);

// The output path for a source: folder + source name with ext in place of its extension, with
// "_1", "_2"... before ext while a file of that name exists or isTaken says it is claimed.
std::string OutputFileName(const std::string &source, const std::string &folder, const std::string &ext,
                           const std::function<bool(const std::string &)> &isTaken);

// Whether the installed libraries have the encoder of that engine name, video or audio.
using TEncoderCheck = std::function<bool(const std::string &codec, bool video)>;

// Audio fields of an output record from the profile; throws TProfileItemError, also for an encoder
// that installed says is missing (not checked without it).
void FillAudioSettings(TOutputOptions &out, const TFormatRec &profile, const TEncoderCheck &installed = {});
// Video fields (video profiles only) from the profile and the file's aspect choice; throws
// TProfileItemError as FillAudioSettings does. "Keep original size" leaves the size empty, as
// "Keep original frame rate" leaves the rate.
void FillVideoSettings(TOutputOptions &out, const TFormatRec &profile, int aspectIndex,
                       const TEncoderCheck &installed = {});

// The source file's tags (title, artist, album, date, location, make, model...) and its own creation
// date go into the output; tags the record sets itself win over them.
void KeepSourceMetadata(TOutputOptions &out);

// The profile's loudness target as the sound's filter line (nothing without a target, or without
// sound); measured: the source's own loudness, for one constant gain. Throws TProfileItemError for a
// target that is no loudness.
void FillLoudness(TOutputOptions &out, const TFormatRec &profile, const std::optional<TLoudness> &measured);
