// The encoded outputs: decoded data through the audio and video paths to their encoders, and
// subtitles to theirs.
#include <algorithm>
#include <cstdint>

#include "engine/FFmpegException.h"
#include "engine/encode/EncodeLoop.h"
#include "engine/transcode/Transcoder.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

namespace {

constexpr int SubtitleBufferSize = 65536;

} // namespace

void TTranscoder::AudioOut(TOutputStreamState &ost, AVFrame *frame) {
  if (!ost.AudioPath) {
    const TAudioOutSettings settings{S.AudioSyncMethod, S.AudioDriftThreshold, S.StartTime,
                                     S.ExitOnError,     S.Verbose,             S.DtsDeltaThreshold,
                                     S.AudioFilters};
    ost.AudioPath = std::make_unique<TAudioOut>(
        ost.Encoder, ost.Stream, settings, [this](int level, const std::string &text) { FEvents.LogLine(level, text); },
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
        ost.Encoder, ost.Stream, S, variableFps,
        [this](int level, const std::string &text) { FEvents.LogLine(level, text); },
        [this, &ost](AVPacket &pkt) { WriteFrame(ost, &pkt); }, FVideoBytes);
    ost.VideoPath->TwoPassLog = &ost.TwoPassLog;
    ost.VideoPath->StopRequested = [this] { return FStop.StopRequested(); };
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
    FEvents.LogLine(0, "Subtitle packets must have a pts");
    return;
  }
  if (FSubtitleBuffer.empty())
    FSubtitleBuffer.resize(SubtitleBufferSize);
  AVCodecContext *enc = ost.Encoder;
  // DVB subtitles are shown by one packet and cleared by a second one.
  const int count = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE ? 2 : 1;
  // Other encoders take a line that starts with its packet and lasts as long as the packet does:
  // without the length, players show text lines for no time at all.
  int64_t duration = 0;
  if (count == 1) {
    pts += AVUtil.av_rescale_q(sub.start_display_time, AVRational{1, 1000}, ist.Stream->time_base);
    sub.end_display_time -= sub.start_display_time;
    sub.start_display_time = 0;
    duration = AVUtil.av_rescale_q(sub.end_display_time, AVRational{1, 1000}, ost.Stream->time_base);
  }
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
    pkt->duration = duration;
    if (count == 1 && !CutAtRecordingTime(*pkt, ost.Stream->time_base))
      return;
    WriteFrame(ost, pkt.get());
    ost.FrameCount += 1;
  }
}

int TTranscoder::Encode(TOutputStreamState &ost, AVFrame *frame) {
  AVCodecContext *enc = ost.Encoder;
  const bool video = enc->codec_type == AVMEDIA_TYPE_VIDEO;
  int written = 0;
  TPacketPtr pkt = NewPacket();
  EncodeFrame(enc, frame, *pkt, video ? "Video encoding failed" : "Audio encoding failed", [&](AVPacket &packet) {
    written += packet.size;
    (video ? FVideoBytes : FAudioBytes) += packet.size;
    ost.TwoPassLog.AfterPacket(*enc);
    packet.stream_index = ost.Index;
    AVCodecLib.av_packet_rescale_ts(&packet, enc->time_base, ost.Stream->time_base);
    packet.time_base = ost.Stream->time_base;
    WriteFrame(ost, &packet);
  });
  if (!frame)
    ost.TwoPassLog.AfterDrain(*enc);
  return written;
}
