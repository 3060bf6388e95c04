/* A frame-hook module for the tests: paints the top-left 8 x 8 luma block with the value of its
   argument; the argument "refuse" makes Configure fail. */
#include <stdlib.h>
#include <string.h>

#include "engine/filter/FrameHookModule.h"

typedef struct {
  int Value;
  int Calls;
} TContext;

int Configure(void **context, int argc, char *argv[], int lastIndex) {
  if (argc < 2 || lastIndex != argc - 1 || strcmp(argv[1], "refuse") == 0)
    return -1;
  TContext *ctx = calloc(1, sizeof(TContext));
  if (!ctx)
    return -1;
  ctx->Value = atoi(argv[1]);
  *context = ctx;
  return 0;
}

void Process(void *context, TFrameHookPicture *picture, int pixelFormat, int width, int height, int64_t pts) {
  TContext *ctx = context;
  (void)pixelFormat;
  (void)pts;
  ctx->Calls++;
  for (int y = 0; y < 8 && y < height; ++y)
    memset(picture->data[0] + y * picture->linesize[0], ctx->Value, width < 8 ? (size_t)width : 8);
}

void Release(void *context) { free(context); }
