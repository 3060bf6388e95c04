// Encoder setup: parameters from the source, the two-pass log, the encoders opened.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/FFmpegException.h"
#include "engine/filter/DisplayTurn.h"
#include "engine/transcode/Transcoder.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

void TTranscoder::PrepareEncoding(TOutputStreamState &ost, TInputStreamState &ist) {
  AVCodecContext *enc = ost.Encoder;
  AVCodecContext *dec = ist.Decoder;
  if (!dec)
    Fail("invalid codec_type of output stream");
  switch (enc->codec_type) {
  case AVMEDIA_TYPE_AUDIO:
    ost.AudioResample = enc->sample_rate != dec->sample_rate || S.AudioSyncMethod > 1;
    break;
  case AVMEDIA_TYPE_VIDEO: {
    // Sideways pictures are turned upright by the graph; crop settings keep the plain path.
    const bool cropping = S.FrameTopBand || S.FrameBottomBand || S.FrameLeftBand || S.FrameRightBand;
    ist.Turn = DisplayTurnOf(ist.Stream).Filters;
    if (cropping && !FConfig.FiltersEnabled)
      ist.Turn.clear();
    if (FConfig.FiltersEnabled || !ist.Turn.empty())
      ConfigureFilterGraph(ost, ist, dec->width, dec->height, dec->pix_fmt);
    break;
  }
  case AVMEDIA_TYPE_SUBTITLE:
    break;
  default:
    Fail("invalid codec_type of output stream");
  }
  ost.EncodingNeeded = 1;
  ist.DecodingNeeded = 1;
}

void TTranscoder::OpenTwoPassLog(TOutputStreamState &ost, int number) {
  const int pass = ost.Encoder->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2);
  if (!ost.EncodingNeeded || pass == 0)
    return;
  std::string name = (S.PassLogFileName.empty() ? std::string("ffmpeg2pass") : S.PassLogFileName) + "-" +
                     std::to_string(number) + ".log";
  if (name.size() > 1023)
    name.resize(1023);
  if (pass & AV_CODEC_FLAG_PASS1) {
    if (!ost.TwoPassLog.Open(name))
      Fail("Cannot write log file " + name + " for pass-1 encoding");
    return;
  }
  TFilePtr file(std::fopen(name.c_str(), "r"));
  if (!file)
    Fail("Cannot read log file " + name + " for pass-2 encoding");
  std::fseek(file.get(), 0, SEEK_END);
  const long size = std::ftell(file.get());
  std::fseek(file.get(), 0, SEEK_SET);
  char *buffer = size >= 0 ? static_cast<char *>(AVUtil.av_malloc(static_cast<size_t>(size) + 1)) : nullptr;
  if (!buffer)
    Fail("Could not allocate log buffer");
  const size_t read = std::fread(buffer, 1, static_cast<size_t>(size), file.get());
  buffer[read] = 0;
  AVUtil.av_freep(&ost.Encoder->stats_in);
  ost.Encoder->stats_in = buffer;
}

void TTranscoder::OpenEncoders() {
  for (auto &ost : FOutputStreams) {
    AVCodecContext *enc = ost->Encoder;
    if (ost->EncodingNeeded) {
      const AVCodec *codec = ost->Output->Codec ? ost->Output->Codec : AVCodecLib.avcodec_find_encoder(enc->codec_id);
      if (!codec)
        Fail("Unsupported codec for output stream " + StreamLabel(ost->FileIndex, ost->Index));
      if (enc->time_base.num == 0)
        enc->time_base = AV_TIME_BASE_Q;
      EnableRowThreads(enc);
      ApplyEncoderOptions(enc);
      if (enc->codec_type == AVMEDIA_TYPE_SUBTITLE)
        TakeSubtitleHeader(*ost);
      int result;
      {
        std::lock_guard guard(CodecLock());
        result = AVCodecLib.avcodec_open2(enc, codec, nullptr);
      }
      if (result < 0)
        Fail("Error while opening codec for output stream " + StreamLabel(ost->FileIndex, ost->Index) +
             " - maybe incorrect parameters such as bit_rate, rate, width or height");
      MarkOpened(ost->Output->Encoder);
      FHeaderBytes += enc->extradata_size;
      if (AVCodecLib.avcodec_parameters_from_context(ost->Stream->codecpar, enc) < 0)
        throw FFmpegException("av_malloc fail");
      ost->Stream->time_base = enc->time_base;
    }
    OpenBitstreamFilters(*ost);
  }
}

void TTranscoder::TakeSubtitleHeader(TOutputStreamState &ost) {
  OpenDecoder(static_cast<size_t>(ost.SourceIndex));
  const AVCodecContext *dec = FInputStreams[static_cast<size_t>(ost.SourceIndex)]->Decoder;
  if (!dec->subtitle_header || dec->subtitle_header_size <= 0 || ost.Encoder->subtitle_header)
    return;
  auto *header = static_cast<uint8_t *>(AVUtil.av_mallocz(static_cast<size_t>(dec->subtitle_header_size) + 1));
  if (!header)
    throw FFmpegException("av_malloc fail");
  std::memcpy(header, dec->subtitle_header, static_cast<size_t>(dec->subtitle_header_size));
  ost.Encoder->subtitle_header = header;
  ost.Encoder->subtitle_header_size = dec->subtitle_header_size;
}

void TTranscoder::EnableRowThreads(AVCodecContext *enc) const {
  // VP9 spreads over several cores only when told to work by rows; that changes no quality
  // setting. A value the user gave stays.
  const auto &named = FConfig.SetOptionNames;
  if (enc->thread_count == 1 || !enc->priv_data || std::find(named.begin(), named.end(), "row-mt") != named.end())
    return;
  if (AVUtil.av_opt_find(enc->priv_data, "row-mt", nullptr, 0, 0))
    AVUtil.av_opt_set_int(enc->priv_data, "row-mt", 1, 0);
}

void TTranscoder::ApplyEncoderOptions(AVCodecContext *enc) const {
  if (!enc->priv_data)
    return;
  for (const auto &[name, value] : FConfig.EncoderOptions)
    if (AVUtil.av_opt_find(enc->priv_data, name.c_str(), nullptr, AV_OPT_FLAG_ENCODING_PARAM, 0) &&
        AVUtil.av_opt_set(enc->priv_data, name.c_str(), value.c_str(), 0) < 0)
      AVUtil.av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n", value.c_str(), name.c_str());
}
