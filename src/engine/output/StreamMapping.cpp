// Stream mapping: which input stream feeds each output stream, and the parameters of stream
// copies.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string_view>

#include "engine/FFmpegException.h"
#include "engine/filter/DisplayTurn.h"
#include "engine/transcode/Transcoder.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

namespace {

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

void TTranscoder::CheckOutputs() {
  size_t count = 0;
  for (size_t k = 0; k < FOutputs.Files.size(); ++k) {
    if (FOutputs.Files[k].Streams.empty())
      Fail("Output file #" + std::to_string(k) + " does not contain any stream", static_cast<int>(k));
    count += FOutputs.Files[k].Streams.size();
  }
  if (!S.StreamMaps.empty() && S.StreamMaps.size() != count)
    Fail("Number of stream maps must match number of output streams");
  const int files = static_cast<int>(FFiles.size());
  for (const TStreamMap &map : S.StreamMaps) {
    if (map.FileIndex < 0 || map.FileIndex >= files || map.StreamIndex < 0 ||
        map.StreamIndex >= FFiles[static_cast<size_t>(map.FileIndex)].StreamCount)
      Fail("Could not find input stream " + StreamLabel(map.FileIndex, map.StreamIndex));
    if (map.SyncFileIndex < 0 || map.SyncFileIndex >= files || map.SyncStreamIndex < 0 ||
        map.SyncStreamIndex >= FFiles[static_cast<size_t>(map.SyncFileIndex)].StreamCount)
      Fail("Could not find sync stream " + StreamLabel(map.SyncFileIndex, map.SyncStreamIndex));
  }
}

void TTranscoder::MapStreams() {
  for (size_t k = 0; k < FOutputs.Files.size(); ++k) {
    TOutputFile &file = FOutputs.Files[k];
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
      Fail("Codec type mismatch for mapping " + StreamLabel(map.FileIndex, map.StreamIndex) + " -> " +
               StreamLabel(fileIndex, ost.Index),
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
    Fail("Could not find input stream matching output stream " + StreamLabel(fileIndex, ost.Index), fileIndex);
  ost.SourceIndex = found;
  FInputStreams[static_cast<size_t>(found)]->Discard = 0;
  ost.SyncSource = FInputStreams[static_cast<size_t>(found)].get();
}

void TTranscoder::PrepareStream(TOutputStreamState &ost) {
  TInputStreamState &ist = *FInputStreams[static_cast<size_t>(ost.SourceIndex)];
  // A track's language and title tell it apart from the others.
  for (const char *key : {"language", "title"})
    if (const AVDictionaryEntry *tag = AVUtil.av_dict_get(ist.Stream->metadata, key, nullptr, 0))
      if (!AVUtil.av_dict_get(ost.Stream->metadata, key, nullptr, 0))
        AVUtil.av_dict_set(&ost.Stream->metadata, key, tag->value, 0);
  // MP4 and QuickTime files name a track by its handler, which their players show.
  const std::string_view muxer = OutputContext(ost)->oformat->name;
  const AVDictionaryEntry *title = AVUtil.av_dict_get(ost.Stream->metadata, "title", nullptr, 0);
  if (title && (muxer == "mp4" || muxer == "mov" || muxer == "ipod"))
    AVUtil.av_dict_set(&ost.Stream->metadata, "handler_name", title->value, AV_DICT_DONT_OVERWRITE);
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
    if (FEvents.HasCustomHook())
      Fail("-vcodec copy and CustomHook are incompatible (frames are not decoded)");
    if (S.HooksEnabled)
      Fail("-vcodec copy and -vhook are incompatible (frames are not decoded)");
    // A cover is no picture of the film to preview.
    std::lock_guard preview(PreviewLock());
    if ((FEvents.PreviewFlagBits() & 3) && !(ist.Stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
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

void TTranscoder::LogStreamMapping() {
  if (S.Verbose < 0 || !FEvents.Logging())
    return;
  FEvents.LogLine(1, "Stream mapping:");
  for (const auto &ost : FOutputStreams) {
    const TInputStreamState &ist = *FInputStreams[static_cast<size_t>(ost->SourceIndex)];
    FEvents.LogLine(1, "  Stream " + StreamLabel(ist.FileIndex, ist.StreamIndex) + " -> " +
                           StreamLabel(ost->FileIndex, ost->Index));
    if (ost->SyncSource != &ist)
      FEvents.LogLine(1, " [sync " + StreamLabel(ost->SyncSource->FileIndex, ost->SyncSource->StreamIndex) + "]");
  }
}
