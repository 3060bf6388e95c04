#pragma once
// A video host without a window, for tests and tools: keeps a copy of the last picture, counts the
// pictures and can time-stamp each one.
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "player/VideoHost.h"

class THeadlessVideoHost : public TVideoHost {
public:
  struct TPicture {
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Pixels; // 0x00RRGGBB, rows packed
    uint32_t Pixel(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
  };

  void PresentPicture(const TVideoPicture &picture) override;

  // A copy of the last picture; empty (0 × 0) before the first.
  TPicture LastPicture() const;
  int PictureCount() const;

  // Called on the play thread after each picture was copied, with the copy; for measurements.
  std::function<void(const TPicture &picture)> OnPicture;

private:
  mutable std::mutex FLock;
  TPicture FLast;  // guarded by FLock
  int FCount = 0; // guarded by FLock
};
