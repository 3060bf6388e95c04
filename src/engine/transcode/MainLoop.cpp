// The packet loop: which input to read next, each packet to its copies and decoder, the flush at
// the end of an input and the trailers.
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

} // namespace

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
      // Sparse subtitle lines and a cover's one picture do not tell how far the output has come.
      const bool timed = type != AVMEDIA_TYPE_SUBTITLE && !(ist.Stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
      if (timed && opts < optsMin) {
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

void TTranscoder::MainLoop() {
  int64_t lastReport = FTimerStart;
  TPacketPtr pkt = NewPacket();
  while (!FStop.CheckStop()) {
    const int fileIndex = PickInputFile();
    if (fileIndex < 0 || OutputBeyondLimit())
      break;
    if (S.LimitFileSize != 0) {
      AVIOContext *pb = FOutputs.Files.front().Context->pb;
      if (pb && AVIOTell(pb) > S.LimitFileSize)
        break;
    }
    TInputFileState &file = FFiles[static_cast<size_t>(fileIndex)];
    AVFormatContext *input = InputContext(fileIndex);
    const int result = AVFormat.av_read_frame(input, pkt.get());
    if (result == AVERROR(EAGAIN))
      continue;
    if (result < 0) {
      // Only the end is an end: a source that stops being readable (a drive pulled out, a share
      // gone) would otherwise leave a cut file reported as a success.
      if (result != AVERROR_EOF)
        throw FFmpegException(std::string(input->url) + ": read error: " + AVErrorText(result));
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
          FEvents.LogLine(1, text);
        continue;
      }
    }
    const int64_t now = AVUtil.av_gettime();
    if (now - lastReport > FTimes.ProgressIntervalUs) {
      lastReport = now;
      Report(false);
    }
  }
}

void TTranscoder::Finish() {
  // A decoder that complains while draining has still given what it could: the outputs are
  // flushed and the trailers written all the same.
  for (size_t i = 0; i < FInputStreams.size(); ++i)
    if (FInputStreams[i]->DecodingNeeded && OutputPacket(*FInputStreams[i], static_cast<int>(i), nullptr) < 0 &&
        S.Verbose >= 0)
      FEvents.LogLine(1, DecodeErrorText(*FInputStreams[i]));
  CheckEveryStreamWritten();
  for (TOutputFile &file : FOutputs.Files) {
    const int result = AVFormat.av_write_trailer(file.Context.get());
    if (result < 0)
      throw FFmpegException(CallErrorText("av_write_trailer()", result));
  }
  Report(true);
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
