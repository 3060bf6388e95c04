#include "engine/output/OutputSet.h"

extern "C" {
#include <libavformat/avformat.h>
}

std::vector<std::string> TOutputSet::WrittenFiles() const {
  std::vector<std::string> written;
  for (const TOutputFile &file : Files) {
    const AVFormatContext *context = file.Context.get();
    if (context->pb && !(context->oformat->flags & AVFMT_NOFILE) && context->url)
      written.emplace_back(context->url);
  }
  return written;
}
