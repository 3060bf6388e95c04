#include "engine/filter/AudioFilter.h"

#include <cstdio>
#include <memory>

#include "media/AVFilterStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"

namespace {

constexpr AVRational MicrosecondBase{1, 1000000};

struct TInOutFree {
  void operator()(AVFilterInOut *list) const { AVFilterLib.avfilter_inout_free(&list); }
};
using TInOutPtr = std::unique_ptr<AVFilterInOut, TInOutFree>;

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  AVUtil.av_strerror(code, text, sizeof text);
  return text;
}

std::string SourceArgs(const AVFrame &shape) {
  char layout[128] = {};
  if (shape.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC ||
      AVUtil.av_channel_layout_describe(&shape.ch_layout, layout, sizeof layout) < 0)
    std::snprintf(layout, sizeof layout, "%dc", shape.ch_layout.nb_channels);
  const char *format = AVUtil.av_get_sample_fmt_name(static_cast<AVSampleFormat>(shape.format));
  return "time_base=1/1000000:sample_rate=" + std::to_string(shape.sample_rate) + ":sample_fmt=" +
         (format ? format : "s16") + ":channel_layout=" + layout;
}

} // namespace

bool TAudioFilter::Build(const std::string &description, const AVFrame &shape, std::string &error) {
  FGraph.reset(AVFilterLib.avfilter_graph_alloc());
  FIn = FOut = nullptr;
  if (!FGraph)
    return false;
  AVFilterGraph *graph = FGraph.get();
  const AVFilter *source = AVFilterLib.avfilter_get_by_name("abuffer");
  const AVFilter *sink = AVFilterLib.avfilter_get_by_name("abuffersink");
  AVFilterContext *in = nullptr, *out = nullptr;
  int ret = !source || !sink ? AVERROR_FILTER_NOT_FOUND
                             : AVFilterLib.avfilter_graph_create_filter(&in, source, "in", SourceArgs(shape).c_str(),
                                                                        nullptr, graph);
  if (ret >= 0)
    ret = AVFilterLib.avfilter_graph_create_filter(&out, sink, "out", nullptr, nullptr, graph);
  TInOutPtr outputs(AVFilterLib.avfilter_inout_alloc()), inputs(AVFilterLib.avfilter_inout_alloc());
  if (ret >= 0 && outputs && inputs) {
    outputs->name = AVUtil.av_strdup("in");
    outputs->filter_ctx = in;
    inputs->name = AVUtil.av_strdup("out");
    inputs->filter_ctx = out;
    AVFilterInOut *ins = inputs.release(), *outs = outputs.release();
    ret = AVFilterLib.avfilter_graph_parse_ptr(graph, description.c_str(), &ins, &outs, nullptr);
    inputs.reset(ins);
    outputs.reset(outs);
  }
  if (ret >= 0)
    ret = AVFilterLib.avfilter_graph_config(graph, nullptr);
  if (ret < 0) {
    error = "Audio filters \"" + description + "\": " + ErrorText(ret);
    FGraph.reset();
    return false;
  }
  FIn = in;
  FOut = out;
  return true;
}

bool TAudioFilter::Push(const AVFrame *block, int64_t startUs) {
  if (!block)
    return AVFilterLib.av_buffersrc_add_frame_flags(FIn, nullptr, 0) >= 0;
  TFramePtr frame(AVUtil.av_frame_clone(block));
  if (!frame)
    return false;
  frame->pts = startUs;
  return AVFilterLib.av_buffersrc_add_frame_flags(FIn, frame.get(), AV_BUFFERSRC_FLAG_KEEP_REF) >= 0;
}

bool TAudioFilter::Pull(AVFrame &held, int64_t &startUs) {
  AVUtil.av_frame_unref(&held);
  if (!FOut || AVFilterLib.av_buffersink_get_frame(FOut, &held) < 0)
    return false;
  if (held.pts != AV_NOPTS_VALUE)
    startUs = AVUtil.av_rescale_q(held.pts, AVFilterLib.av_buffersink_get_time_base(FOut), MicrosecondBase);
  return true;
}
