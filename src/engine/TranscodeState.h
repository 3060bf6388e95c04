#pragma once
// The tables of one transcode: the state of every input file, input stream and output stream,
// and the transcoder that builds them, runs the packet loop and frees them at its end.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
}

#include "engine/FFmpeg.h"
#include "engine/AudioOut.h"
#include "engine/LibraryObjects.h"
#include "engine/Previewer.h"
#include "engine/Report.h"
#include "engine/VideoFilters.h"
#include "engine/VideoHooks.h"
#include "engine/VideoStats.h"
#include "engine/VideoOut.h"

struct TBsfFree {
  void operator()(AVBSFContext *context) const;
};
using TBsfPtr = std::unique_ptr<AVBSFContext, TBsfFree>;
struct TFileClose {
  void operator()(std::FILE *file) const { std::fclose(file); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileClose>;

struct TInputFileState {
  int EofReached = 0;
  int FirstStream = 0;
  int StreamCount = 0;
};

struct TInputStreamState {
  int FileIndex = 0;
  int StreamIndex = 0;
  AVStream *Stream = nullptr;
  AVCodecContext *Decoder = nullptr; // prepared by the input setup; null for data streams
  int Discard = 1;
  int DecodingNeeded = 0;
  int64_t WallStart = 0;
  int64_t NextPts = AV_NOPTS_VALUE; // microseconds
  int64_t Pts = 0;                  // microseconds
  int AtStart = 1;
  // Decoded times: the correction of the last discontinuity and the time the next frame should
  // have (microseconds), so a broken timestamp is caught even when the packets carried none.
  int64_t FrameTsOffset = 0;
  int64_t NextFramePts = AV_NOPTS_VALUE;
  TFramePtr Picture; // the decoded frame being handed on
  TVideoFilter Filter;     // the vfilters graph, or the one that turns pictures upright
  std::string Turn;        // filters that turn the pictures upright
  TFramePtr FilterPicture; // the graph's output being handed on
};

struct TOutputStreamState {
  int FileIndex = 0;
  int Index = 0;
  int SourceIndex = 0;
  AVStream *Stream = nullptr;
  TOutputStream *Output = nullptr;
  AVCodecContext *Encoder = nullptr;
  int EncodingNeeded = 0;
  int FrameCount = 0;
  TInputStreamState *SyncSource = nullptr;
  int64_t SyncPosition = 0;           // frames or samples handed to the encoder, in its time base
  int64_t MuxEnd = AV_NOPTS_VALUE;    // end of the last packet written, in the stream's time base
  int64_t LastDts = AV_NOPTS_VALUE;   // of the last packet written, in the stream's time base
  bool DtsCorrected = false;          // a packet's timestamps have been moved (logged once)
  int64_t PacketsWritten = 0;         // accepted by the muxer
  bool PastLimit = false;             // reached the bound of the output's length
  std::vector<TBsfPtr> Filters;
  int AudioResample = 0; // handed to the audio path when it is made
  TFilePtr TwoPassLog;
  std::unique_ptr<TAudioOut> AudioPath; // made with the first decoded block
  std::unique_ptr<TVideoOut> VideoPath; // made with the first decoded picture
};

class TTranscoder {
public:
  explicit TTranscoder(TCustomFFmpeg &task);
  void Transcode();

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
  void OpenBitstreamFilters(TOutputStreamState &ost);
  void EnableRowThreads(AVCodecContext *enc) const;
  void CopyMetaData();
  void WriteHeaders();
  [[noreturn]] void Fail(const std::string &message, int dumpOutput = -1);

  // The packet loop.
  void MainLoop();
  int PickInputFile();
  // Whether data shown at pts (microseconds, on the task's clock) lies inside what is converted.
  bool InTime(const TInputStreamState &ist, int64_t pts) const;
  // Seconds of output the stream holds so far.
  double OutputTime(const TOutputStreamState &ost) const;
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

  TCustomFFmpeg &FTask;
  TTaskSettings &S;
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
  std::string FDecodeError; // the failed call of the last decode error and the library's text
};
