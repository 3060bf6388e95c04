#include "engine/filter/VideoFilters.h"

#include <algorithm>
#include <cstdio>

#include "media/AVFilterStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"

namespace {

constexpr AVRational MicrosecondBase{1, 1000000};

std::string Format(const char *format, auto... args) {
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

struct TInOutFree {
  void operator()(AVFilterInOut *list) const { AVFilterLib.avfilter_inout_free(&list); }
};
using TInOutPtr = std::unique_ptr<AVFilterInOut, TInOutFree>;

AVFilterContext *AddFilter(AVFilterGraph *graph, const char *filter, const char *name,
                           const std::string &args) {
  AVFilterContext *context = nullptr;
  const AVFilter *definition = AVFilterLib.avfilter_get_by_name(filter);
  if (!definition ||
      AVFilterLib.avfilter_graph_create_filter(&context, definition, name,
                                               args.empty() ? nullptr : args.c_str(), nullptr, graph) < 0)
    return nullptr;
  return context;
}

// The graph's source (the decoded picture) and sink (the encoder's pixel format).
bool AddEnds(TVideoFilter &filter, int width, int height, AVPixelFormat format, AVRational aspect,
             AVPixelFormat encoderFormat) {
  AVFilterGraph *graph = filter.Graph.get();
  filter.FilterIn =
      AddFilter(graph, "buffer", "src",
                Format("video_size=%dx%d:pix_fmt=%d:time_base=1/1000000:pixel_aspect=%d/%d", width, height,
                       format, aspect.num > 0 ? aspect.num : 0, aspect.den > 0 ? aspect.den : 1));
  const AVFilter *sinkDefinition = AVFilterLib.avfilter_get_by_name("buffersink");
  filter.FilterOut =
      sinkDefinition ? AVFilterLib.avfilter_graph_alloc_filter(graph, sinkDefinition, "out") : nullptr;
  if (!filter.FilterIn || !filter.FilterOut)
    return false;
  const AVPixelFormat formats[] = {encoderFormat, AV_PIX_FMT_NONE};
  return AVOptSetIntList(filter.FilterOut, "pix_fmts", formats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN) >=
             0 &&
         AVFilterLib.avfilter_init_str(filter.FilterOut, nullptr) >= 0;
}

// The display turn's steps ("name=args,..."), linked after last; a transpose swaps the size.
// The last step, or null when one fails.
AVFilterContext *AddTurn(AVFilterGraph *graph, AVFilterContext *last, const std::string &turn, int &width,
                         int &height) {
  int turned = 0;
  for (size_t start = 0; start < turn.size();) {
    const size_t end = std::min(turn.find(',', start), turn.size());
    const std::string step = turn.substr(start, end - start);
    const size_t equals = step.find('=');
    const std::string name = step.substr(0, equals);
    AVFilterContext *next = AddFilter(graph, name.c_str(), ("turn" + std::to_string(turned++)).c_str(),
                                      equals == std::string::npos ? "" : step.substr(equals + 1));
    if (!next || AVFilterLib.avfilter_link(last, 0, next, 0) < 0)
      return nullptr;
    last = next;
    if (name == "transpose")
      std::swap(width, height);
    start = end + 1;
  }
  return last;
}

// The user's filter description between last and the sink.
bool LinkUserFilters(AVFilterGraph *graph, AVFilterContext *last, AVFilterContext *sink,
                     const std::string &filters) {
  TInOutPtr outputs(AVFilterLib.avfilter_inout_alloc()), inputs(AVFilterLib.avfilter_inout_alloc());
  if (!outputs || !inputs)
    return false;
  outputs->name = AVUtil.av_strdup("in");
  outputs->filter_ctx = last;
  inputs->name = AVUtil.av_strdup("out");
  inputs->filter_ctx = sink;
  AVFilterInOut *in = inputs.release(), *out = outputs.release();
  const int parsed = AVFilterLib.avfilter_graph_parse_ptr(graph, filters.c_str(), &in, &out, nullptr);
  inputs.reset(in);
  outputs.reset(out);
  return parsed >= 0;
}

// From the source through the turn, a scale to the encoder's size less the padding when the
// sizes differ, and the user's filters, to the sink.
bool LinkChain(TVideoFilter &filter, int width, int height, const std::string &turn,
               const AVCodecContext &enc, const TTaskSettings &S) {
  AVFilterGraph *graph = filter.Graph.get();
  const int padWidth = S.FramePadLeft + S.FramePadRight, padHeight = S.FramePadTop + S.FramePadBottom;
  AVFilterContext *last = AddTurn(graph, filter.FilterIn, turn, width, height);
  if (!last)
    return false;
  if (width + padWidth != enc.width || height + padHeight != enc.height) {
    AVFilterContext *scale =
        AddFilter(graph, "scale", "scale",
                  Format("%d:%d:flags=%d", enc.width - padWidth, enc.height - padHeight, S.SwsFlags));
    if (!scale || AVFilterLib.avfilter_link(last, 0, scale, 0) < 0)
      return false;
    last = scale;
  }
  if (!S.VFilters.empty())
    return LinkUserFilters(graph, last, filter.FilterOut, S.VFilters);
  return AVFilterLib.avfilter_link(last, 0, filter.FilterOut, 0) >= 0;
}

} // namespace

int ConfigureFilters(TVideoFilter &filter, int width, int height, AVPixelFormat format, AVRational aspect,
                     const std::string &turn, AVCodecContext *enc, const TTaskSettings &S,
                     std::string &errorText) {
  if (S.FrameTopBand || S.FrameBottomBand || S.FrameLeftBand || S.FrameRightBand) {
    errorText = "Cannot enable crop options and filters at the same time.";
    return -1;
  }
  filter = TVideoFilter{};
  filter.Graph.reset(AVFilterLib.avfilter_graph_alloc());
  AVFilterGraph *graph = filter.Graph.get();
  if (!graph)
    return -1;
  graph->nb_threads = S.ThreadCount;
  if (!AddEnds(filter, width, height, format, aspect, enc->pix_fmt))
    return -1;
  filter.InWidth = width;
  filter.InHeight = height;
  filter.InFormat = format;
  if (!LinkChain(filter, width, height, turn, *enc, S))
    return -1;
  graph->scale_sws_opts = AVUtil.av_strdup(Format("flags=%d", S.SwsFlags).c_str());
  if (AVFilterLib.avfilter_graph_config(graph, nullptr) < 0)
    return -1;

  const int padWidth = S.FramePadLeft + S.FramePadRight, padHeight = S.FramePadTop + S.FramePadBottom;
  const int outWidth = AVFilterLib.av_buffersink_get_w(filter.FilterOut);
  const int outHeight = AVFilterLib.av_buffersink_get_h(filter.FilterOut);
  if (padWidth + padHeight == 0 || (outWidth == S.FrameWidth && outHeight == S.FrameHeight)) {
    enc->width = outWidth + padWidth;
    enc->height = outHeight + padHeight;
    return 0;
  }
  errorText = "Cannot enable pad options and the filters which resize frame at the same time. (crop, rotate, "
              "scale, transpose, etc.)";
  return -1;
}

void EndFilterInput(TVideoFilter &filter) {
  // A graph that refuses the end still gives what it holds.
  if (filter.FilterIn && AVFilterLib.av_buffersrc_add_frame_flags(filter.FilterIn, nullptr, 0) < 0)
    return;
}

bool AddFilterPicture(TVideoFilter &filter, const AVFrame &picture, int64_t pts) {
  TFramePtr frame(AVUtil.av_frame_clone(&picture));
  if (!frame)
    return false;
  frame->pts = pts;
  // The graph keeps its own reference; ours goes with the frame.
  return AVFilterLib.av_buffersrc_add_frame_flags(filter.FilterIn, frame.get(), AV_BUFFERSRC_FLAG_KEEP_REF) >=
         0;
}

int TakeFilteredPicture(TVideoFilter &filter, AVFrame &held, int64_t &pts) {
  AVUtil.av_frame_unref(&held);
  if (!filter.FilterOut || AVFilterLib.av_buffersink_get_frame(filter.FilterOut, &held) < 0)
    return -1;
  pts = AVUtil.av_rescale_q(held.pts, AVFilterLib.av_buffersink_get_time_base(filter.FilterOut),
                            MicrosecondBase);
  return 1;
}
