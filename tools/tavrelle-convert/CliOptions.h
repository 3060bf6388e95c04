#pragma once
// The command line of tavrelle-convert.
#include <cstdint>
#include <optional>
#include <string>

#include <vector>

enum class TCliMode { Convert, ListProfiles, Engine, Help };

struct TCliOptions {
  TCliMode Mode = TCliMode::Convert;
  std::string IniFile;            // empty: the program's settings file
  std::string Profile;            // index or name; empty: the settings file's selection
  std::string OutputFolder;       // empty: the settings file's folder
  std::optional<int64_t> TrimStartMs;
  std::optional<int64_t> TrimEndMs;
  std::optional<int32_t> AspectIndex;
  std::string Threads;            // codec threads; empty: the settings file's choice
  std::string Jobs;               // files at once; empty: the settings file's choice
  bool NoCopy = false;            // encode every stream, even those that fit the profile
  std::string Audio = "all", Subtitles = "all"; // the tracks every file keeps (see TTrackChoice)
  bool Estimate = false;          // print each file's estimated output size, convert nothing
  int64_t TargetBytes = 0;        // fit every file's output to this size; 0: no target
  std::string Loudness;           // LUFS the sound is normalised to; empty: the profile's choice
  std::vector<std::string> InputLines, OutputLines; // --engine option lines
  std::vector<std::string> Files;
};

// Throws std::invalid_argument with a message for the user on a usage error.
TCliOptions ParseCommandLine(const std::vector<std::string> &args);

// "[[hh:]mm:]ss[.fff]" in milliseconds; nullopt when the text is not such a time.
std::optional<int64_t> ParseTimeMs(const std::string &text);

extern const char *const UsageText;
