// Decoding: the decoders opened, packets to frames (and subtitles) handed on at their times.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "engine/FFmpegException.h"
#include "engine/input/InputClock.h"
#include "engine/filter/DisplayTurn.h"
#include "engine/transcode/Transcoder.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

namespace {

bool Ended(int result) { return result == AVERROR(EAGAIN) || result == AVERROR_EOF; }

} // namespace

void TTranscoder::OpenDecoders() {
  for (size_t i = 0; i < FInputStreams.size(); ++i)
    if (FInputStreams[i]->DecodingNeeded)
      OpenDecoder(i);
}

void TTranscoder::OpenDecoder(size_t i) {
  TInputStreamState &ist = *FInputStreams[i];
  TCodecContextPtr &owned = FInputs.Files[static_cast<size_t>(ist.FileIndex)].Decoders[static_cast<size_t>(ist.StreamIndex)];
  if (owned.get_deleter().Open)
    return;
  AVCodecContext *dec = ist.Decoder;
  const AVCodec *codec = i < FInputs.Codecs.size() ? FInputs.Codecs[i] : nullptr;
  if (!codec || codec->type != dec->codec_type)
    codec = AVCodecLib.avcodec_find_decoder(dec->codec_id);
  if (!codec)
    Fail("Unsupported codec (id=" + std::to_string(dec->codec_id) + ") for input stream " +
         StreamLabel(ist.FileIndex, ist.StreamIndex));
  dec->pkt_timebase = ist.Stream->time_base;
  int result;
  {
    std::lock_guard guard(CodecLock());
    result = AVCodecLib.avcodec_open2(dec, codec, nullptr);
  }
  if (result < 0)
    Fail("Error while opening codec for input stream " + StreamLabel(ist.FileIndex, ist.StreamIndex));
  MarkOpened(owned);
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
  // A burned line may have begun before the trim and still show after it.
  if (istIndex == FOverlaySource)
    FOverlay->Add(sub,
                  pkt->pts == AV_NOPTS_VALUE ? ist.Pts
                                             : AVUtil.av_rescale_q(pkt->pts, ist.Stream->time_base, AV_TIME_BASE_Q),
                  PacketDurationUs(ist.Stream, *pkt), ist.Decoder->width, ist.Decoder->height);
  if (InTime(ist, ist.Pts))
    for (auto &ost : FOutputStreams)
      if (ost->SourceIndex == istIndex && ost->EncodingNeeded)
        SubtitleOut(*ost, ist, sub, pkt->pts);
  return 0;
}

std::string TTranscoder::DecodeErrorText(const TInputStreamState &ist) const {
  return "Error while decoding stream #" + std::to_string(ist.FileIndex) + "." + std::to_string(ist.StreamIndex) +
         ": " + FDecodeError;
}
