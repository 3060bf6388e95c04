#pragma once
// Equivalents of the library's header inlines and macros that call exported functions: those
// would link against the library, so they go through the entry tables here. Header inlines that
// only do arithmetic (av_q2d, av_make_q, av_cmp_q, av_inv_q) are used as they are.
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"

#include <string>

// avio_tell.
inline int64_t AVIOTell(AVIOContext *s) {
  return AVFormat.avio_seek(s, 0, SEEK_CUR);
}

// av_err2str.
inline std::string AVErrorText(int errorCode) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  AVUtil.av_strerror(errorCode, text, sizeof text);
  return text;
}

// A failed library call described as "call: the library's own text".
inline std::string CallErrorText(const std::string &call, int errorCode) {
  return call + ": " + AVErrorText(errorCode);
}

// av_opt_set_int_list: list ends with terminator, which is not passed.
template <typename T>
int AVOptSetIntList(void *obj, const char *name, const T *list, T terminator, int searchFlags) {
  int count = 0;
  while (list[count] != terminator)
    ++count;
  return AVUtil.av_opt_set_bin(obj, name, reinterpret_cast<const uint8_t *>(list),
                               count * static_cast<int>(sizeof(T)), searchFlags);
}
