#pragma once
// The video filter graph of the vfilters setting: the "buffer" source, the scaling the encoder's
// size needs, the user's description, and a sink limited to the encoder's pixel format.
#include <cstdint>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "engine/LibraryObjects.h"
#include "engine/options/TaskSettings.h"

struct AVFilterContext;

struct TVideoFilter {
  TFilterGraphPtr Graph;
  AVFilterContext *FilterIn = nullptr;  // the source; owned by the graph
  AVFilterContext *FilterOut = nullptr; // the sink
  // The pictures the graph was built for.
  int InWidth = 0, InHeight = 0;
  AVPixelFormat InFormat = AV_PIX_FMT_NONE;
};

// Builds the graph for pictures of the given size, format and aspect (the decoder's) into the
// encoder's format: first the turn that makes them upright (a filter chain such as
// "transpose=clock", or empty), then the scaling, then the vfilters description. Sets the
// encoder's size from the graph's output plus the pad settings. 0, or -1 with errorText set (or
// left empty when the library refused).
int ConfigureFilters(TVideoFilter &filter, int width, int height, AVPixelFormat format, AVRational aspect,
                     const std::string &turn, AVCodecContext *enc, const TTaskSettings &settings,
                     std::string &errorText);

// Tells the graph the input has ended, so that it gives up the pictures it holds.
void EndFilterInput(TVideoFilter &filter);

// Hands a picture at pts (microseconds) to the graph; false when the graph refused it.
bool AddFilterPicture(TVideoFilter &filter, const AVFrame &picture, int64_t pts);

// The next filtered picture into held, and its pts (microseconds): 1, or -1 when none is ready.
int TakeFilteredPicture(TVideoFilter &filter, AVFrame &held, int64_t &pts);
