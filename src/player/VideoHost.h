#pragma once
// Where a playback's pictures go. The player draws each picture (or the waveform) into an offscreen
// surface of the size it was given and hands the finished surface to the host, which copies it and
// paints it on its own thread. The host reports changes of its drawing area's size.
#include <cstdint>
#include <functional>
#include <mutex>

// One finished picture: 32-bit pixels, 0x00RRGGBB in native byte order (QImage::Format_RGB32),
// top row first. Valid only during the call that hands it over.
struct TVideoPicture {
  const uint8_t *Pixels = nullptr;
  int Stride = 0; // bytes per row
  int Width = 0;
  int Height = 0;
};

class TVideoHost {
public:
  TVideoHost() = default;
  virtual ~TVideoHost() = default;
  TVideoHost(const TVideoHost &) = delete;
  TVideoHost &operator=(const TVideoHost &) = delete;

  // Called on the player's play thread for every finished picture.
  virtual void PresentPicture(const TVideoPicture &picture) = 0;

  // The host calls this (on any thread) when its drawing area changed size; a playback drawing
  // into this host then draws at the new size, and the player keeps it for its next open.
  void NotifyResized(int width, int height);

  // Set by the player while one of its playbacks draws here; an empty function detaches.
  void SetResizeListener(std::function<void(int width, int height)> listener);

private:
  std::mutex FLock;
  std::function<void(int, int)> FListener; // guarded by FLock
};
