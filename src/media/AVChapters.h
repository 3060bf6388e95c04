#pragma once
// Chapters of a file being written: the libraries read them from the context and free them with it,
// but offer no public call that adds one.
#include <cstdint>

#include "media/AVFormatStubs.h"

// Appends a chapter from start to end (in timeBase) to the context; null when memory runs out.
AVChapter *AddChapter(AVFormatContext *context, int64_t id, AVRational timeBase, int64_t start, int64_t end);
