// The input clock: timestamps offset, scaled and freed of discontinuities, frame times, and
// reading no faster than real time when asked.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "engine/FFmpegException.h"
#include "engine/input/InputClock.h"
#include "engine/transcode/Transcoder.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

int64_t PacketDurationUs(const AVStream *stream, const AVPacket &pkt) {
  if (pkt.duration > 0)
    return AVUtil.av_rescale_q(pkt.duration, stream->time_base, AV_TIME_BASE_Q);
  const AVCodecParameters *par = stream->codecpar;
  if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->frame_size > 0 && par->sample_rate > 0)
    return int64_t{1000000} * par->frame_size / par->sample_rate;
  const AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
  if (par->codec_type == AVMEDIA_TYPE_VIDEO && rate.num > 0 && rate.den > 0)
    return int64_t{1000000} * rate.den / rate.num;
  return 0;
}

void TTranscoder::AdjustTimestamps(TInputStreamState &ist, AVPacket &pkt) {
  TOpenedInput &input = FInputs.Files[static_cast<size_t>(ist.FileIndex)];
  const AVRational tb = ist.Stream->time_base;
  const int64_t offset = AVUtil.av_rescale_q(input.TsOffset, AV_TIME_BASE_Q, tb);
  if (pkt.dts != AV_NOPTS_VALUE)
    pkt.dts += offset;
  if (pkt.pts != AV_NOPTS_VALUE)
    pkt.pts += offset;

  if (ist.FileIndex < MaxFiles && ist.StreamIndex < MaxFiles) {
    const double scale = S.InputTsScale[static_cast<size_t>(ist.FileIndex)][static_cast<size_t>(ist.StreamIndex)];
    if (scale != 0.0) {
      if (pkt.pts != AV_NOPTS_VALUE)
        pkt.pts = std::llround(static_cast<double>(pkt.pts) * scale);
      if (pkt.dts != AV_NOPTS_VALUE)
        pkt.dts = std::llround(static_cast<double>(pkt.dts) * scale);
    }
  }

  if (pkt.dts == AV_NOPTS_VALUE || ist.NextPts == AV_NOPTS_VALUE || S.CopyTs)
    return;
  // Formats that declare discontinuities have every step back corrected too. In any other format
  // a jump beyond the threshold is damage; subtitles and data may pause that long, audio and
  // video may not.
  const bool discontinuous = InputContext(ist.FileIndex)->iformat->flags & AVFMT_TS_DISCONT;
  const AVMediaType type = ist.Stream->codecpar->codec_type;
  if (!discontinuous && type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_VIDEO)
    return;
  const int64_t pktDts = AVUtil.av_rescale_q(pkt.dts, tb, AV_TIME_BASE_Q);
  const int64_t delta = pktDts - ist.NextPts;
  const bool jump = std::llabs(delta) > static_cast<int64_t>(S.DtsDeltaThreshold * 1000000);
  if (jump || (discontinuous && pktDts + 1 < ist.Pts)) {
    input.TsOffset -= delta;
    LogDiscontinuity(delta, input.TsOffset, jump ? 0 : 3);
    const int64_t shift = AVUtil.av_rescale_q(delta, AV_TIME_BASE_Q, tb);
    pkt.dts -= shift;
    if (pkt.pts != AV_NOPTS_VALUE)
      pkt.pts -= shift;
  }
}

int64_t TTranscoder::FrameTime(TInputStreamState &ist, const AVFrame &frame) {
  if (frame.best_effort_timestamp == AV_NOPTS_VALUE)
    return ist.NextPts;
  const int64_t time =
      AVUtil.av_rescale_q(frame.best_effort_timestamp, ist.Stream->time_base, AV_TIME_BASE_Q) + ist.FrameTsOffset;
  // A frame far from where the previous one ended carries a broken time (the packet's own may
  // have been missing or fine): it continues the stream instead, and so do the frames after it.
  if (S.CopyTs || ist.NextFramePts == AV_NOPTS_VALUE ||
      std::llabs(time - ist.NextFramePts) <= static_cast<int64_t>(S.DtsDeltaThreshold * 1000000))
    return time;
  const int64_t delta = time - ist.NextFramePts;
  ist.FrameTsOffset -= delta;
  LogDiscontinuity(delta, ist.FrameTsOffset, 0);
  return ist.NextFramePts;
}

void TTranscoder::LogDiscontinuity(int64_t delta, int64_t offset, int verbosity) const {
  if (S.Verbose >= verbosity)
    FEvents.LogLine(1, "timestamp discontinuity " + std::to_string(delta) + ", new offset= " + std::to_string(offset));
}

void TTranscoder::RateEmulation(const TInputStreamState &ist) const {
  if (!S.RateEmu)
    return;
  const int64_t ahead = ist.Pts - (AVUtil.av_gettime() - ist.WallStart);
  if (ahead > 1000)
    std::this_thread::sleep_for(std::chrono::milliseconds(ahead / 1000));
}
