// Packets to the muxer: stream copies, the bitstream filters, timestamps kept in order, the
// interleaved write.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
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

namespace {

bool Ended(int result) { return result == AVERROR(EAGAIN) || result == AVERROR_EOF; }

} // namespace

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
  if (ist.Stream->disposition & AV_DISPOSITION_ATTACHED_PIC)
    opkt->pts = opkt->dts = 0;
  if (ost.Encoder->codec_type == AVMEDIA_TYPE_SUBTITLE && !CutAtRecordingTime(*opkt, out))
    return;
  opkt->time_base = out;
  WriteFrame(ost, opkt.get());
  ost.FrameCount += 1;
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
      if (S.ExitOnError || FEvents.Logging()) {
        const std::string text =
            CallErrorText(std::string(filter->filter->name) + " failed for stream " + std::to_string(streamIndex) +
                              ", codec " + (ost.Encoder->codec ? ost.Encoder->codec->name : "copy"),
                          result);
        if (S.ExitOnError)
          throw FFmpegException(text);
        FEvents.LogLine(0, text);
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
    FEvents.LogLine(1, "Output stream #" + std::to_string(ost.FileIndex) + "." + std::to_string(ost.Index) +
                     ": timestamps out of order (" + std::to_string(before) + " after " +
                     std::to_string(ost.LastDts) + "), moved to " + std::to_string(pkt.dts));
  }
  ost.LastDts = pkt.dts;
}
