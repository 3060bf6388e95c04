#pragma once
// The format profiles and the user's settings, kept in VideoConverter.ini beside the executable.
#include <cstdint>
#include <string>
#include <vector>

#include "profiles/WindowPlace.h"

struct TFormatRec {
  std::string Name;
  std::string Ext;
  int32_t Category = 0;
  std::string Resolution;
  int32_t ResolutionValue = 0;
  std::string Framerate;
  int32_t FramerateValue = 0;
  std::string FrameAspectRatio;
  std::string VideoEncoder;
  int32_t VideoEncoderValue = 0;
  std::string VideoBitRate;
  int32_t VideoBitRateValue = 0;
  std::string SampleRate;
  int32_t SampleRateValue = 0;
  std::string AudioBitrate;
  int32_t AudioBitrateValue = 0;
  std::string AudioEncoder;
  int32_t AudioEncoderValue = 0;
  std::string Channel;
  int32_t ChannelValue = 0;
  int32_t Volume = 0;
  // Optional: a quality list ("High,Standard,Small") and its chosen item; a negative choice or no
  // list leaves the bit rates in charge, as in files of older versions.
  std::string Quality;
  int32_t QualityValue = -1;
  std::string PixelFormat; // optional; empty: 8-bit 4:2:0, what players and phones take
  // Optional: a disc standard the output follows ("dvd", "pal-dvd"...), handed to the engine's
  // target option; the profile's own choices override what it sets.
  std::string Target;
  // Optional: the loudness the sound is normalised to, in LUFS ("-16"); empty: left as it is.
  std::string Loudness;

  bool operator==(const TFormatRec &) const = default;
};

class TIniOptions {
public:
  int32_t FormatCount = 0;
  std::vector<TFormatRec> Formats;
  int32_t OutputFormat = 0;
  std::string OutputFolder;
  // Codec threads of every conversion as the settings file gives them; empty: automatic.
  std::string Threads;
  // How many files convert at once as the settings file gives it; empty or "0": automatic.
  std::string Simultaneous;
  // Streams that already fit the profile are copied instead of encoded again; the window's check box
  // and the settings file's key.
  bool CopyStreams = true;
  int32_t SnapShotFormat = 0;
  std::string SnapShotFolder;
  int32_t SnapShotName = 0;
  // The folder the open-file and Add Folder dialogs start in: the one used last.
  std::string InputFolder;
  // The main window's size, position and divisions when it last closed.
  TWindowPlace Window;

  // At most this many profiles are loaded, whatever the file's Count says.
  static constexpr int32_t MaxFormatCount = 1000;

  // Leaves LoadProblem empty when the file was read as it is; otherwise it tells the user what was
  // wrong with it (unreadable: nothing loaded; a Count beyond the profiles present: those loaded).
  void LoadFromFile(const std::string &path);
  std::string LoadProblem;
  // False when the file could not be written; error, when given, then says why.
  bool SaveToFile(const std::string &path, std::string *error = nullptr) const;
  bool SaveFormatValues(const std::string &path, int index) const;

  TFormatRec GetFormat(int index) const;
  void SetFormat(int index, const TFormatRec &format);

  static bool SplitList(const std::string &text, std::vector<std::string> &list);
};

// The one settings store of the program.
extern TIniOptions IniOptions;
