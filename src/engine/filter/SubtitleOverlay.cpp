#include "engine/filter/SubtitleOverlay.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "engine/FFmpegException.h"
#include "media/AVUtilStubs.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixdesc.h>
}

namespace {

// Lines read ahead of the pictures that show them; a file that runs further ahead loses its oldest.
constexpr size_t MaxLines = 64;
// Larger than any picture a subtitle is made for: a bigger rect is damage.
constexpr int MaxSide = 8192;

// A palette colour as the picture's Y, U and V (8-bit scale) with its opacity (0 … 255).
struct TYuva {
  std::array<int, 3> Value;
  int Alpha;
};
using TColours = std::array<TYuva, 256>;

// One plane of the picture as the blend reaches it.
struct TPlane {
  uint8_t *Data;
  int Linesize, Width, Height;
  int ShiftX, ShiftY; // chroma subsampling
  int Shift;          // bits above 8 of the samples
};

bool UsableBitmap(const AVSubtitleRect &rect) {
  return rect.type == SUBTITLE_BITMAP && rect.w > 0 && rect.h > 0 && rect.w <= MaxSide && rect.h <= MaxSide &&
         rect.data[0] && rect.data[1] && rect.linesize[0] >= rect.w && rect.nb_colors > 0 && rect.nb_colors <= 256;
}

TSubtitleBitmap BitmapOf(const AVSubtitleRect &rect) {
  TSubtitleBitmap bitmap;
  bitmap.X = rect.x;
  bitmap.Y = rect.y;
  bitmap.Width = rect.w;
  bitmap.Height = rect.h;
  bitmap.Pixels.resize(static_cast<size_t>(rect.w) * static_cast<size_t>(rect.h));
  for (int row = 0; row < rect.h; ++row)
    std::memcpy(&bitmap.Pixels[static_cast<size_t>(row) * static_cast<size_t>(rect.w)],
                rect.data[0] + static_cast<ptrdiff_t>(row) * rect.linesize[0], static_cast<size_t>(rect.w));
  std::memcpy(bitmap.Palette.data(), rect.data[1], static_cast<size_t>(rect.nb_colors) * sizeof(uint32_t));
  return bitmap;
}

// The bitmap's place and pixels on a picture of another size than its canvas (nearest pixels).
void ScaleBitmap(TSubtitleBitmap &bitmap, int fromWidth, int fromHeight, int toWidth, int toHeight) {
  const auto scaled = [](int value, int to, int from) { return static_cast<int>(int64_t{value} * to / from); };
  TSubtitleBitmap out;
  out.X = scaled(bitmap.X, toWidth, fromWidth);
  out.Y = scaled(bitmap.Y, toHeight, fromHeight);
  out.Width = std::max(scaled(bitmap.Width, toWidth, fromWidth), 1);
  out.Height = std::max(scaled(bitmap.Height, toHeight, fromHeight), 1);
  out.Palette = bitmap.Palette;
  out.Pixels.resize(static_cast<size_t>(out.Width) * static_cast<size_t>(out.Height));
  for (int y = 0; y < out.Height; ++y)
    for (int x = 0; x < out.Width; ++x)
      out.Pixels[static_cast<size_t>(y) * static_cast<size_t>(out.Width) + static_cast<size_t>(x)] =
          bitmap.Pixels[static_cast<size_t>(scaled(y, bitmap.Height, out.Height)) * static_cast<size_t>(bitmap.Width) +
                        static_cast<size_t>(scaled(x, bitmap.Width, out.Width))];
  bitmap = std::move(out);
}

// Where a line ends: the decoder's end, else the packet's, else never (the next line ends it).
int64_t LineEnd(const AVSubtitle &sub, int64_t pts, int64_t durationUs) {
  if (sub.end_display_time > sub.start_display_time && sub.end_display_time != std::numeric_limits<uint32_t>::max())
    return pts + int64_t{sub.end_display_time} * 1000;
  if (durationUs > 0)
    return pts + durationUs;
  return std::numeric_limits<int64_t>::max();
}

// Planar YUV of 8 to 16 bits in the machine's order, every sample in a plane of its own.
bool Drawable(const AVPixFmtDescriptor *desc) {
  constexpr uint64_t refused = AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL |
                               AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_BE;
  if (!desc || !(desc->flags & AV_PIX_FMT_FLAG_PLANAR) || (desc->flags & refused) || desc->nb_components < 3)
    return false;
  const int depth = desc->comp[0].depth;
  for (int c = 0; c < 3; ++c) {
    const AVComponentDescriptor &comp = desc->comp[c];
    if (comp.plane != c || comp.depth != depth || comp.shift != 0 || comp.offset != 0 || comp.step != (depth > 8 ? 2 : 1))
      return false;
  }
  return depth >= 8 && depth <= 16;
}

// The matrix's red and blue weights: the picture's own, else the one of its kind of size.
std::pair<double, double> LumaWeights(const AVFrame &picture) {
  switch (picture.colorspace) {
  case AVCOL_SPC_BT709:
    return {0.2126, 0.0722};
  case AVCOL_SPC_BT2020_NCL:
  case AVCOL_SPC_BT2020_CL:
    return {0.2627, 0.0593};
  case AVCOL_SPC_UNSPECIFIED:
  case AVCOL_SPC_RESERVED:
    return picture.height > 576 ? std::pair{0.2126, 0.0722} : std::pair{0.299, 0.114};
  default:
    return {0.299, 0.114};
  }
}

TColours ColoursOf(const TSubtitleBitmap &bitmap, const AVFrame &picture, bool fullRange) {
  const auto [kr, kb] = LumaWeights(picture);
  const double lumaScale = fullRange ? 255 : 219, chromaScale = fullRange ? 255 : 224, lumaBase = fullRange ? 0 : 16;
  const auto level = [](double value) { return static_cast<int>(std::clamp(std::lround(value), 0L, 255L)); };
  TColours colours{};
  for (size_t i = 0; i < colours.size(); ++i) {
    const uint32_t argb = bitmap.Palette[i];
    const double r = ((argb >> 16) & 255) / 255.0, g = ((argb >> 8) & 255) / 255.0, b = (argb & 255) / 255.0;
    const double y = kr * r + (1 - kr - kb) * g + kb * b;
    colours[i] = {{level(lumaBase + lumaScale * y), level(128 + chromaScale * (b - y) / (2 * (1 - kb))),
                   level(128 + chromaScale * (r - y) / (2 * (1 - kr)))},
                  static_cast<int>(argb >> 24)};
  }
  return colours;
}

// Blends the bitmap's component into the plane. A subsampled chroma sample takes the colours of
// the pixels it covers, each as opaque as it is.
template <typename T>
void BlendPlane(const TPlane &plane, const TSubtitleBitmap &bitmap, const TColours &colours, int component) {
  const int stepX = 1 << plane.ShiftX, stepY = 1 << plane.ShiftY, whole = stepX * stepY * 255;
  const int left = std::max(bitmap.X, 0), top = std::max(bitmap.Y, 0);
  const int right = std::min(bitmap.X + bitmap.Width, plane.Width << plane.ShiftX);
  const int bottom = std::min(bitmap.Y + bitmap.Height, plane.Height << plane.ShiftY);
  for (int sy = top >> plane.ShiftY; sy * stepY < bottom; ++sy) {
    T *row = reinterpret_cast<T *>(plane.Data + static_cast<ptrdiff_t>(sy) * plane.Linesize);
    for (int sx = left >> plane.ShiftX; sx * stepX < right; ++sx) {
      int64_t alpha = 0, colour = 0;
      for (int y = std::max(sy * stepY, top); y < std::min(sy * stepY + stepY, bottom); ++y)
        for (int x = std::max(sx * stepX, left); x < std::min(sx * stepX + stepX, right); ++x) {
          const TYuva &c = colours[bitmap.Pixels[static_cast<size_t>(y - bitmap.Y) * static_cast<size_t>(bitmap.Width) +
                                                 static_cast<size_t>(x - bitmap.X)]];
          alpha += c.Alpha;
          colour += int64_t{c.Alpha} * c.Value[static_cast<size_t>(component)];
        }
      row[sx] = static_cast<T>((int64_t{row[sx]} * (whole - alpha) + (colour << plane.Shift)) / whole);
    }
  }
}

void DrawBitmap(AVFrame &picture, const AVPixFmtDescriptor &desc, const TSubtitleBitmap &bitmap) {
  const bool fullRange = picture.color_range == AVCOL_RANGE_JPEG || std::strncmp(desc.name, "yuvj", 4) == 0;
  const TColours colours = ColoursOf(bitmap, picture, fullRange);
  const int depth = desc.comp[0].depth;
  for (int c = 0; c < 3; ++c) {
    const int shiftX = c ? desc.log2_chroma_w : 0, shiftY = c ? desc.log2_chroma_h : 0;
    const TPlane plane{picture.data[c],
                       picture.linesize[c],
                       -((-picture.width) >> shiftX),
                       -((-picture.height) >> shiftY),
                       shiftX,
                       shiftY,
                       depth - 8};
    if (depth > 8)
      BlendPlane<uint16_t>(plane, bitmap, colours, c);
    else
      BlendPlane<uint8_t>(plane, bitmap, colours, c);
  }
}

} // namespace

void TSubtitleOverlay::Add(const AVSubtitle &sub, int64_t pts, int64_t durationUs, int canvasWidth,
                           int canvasHeight) {
  TLine line;
  line.Start = pts + int64_t{sub.start_display_time} * 1000;
  line.End = LineEnd(sub, pts, durationUs);
  if (canvasWidth > 0 && canvasHeight > 0 && canvasWidth <= MaxSide && canvasHeight <= MaxSide) {
    line.CanvasWidth = canvasWidth;
    line.CanvasHeight = canvasHeight;
  }
  for (unsigned i = 0; sub.rects && i < sub.num_rects; ++i)
    if (sub.rects[i] && UsableBitmap(*sub.rects[i]))
      line.Bitmaps.push_back(BitmapOf(*sub.rects[i]));
  const auto later = std::upper_bound(FLines.begin(), FLines.end(), line.Start,
                                      [](int64_t start, const TLine &other) { return start < other.Start; });
  FLines.insert(later, std::move(line));
  if (FLines.size() > MaxLines)
    FLines.pop_front();
}

TSubtitleOverlay::TLine *TSubtitleOverlay::Shown(int64_t pts) {
  while (FLines.size() > 1 && FLines[1].Start <= pts)
    FLines.pop_front();
  while (!FLines.empty() && FLines.front().End <= pts)
    FLines.pop_front();
  if (FLines.empty() || FLines.front().Start > pts || FLines.front().Bitmaps.empty())
    return nullptr;
  return &FLines.front();
}

void TSubtitleOverlay::Draw(AVFrame &picture, int64_t pts) {
  TLine *line = Shown(pts);
  if (!line)
    return;
  const auto format = static_cast<AVPixelFormat>(picture.format);
  const AVPixFmtDescriptor *desc = AVUtil.av_pix_fmt_desc_get(format);
  if (!Drawable(desc)) {
    const char *name = AVUtil.av_get_pix_fmt_name(format);
    throw FFmpegException(std::string("Cannot draw the subtitles into pictures of format ") + (name ? name : "unknown"));
  }
  // Scaled once: the pictures of a film keep their size.
  if (line->CanvasWidth > 0 && (line->CanvasWidth != picture.width || line->CanvasHeight != picture.height)) {
    for (TSubtitleBitmap &bitmap : line->Bitmaps)
      ScaleBitmap(bitmap, line->CanvasWidth, line->CanvasHeight, picture.width, picture.height);
    line->CanvasWidth = picture.width;
    line->CanvasHeight = picture.height;
  }
  // The decoder may still refer to the picture's buffer for the ones after it.
  if (AVUtil.av_frame_make_writable(&picture) < 0)
    throw FFmpegException("Cannot draw the subtitles into the picture: out of memory");
  for (const TSubtitleBitmap &bitmap : line->Bitmaps)
    DrawBitmap(picture, *desc, bitmap);
}
