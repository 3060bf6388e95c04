// What a transcode tells while it runs: the progress report and the preview of encoded pictures.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "engine/FFmpegException.h"
#include "engine/transcode/Transcoder.h"
#include "media/AVCodecStubs.h"
#include "media/AVFilterStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

void TTranscoder::Report(bool isLast) {
  TReportInput input;
  for (const auto &ost : FOutputStreams) {
    TReportStream stream;
    stream.Video = ost->Encoder->codec_type == AVMEDIA_TYPE_VIDEO;
    stream.Copy = !ost->EncodingNeeded;
    stream.FrameCount = ost->FrameCount;
    stream.Encoder = ost->Encoder;
    if (ost->VideoPath) {
      stream.Quality = ost->VideoPath->LastQuality;
      std::copy_n(ost->VideoPath->LastError, 3, stream.Error.begin());
      input.DupFrames += ost->VideoPath->DupFrames;
      input.DropFrames += ost->VideoPath->DropFrames;
    }
    if (ost->MuxEnd != AV_NOPTS_VALUE)
      stream.Time = static_cast<double>(ost->MuxEnd) * av_q2d(ost->Stream->time_base);
    input.Streams.push_back(stream);
  }
  if (AVIOContext *pb = FOutputs.Files.front().Context->pb) {
    input.Size = AVFormat.avio_size(pb);
    if (input.Size < 0)
      input.Size = AVIOTell(pb);
  }
  if (AVIOContext *pb = InputContext(0)->pb) {
    const int64_t size = AVFormat.avio_size(pb);
    if (size > 0)
      FEvents.InputRead(static_cast<int>(std::clamp<int64_t>(AVIOTell(pb) * 1000 / size, 0, 1000)));
  }
  input.ElapsedUs = AVUtil.av_gettime() - FTimerStart;
  input.VideoBytes = FVideoBytes;
  input.AudioBytes = FAudioBytes;
  input.HeaderBytes = FHeaderBytes;
  input.Verbose = S.Verbose;
  input.QpHist = S.QpHist;
  input.TotalDurationMs = FTimes.TotalDurationMs;
  TProgressReport::TProgress progress;
  if (FEvents.TakesProgress())
    progress = [this](const TProgressFigures &f) { FEvents.Progress(f); };
  FProgress.Report(input, isLast, progress,
                   [this](int level, const std::string &text) { FEvents.LogLine(level, text); });
}

void TTranscoder::PreviewPicture(const AVFrame &picture, int64_t pts) {
  std::unique_lock lock(PreviewLock());
  const uint8_t flags = FEvents.PreviewFlagBits();
  uint8_t cleared = 0;
  const int64_t now = AVUtil.av_gettime();
  if (!(flags & 3) || now - FLastPreview <= FTimes.PreviewIntervalUs)
    return;
  FLastPreview = now;
  const bool converted = PictureToBitmap(FPreviewConverter, picture.data, picture.linesize,
                                         static_cast<AVPixelFormat>(picture.format), picture.width, picture.height);
  if (!converted)
    FEvents.LogLine(0, "Cannot initialize the toRGB conversion context");
  if ((flags & 2) && FEvents.TakesPreviewBitmaps()) {
    if (converted) {
      // The main thread may wait for the lock in a setter while this thread waits for it.
      lock.unlock();
      FEvents.PreviewBitmap(FPreviewConverter.Bitmap(), FHooks.HookFrameNumber, pts);
      return;
    }
    cleared = 2;
  } else if (flags & 1) {
    bool shown = false;
    if (converted) {
      if (!FPreviewer)
        FPreviewer = std::make_unique<TPreviewer>(
            [this](const std::function<void()> &fn) { return FEvents.CallOnMainThread(fn); });
      lock.unlock(); // only this thread frees the previewer
      shown = FPreviewer->Show(*FPreviewConverter.Bitmap(), pts);
      lock.lock();
    }
    if (!shown)
      cleared = 1;
  }
  FEvents.PreviewFlagBits() &= static_cast<uint8_t>(~cleared);
  if ((cleared & 1) && FPreviewer) {
    std::unique_ptr<TPreviewer> previewer = std::move(FPreviewer);
    lock.unlock();
    previewer.reset(); // frees its window on the main thread
  }
}
