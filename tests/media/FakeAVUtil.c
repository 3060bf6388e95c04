/* Stands in for libavutil with only a few of its entry points, so binding it must fail. */
#include <stdlib.h>

unsigned avutil_version(void) {
  return (57u << 16) | (28u << 8) | 100u;
}
void *av_malloc(size_t size) {
  return malloc(size);
}
void av_free(void *ptr) {
  free(ptr);
}
