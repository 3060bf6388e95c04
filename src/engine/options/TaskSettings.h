#pragma once
// The settings an engine task gathers from its options before it opens its files. A task returns
// to these defaults on Reset; opening files and creating streams consume some of them.
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/rational.h>
}

struct AVInputFormat;
struct AVOutputFormat;

inline constexpr int MaxFiles = 20;          // inputs, outputs, streams per file
inline constexpr int MaxStreamMaps = 400;
inline constexpr int MaxMetaDataMaps = 20;
inline constexpr int MaxCodecSlots = 400;
inline constexpr int NoFrameLimit = std::numeric_limits<int32_t>::max();

struct TStreamMap {
  int FileIndex = 0;
  int StreamIndex = 0;
  int SyncFileIndex = 0;
  int SyncStreamIndex = 0;
};

struct TMetaDataMap {
  int OutFile = 0;
  int InFile = 0;
};

// An input stream, as "file:stream" names it; -1 for none.
struct TStreamRef {
  int File = -1;
  int Stream = -1;
};

// A codec choice of one media kind: a name, or "copy" (the flag), or neither.
struct TCodecChoice {
  std::string Name;
  bool Copy = false;
};

struct TTaskSettings {
  // general and files
  const AVInputFormat *InputFormat = nullptr;
  const AVOutputFormat *OutputFormat = nullptr;
  bool PgmyuvMode = false;
  int64_t StartTime = 0;                                          // ss
  int64_t RecordingTime = std::numeric_limits<int64_t>::max();    // t
  int64_t RecTimestamp = 0;                                       // timestamp, seconds
  int64_t InputTsOffset = 0;                                      // itsoffset
  std::array<std::array<double, MaxFiles>, MaxFiles> InputTsScale{}; // itsscale [file][stream]
  int64_t LimitFileSize = 0;                                      // fs
  int MaxVideoFrames = NoFrameLimit, MaxAudioFrames = NoFrameLimit;
  int MaxDataFrames = NoFrameLimit, MaxSubtitleFrames = NoFrameLimit;
  bool LoopInput = false;
  int LoopOutput = -1;
  int Verbose = 1;                                                // v
  int ProgramId = 0;
  bool CopyTs = false;
  bool CopyChapters = false; // the first input's chapters, shifted and cut as the output is
  bool Shortest = false;
  float DtsDeltaThreshold = 10.0f;
  bool ExitOnError = false;                                       // xerror
  int CopyInitialNonKeyframes = 0;                                // copyinkf
  bool RateEmu = false;                                           // re
  bool DoPktDump = false, DoHexDump = false, DoPsnr = false;
  int VideoSyncMethod = -1;                                       // vsync
  int AudioSyncMethod = 0;                                        // async
  float AudioDriftThreshold = 0.1f;
  bool InputSync = false;                                         // isync
  float MuxPreload = 0.5f;
  float MuxMaxDelay = 0.7f;
  std::vector<std::pair<std::string, std::string>> MetaData;
  std::vector<TStreamMap> StreamMaps;
  std::vector<TMetaDataMap> MetaDataMaps;
  std::string VStatsFileName;
  int DoPass = 0;
  std::string PassLogFileName;
  std::vector<std::string> AudioBitstreamFilters, VideoBitstreamFilters, SubtitleBitstreamFilters;
  int ThreadCount = 0; // codec, filter threads: 0 lets the libraries use every core
  int SwsFlags = 4; // bicubic

  // video
  bool VideoDisable = false;                                      // vn
  TCodecChoice VideoCodec;
  uint32_t VideoCodecTag = 0;
  AVRational FrameRate{0, 0};                                     // r
  int FrameWidth = 0, FrameHeight = 0;                            // s
  float FrameAspectRatio = 0.0f;                                  // aspect
  int FramePixFmt = -1;                                           // pix_fmt
  int FrameTopBand = 0, FrameBottomBand = 0, FrameLeftBand = 0, FrameRightBand = 0; // crop
  int FramePadTop = 0, FramePadBottom = 0, FramePadLeft = 0, FramePadRight = 0;     // pad
  std::array<int, 3> PadColor{16, 128, 128};                      // Y, U, V
  float VideoQScale = 0.0f;
  std::string VideoRcOverride;                                   // empty: none
  int MeThreshold = 0;
  std::vector<uint16_t> IntraMatrix, InterMatrix;                 // empty or 64 coefficients
  bool IntraOnly = false;
  bool SameQuality = false;
  bool DoDeinterlace = false;
  int TopFieldFirst = -1;
  int IntraDcPrecision = 8;
  bool QpHist = false;
  bool ForceFps = false;
  int VideoDiscard = 0;                                           // vdt
  int VideoGlobalHeader = 0;                                      // vglobal
  int VideoChannel = 0;                                           // vc
  std::string VideoStandard;                                      // tvstd
  std::string VFilters;
  bool HooksEnabled = false;

  // audio and subtitles
  bool AudioDisable = false;                                      // an
  TCodecChoice AudioCodec;
  uint32_t AudioCodecTag = 0;
  int AudioSampleRate = 44100;                                    // ar
  int AudioChannels = 2;                                          // ac
  float AudioQScale = -99999.0f;                                  // aq
  int AudioSampleFmt = -1;
  uint64_t AudioChannelLayout = 0;
  int AudioVolume = 256;
  std::string AudioFilters;                                       // afilters
  std::string AudioLanguage;
  bool SubtitleDisable = false;                                   // sn
  TCodecChoice SubtitleCodec;
  std::string SubtitleLanguage;
  TStreamRef BurnSubtitle; // sburn: the picture subtitles drawn into the pictures
};
