// The first half of a transcode: stream tables, maps, codec parameters, codecs, headers.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/DisplayTurn.h"
#include "engine/FFmpegException.h"
#include "engine/TranscodeState.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

namespace {

std::string Pair(int a, int b) { return "#" + std::to_string(a) + "." + std::to_string(b); }

// A copied video stream counts time in its frames when its container's clock is a fine one
// (MPEG-TS 1/90000, Matroska 1/1000): muxers such as AVI take the time base as the frame rate.
// A variable-rate stream, whose real rate is a clock itself, counts in its average frames.
AVRational CopyTimeBase(const AVStream &stream) {
  constexpr double FineClock = 0.001;
  constexpr int MaxFrameRate = 1000;
  const AVRational tb = stream.time_base;
  if (stream.codecpar->codec_type != AVMEDIA_TYPE_VIDEO || av_q2d(tb) > FineClock)
    return tb;
  AVRational rate = stream.r_frame_rate;
  if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > MaxFrameRate)
    rate = stream.avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > MaxFrameRate)
    return tb;
  const AVRational frame{rate.den, rate.num};
  return av_q2d(frame) > av_q2d(tb) ? frame : tb;
}

} // namespace

void TBsfFree::operator()(AVBSFContext *context) const { AVCodecLib.av_bsf_free(&context); }

void TCustomFFmpeg::Transcode() { TTranscoder(*this).Transcode(); }

TTranscoder::TTranscoder(TCustomFFmpeg &task) : FTask(task), S(task.S) {}

AVFormatContext *TTranscoder::OutputContext(const TOutputStreamState &ost) const {
  return FTask.FOutputFiles[static_cast<size_t>(ost.FileIndex)].Context.get();
}

AVFormatContext *TTranscoder::InputContext(int fileIndex) const {
  return FTask.FInputFiles[static_cast<size_t>(fileIndex)].Context.get();
}

void TTranscoder::Fail(const std::string &message, int dumpOutput) {
  if (dumpOutput >= 0) {
    AVFormatContext *context = FTask.FOutputFiles[static_cast<size_t>(dumpOutput)].Context.get();
    AVFormat.av_dump_format(context, dumpOutput, context->url, 1);
  }
  throw FFmpegException(message);
}

void TTranscoder::Transcode() {
  BuildInputTables();
  CheckOutputs();
  MapStreams();
  int number = 0;
  for (auto &ost : FOutputStreams) {
    PrepareStream(*ost);
    OpenTwoPassLog(*ost, number++);
  }
  for (size_t i = 0; i < FTask.FOutputFiles.size(); ++i)
    AVFormat.av_dump_format(FTask.FOutputFiles[i].Context.get(), static_cast<int>(i),
                            FTask.FOutputFiles[i].Context->url, 1);
  LogStreamMapping();
  PrepareHooks();
  OpenEncoders();
  OpenDecoders();
  for (auto &ist : FInputStreams) {
    ist->Pts = 0;
    ist->NextPts = AV_NOPTS_VALUE;
    ist->AtStart = 1;
  }
  CopyMetaData();
  WriteHeaders();
  FTimerStart = AVUtil.av_gettime();
  FInputSeconds = InputSeconds();
  MainLoop();
  Finish();
}

void TTranscoder::BuildInputTables() {
  for (size_t f = 0; f < FTask.FInputFiles.size(); ++f) {
    TOpenedInput &file = FTask.FInputFiles[f];
    TInputFileState state;
    state.FirstStream = static_cast<int>(FInputStreams.size());
    state.StreamCount = static_cast<int>(file.Context->nb_streams);
    FFiles.push_back(state);
    for (unsigned i = 0; i < file.Context->nb_streams; ++i) {
      auto ist = std::make_unique<TInputStreamState>();
      ist->FileIndex = static_cast<int>(f);
      ist->StreamIndex = static_cast<int>(i);
      ist->Stream = file.Context->streams[i];
      ist->Decoder = i < file.Decoders.size() ? file.Decoders[i].get() : nullptr;
      ist->Picture = NewFrame();
      if (S.RateEmu)
        ist->WallStart = AVUtil.av_gettime();
      FInputStreams.push_back(std::move(ist));
    }
  }
}

void TTranscoder::CheckOutputs() {
  size_t count = 0;
  for (size_t k = 0; k < FTask.FOutputFiles.size(); ++k) {
    if (FTask.FOutputFiles[k].Streams.empty())
      Fail("Output file #" + std::to_string(k) + " does not contain any stream", static_cast<int>(k));
    count += FTask.FOutputFiles[k].Streams.size();
  }
  if (!S.StreamMaps.empty() && S.StreamMaps.size() != count)
    Fail("Number of stream maps must match number of output streams");
  const int files = static_cast<int>(FFiles.size());
  for (const TStreamMap &map : S.StreamMaps) {
    if (map.FileIndex < 0 || map.FileIndex >= files || map.StreamIndex < 0 ||
        map.StreamIndex >= FFiles[static_cast<size_t>(map.FileIndex)].StreamCount)
      Fail("Could not find input stream " + Pair(map.FileIndex, map.StreamIndex));
    if (map.SyncFileIndex < 0 || map.SyncFileIndex >= files || map.SyncStreamIndex < 0 ||
        map.SyncStreamIndex >= FFiles[static_cast<size_t>(map.SyncFileIndex)].StreamCount)
      Fail("Could not find sync stream " + Pair(map.SyncFileIndex, map.SyncStreamIndex));
  }
}

void TTranscoder::MapStreams() {
  for (size_t k = 0; k < FTask.FOutputFiles.size(); ++k) {
    TOutputFile &file = FTask.FOutputFiles[k];
    for (size_t i = 0; i < file.Streams.size(); ++i) {
      auto ost = std::make_unique<TOutputStreamState>();
      ost->FileIndex = static_cast<int>(k);
      ost->Index = static_cast<int>(i);
      ost->Output = &file.Streams[i];
      ost->Stream = file.Streams[i].Stream;
      ost->Encoder = file.Streams[i].Encoder.get();
      SelectSource(*ost, static_cast<int>(k));
      FOutputStreams.push_back(std::move(ost));
    }
  }
}

void TTranscoder::SelectSource(TOutputStreamState &ost, int fileIndex) {
  const AVMediaType type = ost.Encoder->codec_type;
  auto typeOf = [this](int index) { return FInputStreams[static_cast<size_t>(index)]->Stream->codecpar->codec_type; };
  const int n = static_cast<int>(FOutputStreams.size());
  if (!S.StreamMaps.empty()) {
    const TStreamMap &map = S.StreamMaps[static_cast<size_t>(n)];
    ost.SourceIndex = FFiles[static_cast<size_t>(map.FileIndex)].FirstStream + map.StreamIndex;
    if (typeOf(ost.SourceIndex) != type)
      Fail("Codec type mismatch for mapping " + Pair(map.FileIndex, map.StreamIndex) + " -> " +
               Pair(fileIndex, ost.Index),
           fileIndex);
    FInputStreams[static_cast<size_t>(ost.SourceIndex)]->Discard = 0;
    ost.SyncSource =
        FInputStreams[static_cast<size_t>(FFiles[static_cast<size_t>(map.SyncFileIndex)].FirstStream +
                                          map.SyncStreamIndex)]
            .get();
    return;
  }
  int found = -1;
  if (S.ProgramId != 0) {
    for (size_t f = 0; f < FFiles.size() && found < 0; ++f) {
      const AVFormatContext *context = InputContext(static_cast<int>(f));
      for (unsigned p = 0; p < context->nb_programs && found < 0; ++p) {
        const AVProgram *program = context->programs[p];
        if (program->id != S.ProgramId)
          continue;
        for (unsigned j = 0; j < program->nb_stream_indexes && found < 0; ++j) {
          const int index = FFiles[f].FirstStream + static_cast<int>(program->stream_index[j]);
          if (FInputStreams[static_cast<size_t>(index)]->Discard && typeOf(index) == type)
            found = index;
        }
      }
    }
  } else {
    for (size_t j = 0; j < FInputStreams.size() && found < 0; ++j)
      if (FInputStreams[j]->Discard && typeOf(static_cast<int>(j)) == type)
        found = static_cast<int>(j);
  }
  if (found < 0 && S.ProgramId == 0)
    for (size_t j = 0; j < FInputStreams.size(); ++j)
      if (typeOf(static_cast<int>(j)) == type)
        found = static_cast<int>(j);
  if (found < 0)
    Fail("Could not find input stream matching output stream " + Pair(fileIndex, ost.Index), fileIndex);
  ost.SourceIndex = found;
  FInputStreams[static_cast<size_t>(found)]->Discard = 0;
  ost.SyncSource = FInputStreams[static_cast<size_t>(found)].get();
}

void TTranscoder::PrepareStream(TOutputStreamState &ost) {
  TInputStreamState &ist = *FInputStreams[static_cast<size_t>(ost.SourceIndex)];
  if (const AVDictionaryEntry *language = AVUtil.av_dict_get(ist.Stream->metadata, "language", nullptr, 0))
    if (!AVUtil.av_dict_get(ost.Stream->metadata, "language", nullptr, 0))
      AVUtil.av_dict_set(&ost.Stream->metadata, "language", language->value, 0);
  ost.Stream->disposition = ist.Stream->disposition;
  if (ost.Output->StreamCopy)
    PrepareCopy(ost, ist);
  else
    PrepareEncoding(ost, ist);
}

void TTranscoder::PrepareCopy(TOutputStreamState &ost, TInputStreamState &ist) {
  AVCodecParameters *in = ist.Stream->codecpar;
  AVCodecParameters *out = ost.Stream->codecpar;
  const unsigned userTag = ost.Encoder->codec_tag;
  switch (in->codec_type) {
  case AVMEDIA_TYPE_AUDIO:
    if (S.AudioVolume != 256)
      Fail("-acodec copy and -vol are incompatible (frames are not decoded)");
    break;
  case AVMEDIA_TYPE_VIDEO: {
    if (FTask.OnCustomHook)
      Fail("-vcodec copy and CustomHook are incompatible (frames are not decoded)");
    if (S.HooksEnabled)
      Fail("-vcodec copy and -vhook are incompatible (frames are not decoded)");
    std::lock_guard preview(PreviewLock());
    if (FTask.PreviewFlags & 3)
      Fail("-vcodec copy and PostHooks are incompatible (frames are not decoded)");
    break;
  }
  case AVMEDIA_TYPE_SUBTITLE:
    break;
  default:
    Fail("invalid codec_type of output stream");
  }
  // The input's parameters as they are: a copy must not change a bit of the stream.
  const AVRational aspect = ost.Stream->sample_aspect_ratio;
  if (AVCodecLib.avcodec_parameters_copy(out, in) < 0)
    throw FFmpegException("av_malloc fail");
  if (in->codec_type == AVMEDIA_TYPE_VIDEO && aspect.num != 0)
    out->sample_aspect_ratio = aspect;

  // Keep the input's tag when the output format cannot misread it.
  out->codec_tag = userTag;
  if (userTag == 0) {
    const AVCodecTag *const *tags = OutputContext(ost)->oformat->codec_tag;
    if (!tags || AVFormat.av_codec_get_id(tags, in->codec_tag) == in->codec_id ||
        AVFormat.av_codec_get_tag(tags, in->codec_id) <= 0)
      out->codec_tag = in->codec_tag;
  }
  if (in->codec_type == AVMEDIA_TYPE_AUDIO &&
      ((in->codec_id == AV_CODEC_ID_MP3 && out->block_align == 1) || in->codec_id == AV_CODEC_ID_AC3))
    out->block_align = 0;
  ost.Stream->time_base = CopyTimeBase(*ist.Stream);
  // Phones store pictures turned and say so beside the stream; a copy would otherwise show sideways.
  if (in->codec_type == AVMEDIA_TYPE_VIDEO && !CopyDisplayMatrix(ist.Stream, ost.Stream))
    throw FFmpegException("av_malloc fail");
  if (AVCodecLib.avcodec_parameters_to_context(ost.Encoder, out) < 0)
    throw FFmpegException("av_malloc fail");
  ost.Encoder->time_base = ost.Stream->time_base;
}

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
    if (cropping && !FTask.FFiltersEnabled)
      ist.Turn.clear();
    if (FTask.FFiltersEnabled || !ist.Turn.empty())
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
    ost.TwoPassLog.reset(std::fopen(name.c_str(), "w"));
    if (!ost.TwoPassLog)
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

void TTranscoder::LogStreamMapping() {
  if (S.Verbose < 0 || !FTask.OnLog)
    return;
  FTask.Log(1, "Stream mapping:");
  for (const auto &ost : FOutputStreams) {
    const TInputStreamState &ist = *FInputStreams[static_cast<size_t>(ost->SourceIndex)];
    FTask.Log(1, "  Stream " + Pair(ist.FileIndex, ist.StreamIndex) + " -> " + Pair(ost->FileIndex, ost->Index));
    if (ost->SyncSource != &ist)
      FTask.Log(1, " [sync " + Pair(ost->SyncSource->FileIndex, ost->SyncSource->StreamIndex) + "]");
  }
}

void TTranscoder::OpenEncoders() {
  for (auto &ost : FOutputStreams) {
    AVCodecContext *enc = ost->Encoder;
    if (ost->EncodingNeeded) {
      const AVCodec *codec = ost->Output->Codec ? ost->Output->Codec : AVCodecLib.avcodec_find_encoder(enc->codec_id);
      if (!codec)
        Fail("Unsupported codec for output stream " + Pair(ost->FileIndex, ost->Index));
      if (enc->time_base.num == 0)
        enc->time_base = AV_TIME_BASE_Q;
      EnableRowThreads(enc);
      int result;
      {
        std::lock_guard guard(CodecLock());
        result = AVCodecLib.avcodec_open2(enc, codec, nullptr);
      }
      if (result < 0)
        Fail("Error while opening codec for output stream " + Pair(ost->FileIndex, ost->Index) +
             " - maybe incorrect parameters such as bit_rate, rate, width or height");
      FTask.FOpenEncoders.insert(FTask.FOpenEncoders.begin(), enc);
      FHeaderBytes += enc->extradata_size;
      if (AVCodecLib.avcodec_parameters_from_context(ost->Stream->codecpar, enc) < 0)
        throw FFmpegException("av_malloc fail");
      ost->Stream->time_base = enc->time_base;
    }
    OpenBitstreamFilters(*ost);
  }
}

void TTranscoder::EnableRowThreads(AVCodecContext *enc) const {
  // VP9 spreads over several cores only when told to work by rows; that changes no quality
  // setting. A value the user gave stays.
  const auto &named = FTask.SetOptionNames();
  if (enc->thread_count == 1 || !enc->priv_data || std::find(named.begin(), named.end(), "row-mt") != named.end())
    return;
  if (AVUtil.av_opt_find(enc->priv_data, "row-mt", nullptr, 0, 0))
    AVUtil.av_opt_set_int(enc->priv_data, "row-mt", 1, 0);
}

void TTranscoder::OpenBitstreamFilters(TOutputStreamState &ost) {
  const AVCodecParameters *parameters = ost.Stream->codecpar;
  for (const std::string &name : ost.Output->BitstreamFilters) {
    const AVBitStreamFilter *filter = AVCodecLib.av_bsf_get_by_name(name.c_str());
    AVBSFContext *raw = nullptr;
    if (!filter || AVCodecLib.av_bsf_alloc(filter, &raw) < 0)
      Fail("Unknown bitstream filter " + name);
    TBsfPtr context(raw);
    context->time_base_in = ost.Stream->time_base;
    int result = AVCodecLib.avcodec_parameters_copy(context->par_in, parameters);
    if (result >= 0)
      result = AVCodecLib.av_bsf_init(context.get());
    if (result < 0)
      Fail(CallErrorText(name, result));
    parameters = context->par_out;
    ost.Filters.push_back(std::move(context));
  }
  if (!ost.Filters.empty() && AVCodecLib.avcodec_parameters_copy(ost.Stream->codecpar, parameters) < 0)
    throw FFmpegException("av_malloc fail");
}

void TTranscoder::OpenDecoders() {
  for (size_t i = 0; i < FInputStreams.size(); ++i) {
    TInputStreamState &ist = *FInputStreams[i];
    if (!ist.DecodingNeeded)
      continue;
    AVCodecContext *dec = ist.Decoder;
    const AVCodec *codec = i < FTask.FInputCodecs.size() ? FTask.FInputCodecs[i] : nullptr;
    if (!codec || codec->type != dec->codec_type)
      codec = AVCodecLib.avcodec_find_decoder(dec->codec_id);
    if (!codec)
      Fail("Unsupported codec (id=" + std::to_string(dec->codec_id) + ") for input stream " +
           Pair(ist.FileIndex, ist.StreamIndex));
    dec->pkt_timebase = ist.Stream->time_base;
    int result;
    {
      std::lock_guard guard(CodecLock());
      result = AVCodecLib.avcodec_open2(dec, codec, nullptr);
    }
    if (result < 0)
      Fail("Error while opening codec for input stream " + Pair(ist.FileIndex, ist.StreamIndex));
    FTask.FOpenDecoders.insert(FTask.FOpenDecoders.begin(), dec);
  }
}

void TTranscoder::CopyMetaData() {
  const int outputs = static_cast<int>(FTask.FOutputFiles.size());
  const int inputs = static_cast<int>(FFiles.size());
  for (const TMetaDataMap &map : S.MetaDataMaps) {
    const std::string pair = "(" + std::to_string(map.OutFile) + "," + std::to_string(map.InFile) + ")";
    if (map.OutFile < 0 || map.OutFile >= outputs)
      Fail("Invalid output file index " + std::to_string(map.OutFile) + " map_meta_data" + pair);
    if (map.InFile < 0 || map.InFile >= inputs)
      Fail("Invalid input file index " + std::to_string(map.InFile) + " map_meta_data" + pair);
    AVFormatContext *out = FTask.FOutputFiles[static_cast<size_t>(map.OutFile)].Context.get();
    const AVDictionaryEntry *tag = nullptr;
    while ((tag = AVUtil.av_dict_get(InputContext(map.InFile)->metadata, "", tag, AV_DICT_IGNORE_SUFFIX)))
      AVUtil.av_dict_set(&out->metadata, tag->key, tag->value, 0);
  }
}

void TTranscoder::WriteHeaders() {
  bool allRtp = true;
  std::vector<AVFormatContext *> contexts;
  for (size_t k = 0; k < FTask.FOutputFiles.size(); ++k) {
    AVFormatContext *context = FTask.FOutputFiles[k].Context.get();
    if (AVFormat.avformat_write_header(context, nullptr) < 0)
      Fail("Could not write header for output file #" + std::to_string(k) + " (incorrect codec parameters ?)");
    allRtp = allRtp && std::strcmp(context->oformat->name, "rtp") == 0;
    contexts.push_back(context);
  }
  if (allRtp && FTask.OnLog) {
    char sdp[2048] = {};
    AVFormat.av_sdp_create(contexts.data(), static_cast<int>(contexts.size()), sdp, sizeof sdp);
    std::string text(sdp);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
      text.pop_back();
    size_t start = 0;
    while (start < text.size() && static_cast<unsigned char>(text[start]) <= ' ')
      ++start;
    FTask.Log(1, "SDP: " + text.substr(start));
  }
}
