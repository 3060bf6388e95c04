#include "media/AVChapters.h"

#include "media/AVUtilStubs.h"

AVChapter *AddChapter(AVFormatContext *context, int64_t id, AVRational timeBase, int64_t start, int64_t end) {
  const size_t count = context->nb_chapters;
  auto *list = static_cast<AVChapter **>(AVUtil.av_realloc(context->chapters, (count + 1) * sizeof(AVChapter *)));
  if (!list)
    return nullptr;
  context->chapters = list;
  auto *chapter = static_cast<AVChapter *>(AVUtil.av_mallocz(sizeof(AVChapter)));
  if (!chapter)
    return nullptr;
  chapter->id = id;
  chapter->time_base = timeBase;
  chapter->start = start;
  chapter->end = end;
  list[count] = chapter;
  context->nb_chapters = static_cast<unsigned>(count + 1);
  return chapter;
}
