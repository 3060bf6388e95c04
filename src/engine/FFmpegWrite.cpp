// Encoding decoded data and writing packets: the audio, video and subtitle outputs (decoded data
// goes to the encoder as it is, converted only to the encoder's formats), the bitstream filters,
// the interleaved write, and the progress report.
#include <algorithm>
#include <cstdint>

#include "engine/FFmpegException.h"
#include "engine/TranscodeState.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

namespace {

constexpr int SubtitleBufferSize = 65536;

bool Ended(int result) { return result == AVERROR(EAGAIN) || result == AVERROR_EOF; }

} // namespace

void TTranscoder::AudioOut(TOutputStreamState &ost, AVFrame *frame) {
  if (!ost.AudioPath) {
    const TAudioOutSettings settings{S.AudioSyncMethod, S.AudioDriftThreshold, S.StartTime,
                                     S.ExitOnError,     S.Verbose,             S.DtsDeltaThreshold};
    ost.AudioPath = std::make_unique<TAudioOut>(
        ost.Encoder, ost.Stream, settings, [this](int level, const std::string &text) { FTask.Log(level, text); },
        [this, &ost](AVPacket &pkt) { WriteFrame(ost, &pkt); }, FAudioBytes);
    ost.AudioPath->AudioResample = ost.AudioResample;
  }
  bool atStart = ost.SyncSource->AtStart != 0;
  ost.AudioPath->Out(*frame, ost.SyncSource->Pts, atStart);
  ost.SyncSource->AtStart = atStart;
  ost.SyncPosition = ost.AudioPath->SyncPosition;
}

int TTranscoder::VideoOut(TOutputStreamState &ost, AVFrame *frame) {
  if (!ost.VideoPath) {
    const bool variableFps = OutputContext(ost)->oformat->flags & AVFMT_VARIABLE_FPS;
    ost.VideoPath = std::make_unique<TVideoOut>(
        ost.Encoder, ost.Stream, S, variableFps, [this](int level, const std::string &text) { FTask.Log(level, text); },
        [this, &ost](AVPacket &pkt) { WriteFrame(ost, &pkt); }, FVideoBytes);
    ost.VideoPath->TwoPassLog = ost.TwoPassLog.get();
    ost.VideoPath->StopRequested = [this] {
      std::lock_guard guard(FTask.FStateLock);
      return FTask.StopRequested;
    };
    ost.VideoPath->Preview = [this](const AVFrame &picture, int64_t pts) { PreviewPicture(picture, pts); };
    ost.VideoPath->Setup(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format));
  }
  const int size = ost.VideoPath->Out(*frame, ost.SyncSource->Pts, frame->quality);
  ost.SyncPosition = ost.VideoPath->SyncPosition;
  ost.FrameCount = ost.VideoPath->FrameCount;
  if (size != 0 && !S.VStatsFileName.empty()) {
    if (!FVideoStats)
      FVideoStats = std::make_unique<TVideoStats>(S.VStatsFileName);
    FVideoStats->Write(*ost.VideoPath, ost.Encoder, size, FVideoBytes);
  }
  return size;
}

void TTranscoder::SubtitleOut(TOutputStreamState &ost, TInputStreamState &ist, AVSubtitle &sub, int64_t pts) {
  if (pts == AV_NOPTS_VALUE) {
    if (S.ExitOnError)
      throw FFmpegException("Subtitle packets must have a pts");
    FTask.Log(0, "Subtitle packets must have a pts");
    return;
  }
  if (FSubtitleBuffer.empty())
    FSubtitleBuffer.resize(SubtitleBufferSize);
  AVCodecContext *enc = ost.Encoder;
  // DVB subtitles are shown by one packet and cleared by a second one.
  const int count = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE ? 2 : 1;
  for (int i = 0; i < count; ++i) {
    const int size = AVCodecLib.avcodec_encode_subtitle(enc, FSubtitleBuffer.data(), SubtitleBufferSize, &sub);
    if (size < 0)
      throw FFmpegException("Subtitle encoding failed");
    TPacketPtr pkt = NewPacket();
    if (AVCodecLib.av_new_packet(pkt.get(), size) < 0)
      throw FFmpegException("av_malloc fail");
    std::copy_n(FSubtitleBuffer.data(), size, pkt->data);
    pkt->stream_index = ost.Index;
    pkt->pts = AVUtil.av_rescale_q(pts, ist.Stream->time_base, ost.Stream->time_base);
    if (count == 2)
      pkt->pts += 90 * static_cast<int64_t>(i == 0 ? sub.start_display_time : sub.end_display_time);
    pkt->dts = pkt->pts;
    WriteFrame(ost, pkt.get());
    ost.FrameCount += 1;
  }
}

int TTranscoder::Encode(TOutputStreamState &ost, AVFrame *frame) {
  AVCodecContext *enc = ost.Encoder;
  const bool video = enc->codec_type == AVMEDIA_TYPE_VIDEO;
  const char *failure = video ? "Video encoding failed" : "Audio encoding failed";
  int result = AVCodecLib.avcodec_send_frame(enc, frame);
  if (result < 0 && result != AVERROR_EOF)
    throw FFmpegException(std::string(failure) + ": " + CallErrorText("avcodec_send_frame()", result));
  int written = 0;
  TPacketPtr pkt = NewPacket();
  for (;;) {
    result = AVCodecLib.avcodec_receive_packet(enc, pkt.get());
    if (Ended(result))
      return written;
    if (result < 0)
      throw FFmpegException(std::string(failure) + ": " + CallErrorText("avcodec_receive_packet()", result));
    written += pkt->size;
    (video ? FVideoBytes : FAudioBytes) += pkt->size;
    if (ost.TwoPassLog && enc->stats_out)
      std::fputs(enc->stats_out, ost.TwoPassLog.get());
    pkt->stream_index = ost.Index;
    AVCodecLib.av_packet_rescale_ts(pkt.get(), enc->time_base, ost.Stream->time_base);
    pkt->time_base = ost.Stream->time_base;
    WriteFrame(ost, pkt.get());
    AVCodecLib.av_packet_unref(pkt.get());
  }
}

void TTranscoder::WriteFrame(TOutputStreamState &ost, AVPacket *pkt) {
  std::vector<TPacketPtr> packets;
  packets.push_back(NewPacket());
  AVCodecLib.av_packet_move_ref(packets.back().get(), pkt);
  for (size_t f = 0; f < ost.Filters.size(); ++f) {
    AVBSFContext *filter = ost.Filters[f].get();
    std::vector<TPacketPtr> filtered;
    for (TPacketPtr &input : packets) {
      const int streamIndex = input->stream_index;
      int result = AVCodecLib.av_bsf_send_packet(filter, input.get());
      while (result >= 0) {
        TPacketPtr output = NewPacket();
        result = AVCodecLib.av_bsf_receive_packet(filter, output.get());
        if (result >= 0)
          filtered.push_back(std::move(output));
      }
      if (Ended(result))
        continue;
      if (S.ExitOnError || FTask.OnLog) {
        const std::string text =
            CallErrorText(std::string(filter->filter->name) + " failed for stream " + std::to_string(streamIndex) +
                              ", codec " + (ost.Encoder->codec ? ost.Encoder->codec->name : "copy"),
                          result);
        if (S.ExitOnError)
          throw FFmpegException(text);
        FTask.Log(0, text);
      }
    }
    packets = std::move(filtered);
  }
  AVFormatContext *os = OutputContext(ost);
  for (TPacketPtr &packet : packets) {
    KeepTimestampsInOrder(ost, *packet);
    // Nothing is written past the bound of the output's length.
    const int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (time != AV_NOPTS_VALUE && PastLimit(ost, static_cast<double>(time) * av_q2d(ost.Stream->time_base)))
      continue;
    if (packet->pts != AV_NOPTS_VALUE)
      ost.MuxEnd = std::max(ost.MuxEnd, packet->pts + packet->duration);
    const int result = AVFormat.av_interleaved_write_frame(os, packet.get());
    if (result < 0)
      throw FFmpegException(CallErrorText("av_interleaved_write_frame()", result));
    ost.PacketsWritten += 1;
  }
}

// Muxers refuse a packet whose decoding time does not move forward, or that would be shown
// before it is decoded; sources with overlapping or repeated timestamps produce both. Such a
// packet is moved just behind the one before it.
void TTranscoder::KeepTimestampsInOrder(TOutputStreamState &ost, AVPacket &pkt) {
  if (pkt.dts == AV_NOPTS_VALUE)
    return;
  const int64_t before = pkt.dts;
  const int64_t floor = ost.LastDts == AV_NOPTS_VALUE ? INT64_MIN : ost.LastDts + 1;
  if (pkt.pts != AV_NOPTS_VALUE && pkt.pts < pkt.dts)
    pkt.pts = pkt.dts = std::max({std::min(pkt.pts, pkt.dts), floor});
  if (pkt.dts < floor) {
    pkt.dts = floor;
    if (pkt.pts != AV_NOPTS_VALUE && pkt.pts < pkt.dts)
      pkt.pts = pkt.dts;
  }
  if (pkt.dts != before && !ost.DtsCorrected) {
    ost.DtsCorrected = true;
    FTask.Log(1, "Output stream #" + std::to_string(ost.FileIndex) + "." + std::to_string(ost.Index) +
                     ": timestamps out of order (" + std::to_string(before) + " after " +
                     std::to_string(ost.LastDts) + "), moved to " + std::to_string(pkt.dts));
  }
  ost.LastDts = pkt.dts;
}

void TTranscoder::Report(bool isLast) {
  TReportInput input;
  for (const auto &ost : FOutputStreams) {
    TReportStream stream;
    stream.Video = ost->Encoder->codec_type == AVMEDIA_TYPE_VIDEO;
    stream.Copy = !ost->EncodingNeeded;
    stream.FrameCount = ost->FrameCount;
    stream.Encoder = ost->Encoder;
    if (ost->VideoPath) {
      stream.Quality = ost->VideoPath->LastQuality;
      std::copy_n(ost->VideoPath->LastError, 3, stream.Error.begin());
      input.DupFrames += ost->VideoPath->DupFrames;
      input.DropFrames += ost->VideoPath->DropFrames;
    }
    if (ost->MuxEnd != AV_NOPTS_VALUE)
      stream.Time = static_cast<double>(ost->MuxEnd) * av_q2d(ost->Stream->time_base);
    input.Streams.push_back(stream);
  }
  if (AVIOContext *pb = FTask.FOutputFiles.front().Context->pb) {
    input.Size = AVFormat.avio_size(pb);
    if (input.Size < 0)
      input.Size = AVIOTell(pb);
  }
  if (AVIOContext *pb = InputContext(0)->pb) {
    const int64_t size = AVFormat.avio_size(pb);
    if (size > 0)
      FTask.InputPermille = static_cast<int>(std::clamp<int64_t>(AVIOTell(pb) * 1000 / size, 0, 1000));
  }
  input.ElapsedUs = AVUtil.av_gettime() - FTimerStart;
  input.VideoBytes = FVideoBytes;
  input.AudioBytes = FAudioBytes;
  input.HeaderBytes = FHeaderBytes;
  input.Verbose = S.Verbose;
  input.QpHist = S.QpHist;
  input.TotalDurationMs = FTask.TotalDurationMs;
  TProgressReport::TProgress progress;
  if (FTask.OnProgress)
    progress = [this](const TProgressFigures &f) {
      FTask.OnProgress(FTask, f.FrameNumber, f.Fps, f.CurrentDuration, f.Quality, f.BitRate, f.CurrentSize,
                       f.TotalOutputDuration);
    };
  FProgress.Report(input, isLast, progress, [this](int level, const std::string &text) { FTask.Log(level, text); });
}
