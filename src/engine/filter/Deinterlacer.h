#pragma once
// The task's deinterlacer: one picture in, one picture out, through the library's deinterlacing
// filter (the "fd" filter of the post-processing library, a line blend without frame delay).
extern "C" {
#include <libavutil/frame.h>
}

#include "engine/LibraryObjects.h"

struct AVFilterContext;

class TDeinterlacer {
public:
  // The picture replaced by its deinterlaced version; false (picture untouched) on failure.
  bool Deinterlace(AVFrame &picture);

private:
  bool Prepare(const AVFrame &picture);

  TFilterGraphPtr FGraph;
  AVFilterContext *FSource = nullptr, *FSink = nullptr;
  int FWidth = 0, FHeight = 0, FFormat = -1;
  TFramePtr FOut;
};
