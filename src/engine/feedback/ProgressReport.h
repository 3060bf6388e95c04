#pragma once
// The progress report of a task: its counters and the output's size and time turned into the
// progress figures, or into a text line for the log, plus the summary line at the end.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct AVCodecContext;

struct TReportStream {
  bool Video = false;
  bool Copy = false; // stream copy: no quality
  int FrameCount = 0;
  int Quality = 0; // lambda of the last coded frame
  double Time = 0; // seconds written to the muxer so far
  const AVCodecContext *Encoder = nullptr;
  std::array<uint64_t, 3> Error{}; // of the last coded frame, with PSNR on
};

struct TReportInput {
  std::vector<TReportStream> Streams; // in table order
  int64_t Size = 0;                   // bytes of the first output file
  int64_t ElapsedUs = 0;              // since the conversion started
  int64_t VideoBytes = 0, AudioBytes = 0, HeaderBytes = 0;
  int DupFrames = 0, DropFrames = 0;
  int Verbose = 1;
  bool QpHist = false;
  int TotalDurationMs = -1;
};

// The figures of OnProgress.
struct TProgressFigures {
  int FrameNumber, Fps, CurrentDuration;
  float Quality, BitRate;
  int64_t CurrentSize;
  int TotalOutputDuration;
};

class TProgressReport {
public:
  using TProgress = std::function<void(const TProgressFigures &figures)>;
  using TLogger = std::function<void(int level, const std::string &text)>;

  // Reports to progress when it is set, else logs the line; nothing before the first video frame.
  void Report(const TReportInput &input, bool isLast, const TProgress &progress, const TLogger &log);

private:
  // Of the first video stream; -1 without one.
  struct TVideoFigures {
    int Frame = -1, Fps = -1;
    float Quality = -1.0f;
  };

  // The first video stream's part of the line: frame, rate, quality, histogram, PSNR.
  TVideoFigures AppendFirstVideo(const TReportStream &stream, float quality, const TReportInput &input,
                                 bool isLast);
  void AppendPsnr(const TReportStream &stream, bool isLast);
  // Size, time and bit rate, to progress when it is set, else to the log.
  void ReportTotals(const TReportInput &input, const TVideoFigures &video, double time,
                    const TProgress &progress, const TLogger &log);
  static void LogSummary(const TReportInput &input, const TLogger &log);

  std::array<int, 52> FQpHistogram{}; // quantizers of the coded frames, with qphist
  std::string FLine;
};
