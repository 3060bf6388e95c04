#include "engine/LibraryObjects.h"

#include <filesystem>
#include <system_error>

#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/SwScaleStubs.h"

void TCodecContextFree::operator()(AVCodecContext *context) const { AVCodecLib.avcodec_free_context(&context); }

void TFormatContextFree::operator()(AVFormatContext *context) const { AVFormat.avformat_free_context(context); }

void TInputContextClose::operator()(AVFormatContext *context) const { AVFormat.avformat_close_input(&context); }

void TOutputContextClose::operator()(AVFormatContext *context) const {
  if (context->pb && !(context->oformat->flags & AVFMT_NOFILE)) {
    AVFormat.avio_closep(&context->pb);
    // An output that received nothing is not left behind as an empty file.
    std::error_code ec;
    if (context->url && std::filesystem::is_regular_file(context->url, ec) &&
        std::filesystem::file_size(context->url, ec) == 0)
      std::filesystem::remove(context->url, ec);
  }
  AVFormat.avformat_free_context(context);
}

void TScalerFree::operator()(SwsContext *context) const { SwScale.sws_freeContext(context); }

void TAVFree::operator()(void *block) const { AVUtil.av_free(block); }
