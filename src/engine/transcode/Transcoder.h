#pragma once
// The transcoder: builds the stream tables of a task's opened files, runs the packet loop from the
// inputs through decoders, filters and encoders to the outputs, and frees the tables at its end.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/feedback/TaskEvents.h"
#include "engine/filter/SubtitleOverlay.h"
#include "engine/input/InputSet.h"
#include "engine/options/TaskConfig.h"
#include "engine/output/OutputSet.h"
#include "engine/task/StopToken.h"
#include "engine/transcode/StreamTables.h"

class TTranscoder {
public:
  // The parts of one task the transcode runs on; all must outlive it.
  struct TParts {
    const TTaskConfig &Config;
    TInputSet &Inputs;
    TOutputSet &Outputs;
    TTaskEvents &Events;
    TStopToken &Stop;
    TFeedbackTimes Times;
  };
  explicit TTranscoder(const TParts &parts);
  // Converts the inputs into the outputs; false when a stop cut it short. Fails with FFmpegException.
  bool Transcode();

private:
  // Setup.
  void BuildInputTables();
  void CheckOutputs();
  void MapStreams();
  void SelectSource(TOutputStreamState &ost, int fileIndex);
  void PrepareStream(TOutputStreamState &ost);
  void PrepareCopy(TOutputStreamState &ost, TInputStreamState &ist);
  void PrepareEncoding(TOutputStreamState &ost, TInputStreamState &ist);
  void OpenTwoPassLog(TOutputStreamState &ost, int number);
  void LogStreamMapping();
  void OpenEncoders();
  void OpenDecoders();
  // Opens the decoder of an input stream (by its index in the stream table) unless it is open.
  void OpenDecoder(size_t i);
  // A text subtitle encoder takes the styles its source's decoder gives.
  void TakeSubtitleHeader(TOutputStreamState &ost);
  void OpenBitstreamFilters(TOutputStreamState &ost);
  void EnableRowThreads(AVCodecContext *enc) const;
  void ApplyEncoderOptions(AVCodecContext *enc) const;
  void CopyMetaData();
  void CopyChapters();
  void WriteHeaders();
  [[noreturn]] void Fail(const std::string &message, int dumpOutput = -1);

  // The packet loop.
  void MainLoop();
  int PickInputFile();
  // Whether data shown at pts (microseconds, on the task's clock) lies inside what is converted.
  bool InTime(const TInputStreamState &ist, int64_t pts) const;
  // Seconds of output the stream holds so far.
  double OutputTime(const TOutputStreamState &ost) const;
  // A subtitle line as a trim cuts it: false when it starts at or after the recording time ("t"),
  // else shortened to end there at the latest.
  bool CutAtRecordingTime(AVPacket &pkt, AVRational timeBase) const;
  // True once an output at that many seconds has reached the recording time ("t").
  bool AtRecordingTime(double outputSeconds) const;
  // The longest input's known duration, the bound of the output's length; 0 = none known.
  double InputSeconds() const;
  // Whether every output stream has reached the bound of the output's length.
  bool OutputBeyondLimit();
  // Whether a stream time (seconds) lies beyond the bound; the stream's first such time is logged.
  bool PastLimit(TOutputStreamState &ost, double seconds);
  void AdjustTimestamps(TInputStreamState &ist, AVPacket &pkt);
  // Decoded time of the frame in microseconds, corrected for discontinuities.
  int64_t FrameTime(TInputStreamState &ist, const AVFrame &frame);
  void LogDiscontinuity(int64_t delta, int64_t offset, int verbosity) const;
  // Fails the task when an audio or video output received nothing.
  void CheckEveryStreamWritten() const;
  void Finish();
  int OutputPacket(TInputStreamState &ist, int istIndex, AVPacket *pkt);
  int DecodeFrames(TInputStreamState &ist, int istIndex, AVPacket *pkt);
  int DecodeSubtitle(TInputStreamState &ist, int istIndex, AVPacket *pkt);
  std::string DecodeErrorText(const TInputStreamState &ist) const;
  // Decoded data to the outputs of the input stream; pictures pass the hooks and filters first.
  void HandOut(int istIndex, AVFrame *frame);
  void HandOutToOutputs(int istIndex, AVFrame *frame);
  void PrepareHooks();
  // With sburn: the subtitle stream decoded beside the picture it is drawn on.
  void PrepareOverlay();
  void ConfigureFilterGraph(TOutputStreamState &ost, TInputStreamState &ist, int width, int height,
                            AVPixelFormat format);
  void DrainFilterGraph(int istIndex);
  void PreviewPicture(const AVFrame &picture, int64_t pts);
  void CopyPacket(TOutputStreamState &ost, TInputStreamState &ist, const AVPacket &pkt);
  void FlushOutputs(int istIndex);
  void RateEmulation(const TInputStreamState &ist) const;

  // Output paths.
  void AudioOut(TOutputStreamState &ost, AVFrame *frame);
  int VideoOut(TOutputStreamState &ost, AVFrame *frame);
  void SubtitleOut(TOutputStreamState &ost, TInputStreamState &ist, AVSubtitle &sub, int64_t pts);
  int Encode(TOutputStreamState &ost, AVFrame *frame);
  void WriteFrame(TOutputStreamState &ost, AVPacket *pkt);
  void KeepTimestampsInOrder(TOutputStreamState &ost, AVPacket &pkt);
  void Report(bool isLast);

  AVFormatContext *OutputContext(const TOutputStreamState &ost) const;
  AVFormatContext *InputContext(int fileIndex) const;

  const TTaskConfig &FConfig;
  const TTaskSettings &S;
  TInputSet &FInputs;
  TOutputSet &FOutputs;
  TTaskEvents &FEvents;
  TStopToken &FStop;
  const TFeedbackTimes FTimes;
  std::vector<TInputFileState> FFiles;
  std::vector<std::unique_ptr<TInputStreamState>> FInputStreams;
  std::vector<std::unique_ptr<TOutputStreamState>> FOutputStreams;
  int64_t FVideoBytes = 0, FAudioBytes = 0, FHeaderBytes = 0;
  int64_t FTimerStart = 0;
  double FInputSeconds = 0;  // see InputSeconds
  int FLastDecodeError = 0; // the decoders' last error code
  TProgressReport FProgress;
  TVideoHooks FHooks;
  TPictureConverter FPreviewConverter; // guarded by PreviewLock()
  std::unique_ptr<TPreviewer> FPreviewer; // made and freed by the task's thread only
  int64_t FLastPreview = 0;
  std::unique_ptr<TVideoStats> FVideoStats; // with vstats_file
  std::vector<uint8_t> FSubtitleBuffer;
  std::unique_ptr<TSubtitleOverlay> FOverlay; // with sburn
  int FOverlaySource = -1, FOverlayTarget = -1; // input streams: the subtitles, the picture they go on
  std::string FDecodeError; // the failed call of the last decode error and the library's text
};
