// The second half of a transcode: the packet loop, the packet path through the decoders to the
// outputs (or straight to the muxer for a stream copy), the flush and the trailers.
#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "engine/FFmpegException.h"
#include "engine/TranscodeState.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

namespace {

int FrameLimit(const TTaskSettings &s, AVMediaType type) {
  switch (type) {
  case AVMEDIA_TYPE_VIDEO:
    return s.MaxVideoFrames;
  case AVMEDIA_TYPE_AUDIO:
    return s.MaxAudioFrames;
  case AVMEDIA_TYPE_SUBTITLE:
    return s.MaxSubtitleFrames;
  default:
    return s.MaxDataFrames;
  }
}

// How long the data of a packet lasts, in microseconds: its own duration when it has one, else
// what the stream's parameters tell.
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

bool Ended(int result) { return result == AVERROR(EAGAIN) || result == AVERROR_EOF; }

} // namespace

bool TTranscoder::InTime(const TInputStreamState &ist, int64_t pts) const {
  // A file opened at a start offset counts from it: decoded or copied, what lies before is left
  // out alike, so the streams start together.
  if (FTask.FInputFiles[static_cast<size_t>(ist.FileIndex)].Seeked && pts < 0)
    return false;
  return S.StartTime == 0 || pts >= S.StartTime;
}

int TTranscoder::PickInputFile() {
  double iptsMin = 1e100, optsMin = 1e100;
  int file = -1;
  for (const auto &ost : FOutputStreams) {
    const TInputStreamState &ist = *FInputStreams[static_cast<size_t>(ost->SourceIndex)];
    const AVMediaType type = ost->Encoder->codec_type;
    const double opts = OutputTime(*ost);
    const double ipts = static_cast<double>(ist.Pts);
    if (!FFiles[static_cast<size_t>(ist.FileIndex)].EofReached) {
      if (ipts < iptsMin) {
        iptsMin = ipts;
        if (S.InputSync)
          file = ist.FileIndex;
      }
      if (opts < optsMin) {
        optsMin = opts;
        if (!S.InputSync)
          file = ist.FileIndex;
      }
    }
    if (FrameLimit(S, type) <= ost->FrameCount)
      return -1;
  }
  if (file >= 0 && AtRecordingTime(optsMin))
    return -1;
  return file;
}

void TTranscoder::AdjustTimestamps(TInputStreamState &ist, AVPacket &pkt) {
  TOpenedInput &input = FTask.FInputFiles[static_cast<size_t>(ist.FileIndex)];
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
    FTask.Log(1, "timestamp discontinuity " + std::to_string(delta) + ", new offset= " + std::to_string(offset));
}

double TTranscoder::OutputTime(const TOutputStreamState &ost) const {
  if (ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO && ost.EncodingNeeded)
    return static_cast<double>(ost.SyncPosition) * av_q2d(ost.Encoder->time_base);
  return ost.MuxEnd == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(ost.MuxEnd) * av_q2d(ost.Stream->time_base);
}

bool TTranscoder::AtRecordingTime(double outputSeconds) const {
  return static_cast<double>(S.RecordingTime) / 1000000.0 <= outputSeconds;
}

double TTranscoder::InputSeconds() const {
  if (S.LoopInput)
    return 0;
  double longest = 0;
  for (const TOpenedInput &file : FTask.FInputFiles) {
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
    FTask.Log(0, text);
  }
  ost.PastLimit = true;
  return true;
}

void TTranscoder::CheckEveryStreamWritten() const {
  {
    std::lock_guard guard(FTask.FStateLock);
    if (FTask.StopRequested)
      return; // a cancelled task keeps what it has, however little
  }
  bool audio = false, video = false;
  for (const auto &ost : FOutputStreams) {
    if (ost->PacketsWritten > 0)
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

void TTranscoder::MainLoop() {
  int64_t lastReport = FTimerStart;
  TPacketPtr pkt = NewPacket();
  while (!FTask.CheckStop()) {
    const int fileIndex = PickInputFile();
    if (fileIndex < 0 || OutputBeyondLimit())
      break;
    if (S.LimitFileSize != 0) {
      AVIOContext *pb = FTask.FOutputFiles.front().Context->pb;
      if (pb && AVIOTell(pb) > S.LimitFileSize)
        break;
    }
    TInputFileState &file = FFiles[static_cast<size_t>(fileIndex)];
    AVFormatContext *input = InputContext(fileIndex);
    const int result = AVFormat.av_read_frame(input, pkt.get());
    if (result == AVERROR(EAGAIN))
      continue;
    if (result < 0) {
      file.EofReached = 1;
      if (S.Shortest)
        break;
      continue;
    }
    if (pkt->stream_index >= 0 && static_cast<unsigned>(pkt->stream_index) < input->nb_streams && S.DoPktDump)
      AVFormat.av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, pkt.get(), S.DoHexDump,
                                input->streams[pkt->stream_index]);
    const int istIndex = file.FirstStream + pkt->stream_index;
    if (pkt->stream_index < 0 || pkt->stream_index >= file.StreamCount ||
        FInputStreams[static_cast<size_t>(istIndex)]->Discard) {
      AVCodecLib.av_packet_unref(pkt.get());
    } else {
      TInputStreamState &ist = *FInputStreams[static_cast<size_t>(istIndex)];
      AdjustTimestamps(ist, *pkt);
      const int decoded = OutputPacket(ist, istIndex, pkt.get());
      AVCodecLib.av_packet_unref(pkt.get());
      if (decoded < 0) {
        const std::string text = DecodeErrorText(ist);
        if (S.ExitOnError)
          throw FFmpegException(text);
        if (S.Verbose >= 0)
          FTask.Log(1, text);
        continue;
      }
    }
    const int64_t now = AVUtil.av_gettime();
    if (now - lastReport > FTask.ProgressIntervalUs) {
      lastReport = now;
      Report(false);
    }
  }
}

std::string TTranscoder::DecodeErrorText(const TInputStreamState &ist) const {
  return "Error while decoding stream #" + std::to_string(ist.FileIndex) + "." + std::to_string(ist.StreamIndex) +
         ": " + FDecodeError;
}

void TTranscoder::Finish() {
  // A decoder that complains while draining has still given what it could: the outputs are
  // flushed and the trailers written all the same.
  for (size_t i = 0; i < FInputStreams.size(); ++i)
    if (FInputStreams[i]->DecodingNeeded && OutputPacket(*FInputStreams[i], static_cast<int>(i), nullptr) < 0 &&
        S.Verbose >= 0)
      FTask.Log(1, DecodeErrorText(*FInputStreams[i]));
  CheckEveryStreamWritten();
  for (TOutputFile &file : FTask.FOutputFiles) {
    const int result = AVFormat.av_write_trailer(file.Context.get());
    if (result < 0)
      throw FFmpegException(CallErrorText("av_write_trailer()", result));
  }
  Report(true);
  FTask.CloseOpenCodecs();
  std::lock_guard guard(FTask.FStateLock);
  FTask.Finished = !FTask.StopRequested;
}

void TTranscoder::RateEmulation(const TInputStreamState &ist) const {
  if (!S.RateEmu)
    return;
  const int64_t ahead = ist.Pts - (AVUtil.av_gettime() - ist.WallStart);
  if (ahead > 1000)
    std::this_thread::sleep_for(std::chrono::milliseconds(ahead / 1000));
}

int TTranscoder::OutputPacket(TInputStreamState &ist, int istIndex, AVPacket *pkt) {
  if (ist.NextPts == AV_NOPTS_VALUE)
    ist.NextPts = ist.Pts;
  if (pkt && pkt->dts != AV_NOPTS_VALUE)
    ist.NextPts = ist.Pts = AVUtil.av_rescale_q(pkt->dts, ist.Stream->time_base, AV_TIME_BASE_Q);

  if (pkt) {
    // Outputs that copy this stream take the packet as it came, once.
    if (!ist.DecodingNeeded) {
      ist.Pts = ist.NextPts;
      ist.NextPts += PacketDurationUs(ist.Stream, *pkt);
      RateEmulation(ist);
    }
    // Judged by when it is shown: a reordered picture is decoded before its time.
    const int64_t shown =
        pkt->pts == AV_NOPTS_VALUE ? ist.Pts : AVUtil.av_rescale_q(pkt->pts, ist.Stream->time_base, AV_TIME_BASE_Q);
    if (InTime(ist, shown))
      for (auto &ost : FOutputStreams)
        if (ost->SourceIndex == istIndex && !ost->EncodingNeeded)
          CopyPacket(*ost, ist, *pkt);
  }
  if (!ist.DecodingNeeded)
    return 0;
  const int result = ist.Decoder->codec_type == AVMEDIA_TYPE_SUBTITLE ? DecodeSubtitle(ist, istIndex, pkt)
                                                                      : DecodeFrames(ist, istIndex, pkt);
  if (!pkt)
    FlushOutputs(istIndex);
  return result < 0 ? result : 0;
}

int TTranscoder::DecodeFrames(TInputStreamState &ist, int istIndex, AVPacket *pkt) {
  AVCodecContext *dec = ist.Decoder;
  int result = AVCodecLib.avcodec_send_packet(dec, pkt);
  if (result < 0 && !Ended(result)) {
    FDecodeError = CallErrorText("avcodec_send_packet()", result);
    FLastDecodeError = result;
    return -1;
  }
  AVFrame *frame = ist.Picture.get();
  for (;;) {
    result = AVCodecLib.avcodec_receive_frame(dec, frame);
    if (Ended(result))
      return 0;
    if (result < 0) {
      FDecodeError = CallErrorText("avcodec_receive_frame()", result);
      FLastDecodeError = result;
      return -1;
    }
    // Every frame of the packet is handed on, each at its own time.
    ist.Pts = FrameTime(ist, *frame);
    if (dec->codec_type == AVMEDIA_TYPE_AUDIO && frame->sample_rate > 0)
      ist.NextPts = ist.Pts + int64_t{1000000} * frame->nb_samples / frame->sample_rate;
    else if (frame->pkt_duration > 0)
      ist.NextPts = ist.Pts + AVUtil.av_rescale_q(frame->pkt_duration, ist.Stream->time_base, AV_TIME_BASE_Q);
    else if (pkt)
      ist.NextPts = ist.Pts + PacketDurationUs(ist.Stream, *pkt);
    ist.NextFramePts = ist.NextPts;
    RateEmulation(ist);
    if (InTime(ist, ist.Pts))
      HandOut(istIndex, frame);
    AVUtil.av_frame_unref(frame);
  }
}

int TTranscoder::DecodeSubtitle(TInputStreamState &ist, int istIndex, AVPacket *pkt) {
  if (!pkt)
    return 0;
  AVSubtitle sub{};
  int got = 0;
  if (const int result = AVCodecLib.avcodec_decode_subtitle2(ist.Decoder, &sub, &got, pkt); result < 0) {
    FDecodeError = CallErrorText("avcodec_decode_subtitle2()", result);
    FLastDecodeError = result;
    return -1;
  }
  if (!got)
    return 0;
  struct TSubtitleFree {
    AVSubtitle &Sub;
    ~TSubtitleFree() { AVCodecLib.avsubtitle_free(&Sub); }
  } owned{sub};
  ist.Pts = ist.NextPts;
  if (InTime(ist, ist.Pts))
    for (auto &ost : FOutputStreams)
      if (ost->SourceIndex == istIndex && ost->EncodingNeeded)
        SubtitleOut(*ost, ist, sub, pkt->pts);
  return 0;
}

void TTranscoder::HandOutToOutputs(int istIndex, AVFrame *frame) {
  for (auto &ost : FOutputStreams) {
    if (ost->SourceIndex != istIndex || !ost->EncodingNeeded)
      continue;
    // Threaded decoders still hold pictures when the loop stops at the recording time; the drain
    // must not carry them past it.
    if (AtRecordingTime(OutputTime(*ost)))
      continue;
    switch (ost->Encoder->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      AudioOut(*ost, frame);
      break;
    case AVMEDIA_TYPE_VIDEO:
      VideoOut(*ost, frame);
      break;
    default:
      throw FFmpegException("invalid codec_type");
    }
  }
}

void TTranscoder::CopyPacket(TOutputStreamState &ost, TInputStreamState &ist, const AVPacket &pkt) {
  // A copy starts at a key frame: what comes before it cannot be decoded from the output.
  if (ost.FrameCount == 0 && !(pkt.flags & AV_PKT_FLAG_KEY) && !S.CopyInitialNonKeyframes)
    return;
  if (ost.Encoder->codec_type == AVMEDIA_TYPE_AUDIO) {
    FAudioBytes += pkt.size;
  } else if (ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
    FVideoBytes += pkt.size;
    ost.SyncPosition += 1;
  }
  TPacketPtr opkt = NewPacket();
  if (AVCodecLib.av_packet_ref(opkt.get(), &pkt) < 0)
    throw FFmpegException("av_malloc fail");
  const AVRational in = ist.Stream->time_base, out = ost.Stream->time_base;
  opkt->stream_index = ost.Index;
  opkt->pts = pkt.pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : AVUtil.av_rescale_q(pkt.pts, in, out);
  opkt->dts = pkt.dts == AV_NOPTS_VALUE ? AVUtil.av_rescale_q(ist.Pts, AV_TIME_BASE_Q, out)
                                        : AVUtil.av_rescale_q(pkt.dts, in, out);
  opkt->duration = AVUtil.av_rescale_q(pkt.duration, in, out);
  opkt->time_base = out;
  WriteFrame(ost, opkt.get());
  ost.FrameCount += 1;
}

void TTranscoder::FlushOutputs(int istIndex) {
  DrainFilterGraph(istIndex);
  for (auto &ost : FOutputStreams) {
    if (ost->SourceIndex != istIndex || !ost->EncodingNeeded)
      continue;
    switch (ost->Encoder->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      if (ost->AudioPath)
        ost->AudioPath->Flush();
      else
        Encode(*ost, nullptr);
      break;
    case AVMEDIA_TYPE_VIDEO:
      if (ost->VideoPath)
        ost->VideoPath->Flush();
      else
        Encode(*ost, nullptr);
      break;
    default:
      break;
    }
  }
}
