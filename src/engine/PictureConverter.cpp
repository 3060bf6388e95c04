#include "engine/PictureConverter.h"

#include <cstring>

#include "media/AVUtilStubs.h"
#include "media/SwScaleStubs.h"

namespace {

constexpr AVPixelFormat RgbFormat = AV_PIX_FMT_BGR24;

// The converter's RGB picture at the given size, made anew when the size changed.
AVFrame *RgbPicture(TFramePtr &rgb, int width, int height) {
  if (rgb && rgb->width == width && rgb->height == height)
    return rgb.get();
  rgb = NewFrame();
  rgb->format = RgbFormat;
  rgb->width = width;
  rgb->height = height;
  if (AVUtil.av_frame_get_buffer(rgb.get(), 0) < 0) {
    rgb.reset();
    return nullptr;
  }
  return rgb.get();
}

void CopyRows(uint8_t *to, ptrdiff_t toStride, const uint8_t *from, ptrdiff_t fromStride, int rowBytes, int rows) {
  for (int row = 0; row < rows; ++row)
    std::memcpy(to + row * toStride, from + row * fromStride, rowBytes);
}

} // namespace

void TPictureConverter::Reset() {
  FBitmap.reset();
  FRgb.reset();
  FToRgb.reset();
  FFromRgb.reset();
}

bool PictureToBitmap(TPictureConverter &converter, const uint8_t *const data[], const int linesize[],
                     AVPixelFormat format, int width, int height) {
  if (width <= 0 || height <= 0 || width > 32768 || height > 32768 || !data[0])
    return false;
  if (format != RgbFormat) {
    if (format <= AV_PIX_FMT_NONE || !SwScale.sws_isSupportedInput(format))
      return false;
    converter.FToRgb.reset(SwScale.sws_getCachedContext(converter.FToRgb.release(), width, height, format, width,
                                                        height, RgbFormat, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!converter.FToRgb)
      return false;
    if (converter.SourceColorspace != SWS_CS_DEFAULT || converter.FColorspaceChanged) {
      converter.FColorspaceChanged = true;
      int *inverse, *table, sourceRange, range, brightness, contrast, saturation;
      if (SwScale.sws_getColorspaceDetails(converter.FToRgb.get(), &inverse, &sourceRange, &table, &range,
                                           &brightness, &contrast, &saturation) >= 0)
        SwScale.sws_setColorspaceDetails(converter.FToRgb.get(), SwScale.sws_getCoefficients(converter.SourceColorspace),
                                         sourceRange, table, range, brightness, contrast, saturation);
    }
  }
  const uint8_t *current = data[0];
  int currentStride = linesize[0];
  if (format != RgbFormat) {
    AVFrame *rgb = RgbPicture(converter.FRgb, width, height);
    if (!rgb)
      return false;
    SwScale.sws_scale(converter.FToRgb.get(), data, linesize, 0, height, rgb->data, rgb->linesize);
    current = rgb->data[0];
    currentStride = rgb->linesize[0];
  }
  TBitmap *bitmap = converter.FBitmap.get();
  if (!bitmap || bitmap->Width() != width || bitmap->Height() != height) {
    converter.FBitmap = std::make_unique<TBitmap>(width, height);
    bitmap = converter.FBitmap.get();
  }
  CopyRows(bitmap->Bits(), bitmap->Stride(), current, currentStride, width * 3, height);
  return true;
}

bool BitmapToPicture(TPictureConverter &converter, uint8_t *const data[], const int linesize[],
                     AVPixelFormat format, int width, int height) {
  const TBitmap *bitmap = converter.FBitmap.get();
  if (!bitmap || bitmap->Width() != width || bitmap->Height() != height)
    return false;
  if (format == RgbFormat) {
    CopyRows(data[0], linesize[0], bitmap->Bits(), bitmap->Stride(), width * 3, height);
    return true;
  }
  if (format <= AV_PIX_FMT_NONE || !SwScale.sws_isSupportedOutput(format))
    return false;
  AVFrame *rgb = RgbPicture(converter.FRgb, width, height);
  if (!rgb)
    return false;
  CopyRows(rgb->data[0], rgb->linesize[0], bitmap->Bits(), bitmap->Stride(), width * 3, height);
  converter.FFromRgb.reset(SwScale.sws_getCachedContext(converter.FFromRgb.release(), width, height, RgbFormat,
                                                        width, height, format, SWS_BICUBIC, nullptr, nullptr,
                                                        nullptr));
  if (!converter.FFromRgb)
    return false;
  SwScale.sws_scale(converter.FFromRgb.get(), rgb->data, rgb->linesize, 0, height, data, linesize);
  return true;
}
