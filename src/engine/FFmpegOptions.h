#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What the conversion driver tells a task about its one input file.
struct TInputOptions {
  std::string FileName;
  std::string InputFormat;
  int StartTimeMs = -1;
  int64_t StartTime = -1;
  int ProgramId = -1;
  std::string ExtOptions;
};

// A stream of the input file given an output stream of its own. Its language, title and flags
// (default, forced, attached picture) go with it. An attachment (a file attached to the input, or
// an attached picture) becomes a Matroska attachment: its bytes, name and type, written with the
// header; it takes no codec and no stream map.
enum class TMappedKind { Audio, Subtitle, Picture, Attachment };
struct TMappedStream {
  TMappedKind Kind = TMappedKind::Audio;
  int Source = -1;   // the stream's index in the input file
  std::string Codec; // engine codec name, or "copy"
};

// What the conversion driver tells a task about its one output file. Negative numbers and empty
// texts mean "leave the task's setting alone", except where a field is always assigned.
struct TOutputOptions {
  std::string FileName;
  std::string FileExt;
  std::string FileFormat;
  int PacketSize = -1;
  int MuxRate = -1;
  float MuxDelay = -1.0f;
  float MuxPreload = -1.0f;
  std::string AudioCodec;
  bool DisableAudio = false;
  int AudioVolume = -1;
  int AudioChannels = -1;
  int AudioSampleRate = -1;
  int AudioBitrate = -1;
  int AudioBitrateTolerance = -1;
  std::string AudioLanguage;
  int AudioSync = 0;
  std::string AudioTag;
  std::string VideoCodec;
  bool DisableVideo = false;
  std::string FrameRate;
  std::string FrameSize;
  std::string AspectRatio;
  int CropTop = -1, CropBottom = -1, CropLeft = -1, CropRight = -1;
  int PadTop = -1, PadBottom = -1, PadLeft = -1, PadRight = -1;
  uint32_t PadColor = 0; // 0x00BBGGRR
  int GopSize = -1;
  int VideoBitrate = -1;
  int VideoMaxRate = -1;
  int VideoMinRate = -1;
  int VideoBitrateTolerance = -1;
  int VideoBufSize = -1;
  int VideoSync = -1;
  std::string VideoTag;
  std::string VideoFilters;
  std::string PixelFormat; // "pix_fmt"; empty keeps the source's
  bool DisableSubtitle = false;
  std::string SubtitleLanguage;
  bool CopyTimestamps = false;
  int StartTimeMs = -1;
  int64_t StartTime = -1;
  int RecordTimeMs = -1;
  int64_t RecordTime = -1;
  double Timestamp = -1.0; // days since 1899-12-30, local time; 0 = now
  int Year = -1;
  int Track = -1;
  // Tag texts: at most 511 and 31 bytes reach the file.
  std::string Title, Author, Copyright, Comment, Album;
  std::string Genre;
  int Target = 0;             // 1 vcd, 2 svcd, 3 dvd
  int TargetNorm = 0;         // 0 auto, 1 pal, 2 ntsc
  int TargetFallbackNorm = 1; // 1 pal, else ntsc
  bool UseCustomHook = false;
  bool UseBeforeHook = false;
  std::string HookRanges;
  std::string ExtOptions;
  // When VideoSource is set or Streams is not empty, the output holds the picture of VideoSource
  // (unless video is disabled or VideoSource is -1), then these streams in order; else one stream
  // of each kind, the engine's choice.
  int VideoSource = -1;
  std::vector<TMappedStream> Streams;
  bool KeepChapters = false; // the input's chapters, shifted and cut as the output is
  int BurnSubtitle = -1;     // the input stream whose picture subtitles are drawn into the picture
};

void ResetInputOptions(TInputOptions &options);
void ResetOutputOptions(TOutputOptions &options);
