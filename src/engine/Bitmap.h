#pragma once
// The program's own picture for hooks, previews and snapshots: 24-bit BGR, scan lines aligned to
// four bytes, top row first. Shown on the Qt side as a QImage in Format_BGR888.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class TBitmap {
public:
  TBitmap(int width, int height);

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int Stride() const { return FStride; } // bytes per scan line
  uint8_t *Bits() { return FBits.get(); }
  const uint8_t *Bits() const { return FBits.get(); }
  uint8_t *ScanLine(int row) { return FBits.get() + static_cast<size_t>(row) * FStride; }
  const uint8_t *ScanLine(int row) const { return FBits.get() + static_cast<size_t>(row) * FStride; }

  // Held while a handler draws into the bitmap, and by readers that must not see a half-drawn one.
  std::mutex &Canvas() { return FCanvas; }

  // A bottom-up 24-bit BMP file; false when the file cannot be written.
  bool SaveToFile(const std::string &fileName) const;

private:
  struct TAlignedFree {
    void operator()(uint8_t *bits) const;
  };

  int FWidth;
  int FHeight;
  int FStride;
  std::unique_ptr<uint8_t, TAlignedFree> FBits;
  std::mutex FCanvas;
};
