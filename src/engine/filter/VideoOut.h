#pragma once
// The video output path of one encoded video stream: keeps the output frame rate by dropping or
// duplicating frames, crops, scales and pads the picture into the encoder's format and size,
// encodes it and writes the packets. Runs on the task's thread.
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "engine/LibraryObjects.h"
#include "engine/encode/PassLog.h"
#include "engine/options/TaskSettings.h"

class TVideoOut {
public:
  using TLogger = std::function<void(int level, const std::string &text)>;
  // Writes one packet, already in the stream's time base with the stream's index.
  using TWriter = std::function<void(AVPacket &packet)>;
  // The picture handed to the encoder and its time in microseconds.
  using TPreview = std::function<void(const AVFrame &picture, int64_t pts)>;

  // encoder: opened; stream: the muxer's stream it feeds; variableFps: the muxer takes any frame
  // timing; videoBytes: the task's video byte count.
  TVideoOut(AVCodecContext *encoder, AVStream *stream, const TTaskSettings &settings, bool variableFps,
            TLogger log, TWriter write, int64_t &videoBytes);

  // Crop, pad and scaler for pictures of the decoder's size and format; raises the setup's
  // messages. Called again by Out when the decoded pictures change.
  void Setup(int width, int height, AVPixelFormat format);

  // One decoded (or filtered) picture at the sync source's clock (microseconds); inputQuality is
  // the decoder's quality of it. Returns the size of the last packet written, 0 when none.
  int Out(const AVFrame &picture, int64_t syncPts, int inputQuality);
  // End of input: the encoder's delayed packets.
  void Flush();

  int64_t SyncPosition = 0; // frames handed to the encoder, in its time base
  int FrameCount = 0;
  int DupFrames = 0;
  int DropFrames = 0;
  // Of the last packet: quality (lambda), picture type, and the errors when PSNR is on.
  int LastQuality = 0;
  int LastPictureType = 0;
  uint64_t LastError[3] = {};
  TPassLog *TwoPassLog = nullptr; // the pass-1 statistics, owned by the setup
  TPreview Preview;
  std::function<bool()> StopRequested;

private:
  int FramesToWrite(int64_t syncPts);
  bool CropView(const AVFrame &picture, AVFrame &view, int top, int left, const char *failure);
  // The picture cropped, scaled and padded as the encoder takes it; null when that fails.
  const AVFrame *EncoderPicture(const AVFrame &picture);
  // One copy of the picture encoded at the next position; the size of its packet, 0 when none.
  int EncodeCopy(const AVFrame &picture, const AVFrame &final, int inputQuality);
  int Encode(AVFrame *frame);
  // An encoded packet: its quality figures kept, its times on the stream's clock, written.
  void Deliver(AVPacket &packet);
  void Log(int level, const std::string &text) const;

  AVCodecContext *FEncoder;
  AVStream *FStream;
  const TTaskSettings &S;
  bool FVariableFps;
  TLogger FLog;
  TWriter FWrite;
  int64_t &FVideoBytes;

  int FSourceWidth = 0, FSourceHeight = 0;
  AVPixelFormat FSourceFormat = AV_PIX_FMT_NONE;
  bool FFilters = false;
  bool FCrop = false, FPad = false, FResample = false;
  TFramePtr FScaledPicture;
  TScalerPtr FScaler;
  int FScaleSourceHeight = 0;
  int64_t FClockShift = 0; // encoder time base units taken out of the sync clock at discontinuities
  TFramePtr FCropped, FPadInner, FEncodeFrame;
  TPacketPtr FPacket;
  bool FDrained = false;
};

// The picture's planes moved to (top, left); false for formats whose pixels cannot be addressed so.
bool PictureCrop(AVFrame &view, const AVFrame &picture, int top, int left);
// Fills the borders of picture around its inner rectangle with the colour (Y, U, V for planar YUV,
// black otherwise), copying source into the inner rectangle when there is one.
void PicturePad(AVFrame &picture, const AVFrame *source, int top, int bottom, int left, int right,
                const std::array<int, 3> &color);
