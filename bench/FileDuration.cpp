#include "FileDuration.h"

#include "media/AVFormatStubs.h"

double FileDuration(const std::string &file) {
  AVFormatContext *context = nullptr;
  if (AVFormat.avformat_open_input(&context, file.c_str(), nullptr, nullptr) < 0)
    return -1;
  AVFormat.avformat_find_stream_info(context, nullptr);
  const double seconds = static_cast<double>(context->duration) / AV_TIME_BASE;
  AVFormat.avformat_close_input(&context);
  return seconds;
}
