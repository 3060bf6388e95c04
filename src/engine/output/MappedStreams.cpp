// The output record's mapped streams: each source stream named there gets an output stream of its
// own, after the picture, with its own codec; the other settings of its kind apply to each alike.
// The options stage maps them (MapRecordStreams); these add their streams once the file is open.
#include <cstring>
#include <utility>

#include "engine/FFmpeg.h"
#include "engine/FFmpegException.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"

namespace {

// The name and type an attachment is written under when its source gave none.
std::pair<std::string, std::string> AttachmentNaming(const AVStream &in) {
  const AVCodecID id = in.codecpar->codec_id;
  const AVCodecDescriptor *desc = AVCodecLib.avcodec_descriptor_get(id);
  const std::string mime = desc && desc->mime_types ? desc->mime_types[0] : "application/octet-stream";
  const std::string ext = id == AV_CODEC_ID_MJPEG ? "jpg" : desc ? desc->name : "bin";
  const std::string base = in.codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT ? "attachment" + std::to_string(in.index) : "cover";
  return {base + "." + ext, mime};
}

void SetExtradata(AVCodecParameters &par, const uint8_t *data, int size) {
  par.extradata = static_cast<uint8_t *>(AVUtil.av_mallocz(static_cast<size_t>(size) + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!par.extradata)
    throw FFmpegException("av_malloc fail");
  std::memcpy(par.extradata, data, static_cast<size_t>(size));
  par.extradata_size = size;
}

// An attached picture's bytes are its one packet; a file attached to the source keeps them in its
// parameters already.
void FillAttachment(AVStream &out, const AVStream &in) {
  if (AVUtil.av_dict_copy(&out.metadata, in.metadata, 0) < 0)
    throw FFmpegException("av_malloc fail");
  if (in.codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT) {
    if (AVCodecLib.avcodec_parameters_copy(out.codecpar, in.codecpar) < 0)
      throw FFmpegException("av_malloc fail");
  } else if ((in.disposition & AV_DISPOSITION_ATTACHED_PIC) && in.attached_pic.size > 0) {
    out.codecpar->codec_type = AVMEDIA_TYPE_ATTACHMENT;
    out.codecpar->codec_id = in.codecpar->codec_id;
    SetExtradata(*out.codecpar, in.attached_pic.data, in.attached_pic.size);
  } else {
    throw FFmpegException("stream #" + std::to_string(in.index) + " is neither an attachment nor a cover");
  }
  // The muxer refuses an attachment without them.
  const auto [name, mime] = AttachmentNaming(in);
  AVUtil.av_dict_set(&out.metadata, "filename", name.c_str(), AV_DICT_DONT_OVERWRITE);
  AVUtil.av_dict_set(&out.metadata, "mimetype", mime.c_str(), AV_DICT_DONT_OVERWRITE);
}

} // namespace

bool TCustomFFmpeg::AddMappedStreams(const TOutputOptions &o) {
  try {
    for (const TMappedStream &mapped : o.Streams)
      AddMappedStream(mapped);
  } catch (const FFmpegException &e) {
    FErrorText = std::string("Could not add the file's tracks: ") + e.what();
    return false;
  }
  return true;
}

void TCustomFFmpeg::AddMappedStream(const TMappedStream &mapped) {
  if (FOutputs.Files.empty())
    throw FFmpegException("At least one output file must be specified");
  const int output = static_cast<int>(FOutputs.Files.size()) - 1;
  switch (mapped.Kind) {
  case TMappedKind::Audio:
    SetOption("acodec", mapped.Codec);
    NewAudioStream(output);
    break;
  case TMappedKind::Subtitle:
    SetOption("scodec", mapped.Codec);
    NewSubtitleStream(output);
    break;
  case TMappedKind::Picture:
    SetOption("vcodec", mapped.Codec);
    NewVideoStream(output);
    break;
  case TMappedKind::Attachment:
    AddAttachment(output, mapped.Source);
    break;
  }
}

// Not one of the file's streams the transcode feeds: the muxer writes it whole with the header.
void TCustomFFmpeg::AddAttachment(int output, int source) {
  const AVFormatContext *input = FInputs.Files.empty() ? nullptr : FInputs.Files.back().Context.get();
  if (!input || source < 0 || static_cast<unsigned>(source) >= input->nb_streams)
    throw FFmpegException("Could not find input stream #" + std::to_string(source));
  AVStream *stream = AVFormat.avformat_new_stream(FOutputs.Context(output), nullptr);
  if (!stream)
    throw FFmpegException("Could not alloc stream");
  stream->id = stream->index;
  FillAttachment(*stream, *input->streams[source]);
}
