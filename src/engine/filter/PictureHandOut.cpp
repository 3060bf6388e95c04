// Decoded pictures on their way to the video outputs: burned subtitles, frame hooks and
// deinterlacing, then the video filter graph.
#include <memory>

#include "engine/FFmpegException.h"
#include "engine/transcode/Transcoder.h"
#include "media/AVCodecStubs.h"
#include "media/AVFilterStubs.h"
#include "media/AVUtilStubs.h"

void TTranscoder::PrepareHooks() {
  FHooks.Log = [this](int level, const std::string &text) { FEvents.LogLine(level, text); };
  FHooks.Deinterlace = S.DoDeinterlace;
  FHooks.Ranges = FConfig.HookRanges;
  FHooks.HooksEnabled = S.HooksEnabled;
  for (const auto &words : FConfig.VideoHooks) {
    if (FHooks.Chain.Add(words, [this](const std::string &text) { FEvents.LogLine(0, text); }) != 0) {
      std::string value;
      for (const std::string &word : words)
        value += (value.empty() ? "" : " ") + word;
      throw FFmpegException("Failed to add video hook function: " + value);
    }
  }
  if (FEvents.HasCustomHook())
    FHooks.CustomHook = [this](TBitmap &bitmap, int frameNumber, int64_t pts, bool &update, bool &stop) {
      FEvents.CustomHook(&bitmap, frameNumber, pts, update, stop);
    };
  if (FEvents.HasBeforeHook())
    FHooks.BeforeHook = [this](int64_t pts, THookAction &action) { FEvents.BeforeHook(pts, action); };
}

void TTranscoder::PrepareOverlay() {
  const TStreamRef &burn = S.BurnSubtitle;
  if (burn.File < 0)
    return;
  const std::string label = StreamLabel(burn.File, burn.Stream);
  if (burn.File >= static_cast<int>(FFiles.size()) || burn.Stream < 0 ||
      burn.Stream >= FFiles[static_cast<size_t>(burn.File)].StreamCount)
    Fail("Could not find input stream " + label);
  const int source = FFiles[static_cast<size_t>(burn.File)].FirstStream + burn.Stream;
  TInputStreamState &ist = *FInputStreams[static_cast<size_t>(source)];
  const AVCodecDescriptor *codec = AVCodecLib.avcodec_descriptor_get(ist.Stream->codecpar->codec_id);
  if (ist.Stream->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE || !ist.Decoder || !codec ||
      !(codec->props & AV_CODEC_PROP_BITMAP_SUB))
    Fail("Input stream " + label + " holds no picture subtitles to draw");
  for (const auto &ost : FOutputStreams) {
    if (ost->Encoder->codec_type != AVMEDIA_TYPE_VIDEO)
      continue;
    if (!ost->EncodingNeeded)
      Fail("-vcodec copy and sburn are incompatible (frames are not decoded)");
    if (FOverlayTarget < 0)
      FOverlayTarget = ost->SourceIndex;
  }
  // Without a picture there is nothing to draw on.
  if (FOverlayTarget < 0)
    return;
  FOverlaySource = source;
  FOverlay = std::make_unique<TSubtitleOverlay>();
  ist.Discard = 0;
  ist.DecodingNeeded = 1;
  ist.Stream->discard = AVDISCARD_DEFAULT;
}

void TTranscoder::ConfigureFilterGraph(TOutputStreamState &ost, TInputStreamState &ist, int width, int height,
                                       AVPixelFormat format) {
  std::string error;
  if (ConfigureFilters(ist.Filter, width, height, format, ist.Decoder->sample_aspect_ratio, ist.Turn, ost.Encoder, S,
                       error) != 0)
    Fail(error.empty() ? "Error opening filters!" : "Error opening filters: " + error);
  // The user's graph may change the pixel shape (setsar, scale): the encoder and the muxer
  // describe what comes out of it. A turn alone leaves the shape chosen for the upright picture.
  const AVRational aspect = AVFilterLib.av_buffersink_get_sample_aspect_ratio(ist.Filter.FilterOut);
  if (aspect.num != 0 && FConfig.FiltersEnabled)
    ost.Encoder->sample_aspect_ratio = ost.Stream->sample_aspect_ratio = aspect;
  if (!ist.FilterPicture)
    ist.FilterPicture = NewFrame();
}

void TTranscoder::DrainFilterGraph(int istIndex) {
  TInputStreamState &ist = *FInputStreams[static_cast<size_t>(istIndex)];
  if (!ist.Filter.FilterIn)
    return;
  EndFilterInput(ist.Filter);
  while (TakeFilteredPicture(ist.Filter, *ist.FilterPicture, ist.Pts) == 1) {
    HandOutToOutputs(istIndex, ist.FilterPicture.get());
    AVUtil.av_frame_unref(ist.FilterPicture.get());
  }
}

void TTranscoder::HandOut(int istIndex, AVFrame *frame) {
  TInputStreamState &ist = *FInputStreams[static_cast<size_t>(istIndex)];
  if (ist.Decoder->codec_type != AVMEDIA_TYPE_VIDEO) {
    if (S.AudioVolume != 256)
      ApplyVolume(*frame, S.AudioVolume);
    HandOutToOutputs(istIndex, frame);
    return;
  }
  if (istIndex == FOverlayTarget)
    FOverlay->Draw(*frame, ist.Pts);
  FHooks.PreProcessVideo(*frame, ist.Pts);
  if (!ist.Filter.FilterIn) {
    HandOutToOutputs(istIndex, frame);
    return;
  }
  if (frame->width != ist.Filter.InWidth || frame->height != ist.Filter.InHeight ||
      frame->format != ist.Filter.InFormat) {
    // The graph was built for pictures of another size: it gives up what it holds and is built
    // anew. The encoder is open already; its size stays, whatever the new graph puts out.
    const int64_t pts = ist.Pts;
    DrainFilterGraph(istIndex);
    ist.Pts = pts;
    for (auto &ost : FOutputStreams)
      if (ost->SourceIndex == istIndex && ost->EncodingNeeded) {
        const int encWidth = ost->Encoder->width, encHeight = ost->Encoder->height;
        ConfigureFilterGraph(*ost, ist, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format));
        ost->Encoder->width = encWidth;
        ost->Encoder->height = encHeight;
        break;
      }
  }
  if (!AddFilterPicture(ist.Filter, *frame, ist.Pts))
    return;
  while (TakeFilteredPicture(ist.Filter, *ist.FilterPicture, ist.Pts) == 1) {
    HandOutToOutputs(istIndex, ist.FilterPicture.get());
    AVUtil.av_frame_unref(ist.FilterPicture.get());
  }
}
