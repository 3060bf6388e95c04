#include "engine/encode/VideoStats.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "engine/FFmpegException.h"
#include "engine/filter/VideoOut.h"
#include "media/AVUtilStubs.h"

void TVideoStats::Write(const TVideoOut &out, const AVCodecContext *enc, int frameSize, int64_t videoBytes) {
  if (!FFile) {
    FFile.reset(std::fopen(FFileName.c_str(), "w"));
    if (!FFile)
      throw FFmpegException("fopen fail: " + FFileName);
  }
  std::FILE *file = FFile.get();
  std::fprintf(file, "frame= %5d q= %2.1f ", out.FrameCount, static_cast<double>(out.LastQuality) / FF_QP2LAMBDA);
  if (enc->flags & AV_CODEC_FLAG_PSNR)
    std::fprintf(file, "PSNR= %6.2f ",
                 -10.0 * std::log10(static_cast<double>(out.LastError[0]) /
                                    (static_cast<double>(enc->width) * enc->height * 255.0 * 255.0)));
  std::fprintf(file, "f_size= %6d ", frameSize);
  const double tb = av_q2d(enc->time_base);
  const double ti = std::max(static_cast<double>(out.SyncPosition) * tb, 0.01);
  const double bitrate = frameSize * 8 / tb / 1000.0;
  const double average = static_cast<double>(videoBytes) * 8 / ti / 1000.0;
  std::fprintf(file, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
               static_cast<double>(videoBytes) / 1024, ti, bitrate, average);
  std::fprintf(file, "type= %c\n", AVUtil.av_get_picture_type_char(static_cast<AVPictureType>(out.LastPictureType)));
}
