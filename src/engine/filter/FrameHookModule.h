/* The contract of a frame-hook module: a shared object exporting these entry points with C
   linkage. Process changes the picture's pixels in place; the engine keeps the plane pointers. */
#ifndef TVL_FRAME_HOOK_MODULE_H
#define TVL_FRAME_HOOK_MODULE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TFrameHookPicture {
  uint8_t *data[4];
  int linesize[4];
} TFrameHookPicture;

/* Stores the module's context through context; 0 on success. argv[0] is the module file, the
   rest are the module's own arguments; lastIndex is argc - 1. Needed with more than one word. */
typedef int (*TFrameHookConfigure)(void **context, int argc, char *argv[], int lastIndex);
/* pixelFormat is the library's AVPixelFormat number; pts is in microseconds. */
typedef void (*TFrameHookProcess)(void *context, TFrameHookPicture *picture, int pixelFormat, int width, int height,
                                  int64_t pts);
/* Optional; called once when the task lets the module go. */
typedef void (*TFrameHookRelease)(void *context);

#ifdef __cplusplus
}
#endif

#endif
