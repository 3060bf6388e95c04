// The bounds of what is written: the time range, the recording time, the input's length, and the
// check that every audio and video output received something.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "engine/FFmpegException.h"
#include "engine/transcode/Transcoder.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

bool TTranscoder::InTime(const TInputStreamState &ist, int64_t pts) const {
  // A cover belongs to the whole file, wherever a trim starts.
  if (ist.Stream->disposition & AV_DISPOSITION_ATTACHED_PIC)
    return true;
  // A file opened at a start offset counts from it: decoded or copied, what lies before is left
  // out alike, so the streams start together.
  if (FInputs.Files[static_cast<size_t>(ist.FileIndex)].Seeked && pts < 0)
    return false;
  return S.StartTime == 0 || pts >= S.StartTime;
}

double TTranscoder::OutputTime(const TOutputStreamState &ost) const {
  if (ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO && ost.EncodingNeeded)
    return static_cast<double>(ost.SyncPosition) * av_q2d(ost.Encoder->time_base);
  return ost.MuxEnd == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(ost.MuxEnd) * av_q2d(ost.Stream->time_base);
}

bool TTranscoder::CutAtRecordingTime(AVPacket &pkt, AVRational timeBase) const {
  if (pkt.pts == AV_NOPTS_VALUE || S.RecordingTime == std::numeric_limits<int64_t>::max())
    return true;
  const int64_t end = AVUtil.av_rescale_q(S.RecordingTime, AV_TIME_BASE_Q, timeBase);
  if (pkt.pts >= end)
    return false;
  if (pkt.duration > end - pkt.pts)
    pkt.duration = end - pkt.pts;
  return true;
}

bool TTranscoder::AtRecordingTime(double outputSeconds) const {
  return static_cast<double>(S.RecordingTime) / 1000000.0 <= outputSeconds;
}

double TTranscoder::InputSeconds() const {
  if (S.LoopInput)
    return 0;
  double longest = 0;
  for (const TOpenedInput &file : FInputs.Files) {
    const AVFormatContext *context = file.Context.get();
    if (context->duration == AV_NOPTS_VALUE || context->duration <= 0)
      return 0;
    // A duration guessed from the bit rate can be short by any factor (a raw video stream's
    // declared rate is a ceiling, hundreds of times its real one): it bounds nothing.
    if (context->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE)
      return 0;
    longest = std::max(longest, static_cast<double>(context->duration) / 1000000.0);
  }
  return longest;
}

bool TTranscoder::OutputBeyondLimit() {
  // A stream that reached the bound writes nothing more; the loop ends when every stream has.
  bool all = !FOutputStreams.empty();
  for (const auto &ost : FOutputStreams)
    all = PastLimit(*ost, OutputTime(*ost)) && all;
  return all;
}

bool TTranscoder::PastLimit(TOutputStreamState &ost, double seconds) {
  if (FInputSeconds <= 0)
    return false;
  // The margin leaves room for encoder delays, rounding and a clock corrected late.
  const double limit = FInputSeconds * 1.05 + 5.0 + static_cast<double>(std::max<int64_t>(S.InputTsOffset, 0)) / 1e6;
  if (seconds <= limit)
    return false;
  if (!ost.PastLimit) {
    char text[160];
    std::snprintf(text, sizeof text, "Output stream #%d.%d reached %.1f s, beyond the input's %.1f s: stopped there",
                  ost.FileIndex, ost.Index, seconds, FInputSeconds);
    FEvents.LogLine(0, text);
  }
  ost.PastLimit = true;
  return true;
}

void TTranscoder::CheckEveryStreamWritten() const {
  if (FStop.StopRequested())
    return; // a cancelled task keeps what it has, however little
  bool audio = false, video = false;
  for (const auto &ost : FOutputStreams) {
    // A first pass may give statistics only (libvpx): its picture is not wanted.
    if (ost->PacketsWritten > 0 || ost->TwoPassLog.IsOpen())
      continue;
    audio |= ost->Encoder->codec_type == AVMEDIA_TYPE_AUDIO;
    video |= ost->Encoder->codec_type == AVMEDIA_TYPE_VIDEO;
  }
  if (!audio && !video)
    return;
  std::string text = std::string("No ") + (audio && video ? "audio or video" : audio ? "audio" : "video") +
                     " could be decoded from the input";
  if (FLastDecodeError < 0)
    text += ": " + AVErrorText(FLastDecodeError);
  throw FFmpegException(text);
}
