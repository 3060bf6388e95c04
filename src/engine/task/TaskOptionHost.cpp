// The task's side its options reach: the files opened so far.
#include "engine/FFmpeg.h"

#include "media/AVFormatStubs.h"

std::vector<AVRational> TCustomFFmpeg::InputVideoFrameRates() const {
  std::vector<AVRational> rates;
  for (const TOpenedInput &file : FInputs.Files)
    for (unsigned i = 0; i < file.Context->nb_streams; ++i) {
      const AVStream *st = file.Context->streams[i];
      if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
        rates.push_back(st->avg_frame_rate);
    }
  return rates;
}

void TCustomFFmpeg::NewStream(AVMediaType type, int output) {
  if (type == AVMEDIA_TYPE_VIDEO)
    NewVideoStream(output);
  else if (type == AVMEDIA_TYPE_AUDIO)
    NewAudioStream(output);
  else
    NewSubtitleStream(output);
}
