#include "engine/Bitmap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

// The first scan line starts on a cache-line boundary.
constexpr size_t BitsAlignment = 64;

void PutLE(uint8_t *at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    at[i] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace

void TBitmap::TAlignedFree::operator()(uint8_t *bits) const { std::free(bits); }

TBitmap::TBitmap(int width, int height) {
  // 0 × 0 is the empty picture (no playback, nothing converted); it holds no bits.
  const bool empty = width == 0 && height == 0;
  if (!empty && (width <= 0 || height <= 0 || width > 32768 || height > 32768))
    throw std::invalid_argument("bitmap size out of range");
  FWidth = width;
  FHeight = height;
  FStride = (width * 3 + 3) & ~3;
  if (empty)
    return;
  const size_t bytes = static_cast<size_t>(FStride) * height;
  const size_t rounded = (bytes + BitsAlignment - 1) / BitsAlignment * BitsAlignment;
  FBits.reset(static_cast<uint8_t *>(std::aligned_alloc(BitsAlignment, rounded)));
  if (!FBits)
    throw std::bad_alloc();
  std::memset(FBits.get(), 0, rounded);
}

bool TBitmap::SaveToFile(const std::string &fileName) const {
  constexpr int headerBytes = 14 + 40;
  const uint32_t imageBytes = static_cast<uint32_t>(FStride) * FHeight;
  uint8_t header[headerBytes] = {'B', 'M'};
  PutLE(header + 2, headerBytes + imageBytes, 4);
  PutLE(header + 10, headerBytes, 4);
  PutLE(header + 14, 40, 4); // info header size
  PutLE(header + 18, FWidth, 4);
  PutLE(header + 22, FHeight, 4); // positive: rows stored bottom-up
  PutLE(header + 26, 1, 2);       // planes
  PutLE(header + 28, 24, 2);      // bits per pixel
  PutLE(header + 34, imageBytes, 4);
  PutLE(header + 38, 2835, 4); // 72 dpi
  PutLE(header + 42, 2835, 4);

  std::FILE *file = std::fopen(fileName.c_str(), "wb");
  if (!file)
    return false;
  bool ok = std::fwrite(header, 1, headerBytes, file) == headerBytes;
  for (int row = FHeight - 1; ok && row >= 0; --row)
    ok = std::fwrite(ScanLine(row), 1, FStride, file) == static_cast<size_t>(FStride);
  return std::fclose(file) == 0 && ok;
}
