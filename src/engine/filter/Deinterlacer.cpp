#include "engine/filter/Deinterlacer.h"

#include <cstdio>

#include "media/AVFilterStubs.h"
#include "media/AVUtilStubs.h"

bool TDeinterlacer::Prepare(const AVFrame &picture) {
  if (FGraph && picture.width == FWidth && picture.height == FHeight && picture.format == FFormat)
    return true;
  FGraph.reset(AVFilterLib.avfilter_graph_alloc());
  FSource = FSink = nullptr;
  FWidth = picture.width;
  FHeight = picture.height;
  FFormat = picture.format;
  if (!FGraph)
    return false;
  char args[128];
  std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/1000000:pixel_aspect=1/1", FWidth,
                FHeight, FFormat);
  AVFilterContext *pp = nullptr;
  const AVFilter *buffer = AVFilterLib.avfilter_get_by_name("buffer");
  const AVFilter *sink = AVFilterLib.avfilter_get_by_name("buffersink");
  const AVFilter *postProcess = AVFilterLib.avfilter_get_by_name("pp");
  bool ok = buffer && sink && postProcess &&
            AVFilterLib.avfilter_graph_create_filter(&FSource, buffer, "in", args, nullptr, FGraph.get()) >= 0 &&
            AVFilterLib.avfilter_graph_create_filter(&pp, postProcess, "deinterlace", "fd", nullptr, FGraph.get()) >= 0 &&
            AVFilterLib.avfilter_graph_create_filter(&FSink, sink, "out", nullptr, nullptr, FGraph.get()) >= 0 &&
            AVFilterLib.avfilter_link(FSource, 0, pp, 0) >= 0 && AVFilterLib.avfilter_link(pp, 0, FSink, 0) >= 0 &&
            AVFilterLib.avfilter_graph_config(FGraph.get(), nullptr) >= 0;
  if (!ok)
    FGraph.reset();
  return ok;
}

bool TDeinterlacer::Deinterlace(AVFrame &picture) {
  if (!Prepare(picture))
    return false;
  if (!FOut)
    FOut = NewFrame();
  const int64_t pts = picture.pts;
  if (AVFilterLib.av_buffersrc_add_frame_flags(FSource, &picture, AV_BUFFERSRC_FLAG_KEEP_REF) < 0 ||
      AVFilterLib.av_buffersink_get_frame(FSink, FOut.get()) < 0) {
    FGraph.reset(); // a graph that failed once is rebuilt for the next picture
    return false;
  }
  AVUtil.av_frame_copy_props(FOut.get(), &picture);
  FOut->pts = pts;
  AVUtil.av_frame_unref(&picture);
  AVUtil.av_frame_move_ref(&picture, FOut.get());
  return true;
}
