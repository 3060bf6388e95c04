#pragma once
// The audio output path of one encoded audio stream: keeps the output in step with the input
// clock (dropping samples, inserting silence or stretching through the resampler), converts
// channels, rate and sample format, cuts the result into the encoder's frame size and writes the
// encoded packets. Runs on the task's thread; every working buffer belongs to the stream.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "engine/LibraryObjects.h"
#include "engine/filter/AudioFilter.h"

struct TAudioOutSettings {
  int Async = 0; // 0: follow the input clock; 1: drop or insert; above 1: also stretch by that much
  float DriftThreshold = 0.1f; // seconds
  int64_t StartTime = 0;       // microseconds
  bool ExitOnError = false;
  int Verbose = 1;
  float DtsDeltaThreshold = 10.0f; // seconds: a larger clock jump is a discontinuity
  std::string Filters{};           // an audio filter description the decoded blocks pass first; empty: none
};

class TAudioOut {
public:
  using TLogger = std::function<void(int level, const std::string &text)>;
  // Writes one packet, already in the stream's time base with the stream's index.
  using TWriter = std::function<void(AVPacket &packet)>;

  // encoder: opened; stream: the muxer's stream it feeds; encodedBytes: the task's audio byte count.
  TAudioOut(AVCodecContext *encoder, AVStream *stream, const TAudioOutSettings &settings, TLogger log,
            TWriter write, int64_t &encodedBytes);

  bool AudioResample = false; // the setup sets it when the rates differ or async is above 1
  int64_t SyncPosition = 0;   // samples per channel handed to the encoder

  // One decoded block. syncPts: the sync source's clock in microseconds; atStart: the input
  // stream's flag that lets the first correction ignore the drift threshold.
  void Out(const AVFrame &decoded, int64_t syncPts, bool &atStart);
  // End of input: the resampler's and the FIFO's remainder, then the encoder's delayed packets.
  void Flush();

private:
  void OutBlock(const AVFrame &decoded, int64_t syncPts, bool &atStart);
  void PassFiltered(bool &atStart);
  // What meeting the clock takes of one block: input samples dropped or silent ones put first.
  struct TSyncFix {
    int Dropped = 0, Silence = 0;
    bool NothingLeft = false; // every sample dropped
  };

  void PrepareConverter(const AVFrame &decoded);
  void ShiftClockOnJump(double syncTime, int64_t buffered);
  // delta: samples the output is behind the clock (ahead when negative). Small drifts are left,
  // or stretched away by the resampler; larger ones are answered by dropping or filling.
  TSyncFix SyncFix(double delta, const AVFrame &decoded, bool &atStart);
  TSyncFix DropOrFill(double delta, const AVFrame &decoded, bool &atStart);
  bool AppendSilence(const AVFrame &decoded, int silence);
  bool AppendDecoded(const AVFrame &decoded, int dropped);
  // Appends samples (in the decoded format) to the block in the encoder's format.
  bool AppendToBlock(const uint8_t *const *planes, int samples);
  void ReserveBlock(int samples);
  void DeliverBlock();
  void Encode(AVFrame *frame);
  void Log(int level, const std::string &text) const;

  AVCodecContext *FEncoder;
  AVStream *FStream;
  TAudioOutSettings S;
  TLogger FLog;
  TWriter FWrite;
  int64_t &FEncodedBytes;

  TResamplerPtr FConverter;
  int FConverterFormat = -1, FConverterRate = 0, FConverterChannels = 0; // the input it was made for
  TAudioFifoPtr FFifo;
  TFramePtr FFrame; // the encoder's input
  TPacketPtr FPacket;
  std::vector<uint8_t> FSilence;
  std::vector<uint8_t> FBlock; // samples in the encoder's format
  int FBlockCapacity = 0;      // samples per channel
  int FBlockSamples = 0;
  bool FDrained = false;
  int64_t FNextPts = AV_NOPTS_VALUE; // of the next frame sent, in samples
  int64_t FClockShift = 0;           // samples taken out of the sync clock at discontinuities
  TAudioFilter FFilter;
  TFramePtr FFiltered;
};

// The volume rule: 256 leaves samples untouched, 512 doubles them, clipping at the format's range
// (for 16-bit samples s becomes (s x volume + 128) >> 8). Makes the frame writable first.
void ApplyVolume(AVFrame &frame, int volume);
