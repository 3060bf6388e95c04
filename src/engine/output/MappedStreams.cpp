// The output record's mapped streams: each source stream named there gets an output stream of its
// own, after the picture, with its own codec; the other settings of its kind apply to each alike.
// The options stage maps them (MapRecordStreams); these add their streams once the file is open.
#include "engine/FFmpeg.h"
#include "engine/FFmpegException.h"

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
  }
}
