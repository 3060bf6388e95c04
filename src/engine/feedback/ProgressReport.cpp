#include "engine/feedback/ProgressReport.h"

#include <cmath>
#include <cstdio>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/avutil.h>
}

namespace {

template <typename... A> void Append(std::string &line, const char *format, A... args) {
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  line += text;
}

double Psnr(double error) {
  return -10.0 * std::log10(error);
}

} // namespace

void TProgressReport::Report(const TReportInput &input, bool isLast, const TProgress &progress,
                             const TLogger &log) {
  TVideoFigures video;
  double time = 1e10;
  bool vid = false;
  FLine.clear();
  for (const TReportStream &stream : input.Streams) {
    const float quality = stream.Copy ? -1.0f : static_cast<float>(stream.Quality) / FF_QP2LAMBDA;
    if (stream.Video && vid) {
      Append(FLine, "q=%2.1f ", quality);
    } else if (stream.Video) {
      if (stream.FrameCount < 1)
        return; // nothing until the first video frame, not even the summary
      video = AppendFirstVideo(stream, quality, input, isLast);
      vid = true;
    }
    if (stream.Time > 0 && stream.Time < time)
      time = stream.Time;
  }
  if (time < 0.01)
    time = 0.01;
  if (progress || input.Verbose > 0 || isLast)
    ReportTotals(input, video, time, progress, log);
  if (isLast && input.Verbose >= 0 && log)
    LogSummary(input, log);
}

TProgressReport::TVideoFigures TProgressReport::AppendFirstVideo(const TReportStream &stream, float quality,
                                                                 const TReportInput &input, bool isLast) {
  const float elapsed = static_cast<float>(input.ElapsedUs) / 1000000.0f;
  const int frame = stream.FrameCount;
  const int fps = elapsed > 1.0f ? static_cast<int>(frame / elapsed + 0.5f) : 0;
  Append(FLine, "frame=%5d fps=%3d q=%3.1f ", frame, fps, quality);
  if (isLast)
    FLine += "L";
  if (input.QpHist) {
    const long index = std::lround(quality);
    if (index >= 0 && index < 52)
      FQpHistogram[static_cast<size_t>(index)] += 1;
    for (int j = 0; j < 32; ++j)
      Append(FLine, "%X", static_cast<int>(std::lround(std::log2(FQpHistogram[static_cast<size_t>(j)] + 1))));
  }
  const AVCodecContext *enc = stream.Encoder;
  if (enc && (enc->flags & AV_CODEC_FLAG_PSNR) && enc->width > 0 && enc->height > 0)
    AppendPsnr(stream, isLast);
  return {frame, fps, quality};
}

void TProgressReport::AppendPsnr(const TReportStream &stream, bool isLast) {
  const AVCodecContext *enc = stream.Encoder;
  FLine += "PSNR=";
  double errorSum = 0, scaleSum = 0;
  for (int j = 0; j < 3; ++j) {
    const double error = isLast ? static_cast<double>(enc->error[j]) : static_cast<double>(stream.Error[j]);
    double scale = static_cast<double>(enc->width) * enc->height * 255.0 * 255.0;
    if (isLast)
      scale *= stream.FrameCount;
    if (j)
      scale /= 4;
    errorSum += error;
    scaleSum += scale;
    Append(FLine, "%c:%2.2f ", "YUV"[j], Psnr(error / scale));
  }
  Append(FLine, "*:%2.2f ", Psnr(errorSum / scaleSum));
}

void TProgressReport::ReportTotals(const TReportInput &input, const TVideoFigures &video, double time,
                                   const TProgress &progress, const TLogger &log) {
  const double bitrate = static_cast<double>(input.Size) * 8 / time / 1000;
  Append(FLine, "size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", static_cast<double>(input.Size) / 1024, time,
         bitrate);
  if (input.Verbose > 1)
    Append(FLine, " dup=%d drop=%d", input.DupFrames, input.DropFrames);
  if (progress) {
    // A time of 1e10 s keeps the low 32 bits of its milliseconds, as the figure always did.
    const auto ms = static_cast<int>(static_cast<uint32_t>(static_cast<int64_t>(time * 1000)));
    progress({video.Frame, video.Fps, ms, video.Quality, static_cast<float>(bitrate), input.Size,
              input.TotalDurationMs});
  } else if (input.Verbose >= 0 && log) {
    log(1, FLine);
  }
}

void TProgressReport::LogSummary(const TReportInput &input, const TLogger &log) {
  const int64_t raw = input.VideoBytes + input.AudioBytes + input.HeaderBytes;
  // Nothing written: no overhead to speak of.
  const double overhead =
      raw > 0 ? static_cast<double>(input.Size - raw) * 100.0 / static_cast<double>(raw) : 0.0;
  char text[256];
  std::snprintf(text, sizeof text,
                "video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
                static_cast<double>(input.VideoBytes) / 1024, static_cast<double>(input.AudioBytes) / 1024,
                static_cast<double>(input.HeaderBytes) / 1024, overhead);
  log(1, text);
}
