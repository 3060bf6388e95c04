// Before the first packet: bitstream filters, metadata, and the headers of the outputs.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/FFmpegException.h"
#include "engine/filter/DisplayTurn.h"
#include "engine/transcode/Transcoder.h"
#include "media/AVChapters.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

void TBsfFree::operator()(AVBSFContext *context) const { AVCodecLib.av_bsf_free(&context); }

void TTranscoder::CopyMetaData() {
  const int outputs = static_cast<int>(FOutputs.Files.size());
  const int inputs = static_cast<int>(FFiles.size());
  for (const TMetaDataMap &map : S.MetaDataMaps) {
    const std::string pair = "(" + std::to_string(map.OutFile) + "," + std::to_string(map.InFile) + ")";
    if (map.OutFile < 0 || map.OutFile >= outputs)
      Fail("Invalid output file index " + std::to_string(map.OutFile) + " map_meta_data" + pair);
    if (map.InFile < 0 || map.InFile >= inputs)
      Fail("Invalid input file index " + std::to_string(map.InFile) + " map_meta_data" + pair);
    AVFormatContext *out = FOutputs.Files[static_cast<size_t>(map.OutFile)].Context.get();
    // Tags the options set (title, timestamp) are the user's choice and win over the source's.
    const AVDictionaryEntry *tag = nullptr;
    while ((tag = AVUtil.av_dict_get(InputContext(map.InFile)->metadata, "", tag, AV_DICT_IGNORE_SUFFIX)))
      AVUtil.av_dict_set(&out->metadata, tag->key, tag->value, AV_DICT_DONT_OVERWRITE);
  }
}

void TTranscoder::CopyChapters() {
  if (!S.CopyChapters || FInputs.Files.empty())
    return;
  // On the output's clock: shifted by the input's offset (its start and the trim), cut at the
  // recording time.
  const TOpenedInput &input = FInputs.Files.front();
  const AVFormatContext *in = input.Context.get();
  const int64_t limit = S.RecordingTime;
  for (TOutputFile &file : FOutputs.Files) {
    for (unsigned i = 0; i < in->nb_chapters; ++i) {
      const AVChapter *chapter = in->chapters[i];
      const int64_t start = std::max<int64_t>(AVUtil.av_rescale_q(chapter->start, chapter->time_base, AV_TIME_BASE_Q) + input.TsOffset, 0);
      const int64_t end = std::min(AVUtil.av_rescale_q(chapter->end, chapter->time_base, AV_TIME_BASE_Q) + input.TsOffset, limit);
      if (end <= start)
        continue;
      AVChapter *copy = AddChapter(file.Context.get(), chapter->id, AVRational{1, 1000}, start / 1000, end / 1000);
      if (!copy || AVUtil.av_dict_copy(&copy->metadata, chapter->metadata, 0) < 0)
        throw FFmpegException("av_malloc fail");
    }
  }
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

void TTranscoder::WriteHeaders() {
  bool allRtp = true;
  std::vector<AVFormatContext *> contexts;
  for (size_t k = 0; k < FOutputs.Files.size(); ++k) {
    AVFormatContext *context = FOutputs.Files[k].Context.get();
    if (AVFormat.avformat_write_header(context, nullptr) < 0)
      Fail("Could not write header for output file #" + std::to_string(k) + " (incorrect codec parameters ?)");
    allRtp = allRtp && std::strcmp(context->oformat->name, "rtp") == 0;
    contexts.push_back(context);
  }
  if (allRtp && FEvents.Logging()) {
    char sdp[2048] = {};
    AVFormat.av_sdp_create(contexts.data(), static_cast<int>(contexts.size()), sdp, sizeof sdp);
    std::string text(sdp);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
      text.pop_back();
    size_t start = 0;
    while (start < text.size() && static_cast<unsigned char>(text[start]) <= ' ')
      ++start;
    FEvents.LogLine(1, "SDP: " + text.substr(start));
  }
}
