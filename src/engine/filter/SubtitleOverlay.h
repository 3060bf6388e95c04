#pragma once
// Picture subtitles (DVD, Blu-ray, DVB) drawn into the film's pictures: each decoded line, its
// bitmaps with their palettes, is kept from its start to its end and blended onto every picture
// shown meanwhile, at the picture's own size (before any scaling: the bitmaps are made for it).
// Runs on the task's thread.
#include <array>
#include <cstdint>
#include <deque>
#include <vector>

struct AVFrame;
struct AVSubtitle;

// One bitmap of a line, where it stands on the picture.
struct TSubtitleBitmap {
  int X = 0, Y = 0, Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;         // palette indices, row by row
  std::array<uint32_t, 256> Palette{}; // 0xAARRGGBB; entries past the rect's colours stay clear
};

class TSubtitleOverlay {
public:
  // A decoded line whose packet is shown at pts (microseconds on the pictures' clock); the line's
  // own display times count from there. durationUs: the packet's, 0 when unknown. A line without an
  // end shows until the next one starts; one without bitmaps clears the picture. Rects that are no
  // bitmaps, or broken ones, are left out. The bitmaps stand on a canvas of the given size (the
  // subtitle decoder's; 0 when unknown: the picture's), scaled onto pictures of another size.
  void Add(const AVSubtitle &sub, int64_t pts, int64_t durationUs, int canvasWidth, int canvasHeight);
  // Draws the line shown at pts onto the picture, made writable first. Fails with FFmpegException
  // when a line shows but the picture's format cannot take it (planar YUV of 8 to 16 bits can):
  // a film asked for with its subtitles must not come out without them.
  void Draw(AVFrame &picture, int64_t pts);

private:
  struct TLine {
    int64_t Start = 0, End = 0;
    int CanvasWidth = 0, CanvasHeight = 0; // what the bitmaps' places count on
    std::vector<TSubtitleBitmap> Bitmaps;
  };
  // Drops the lines that have ended or been followed by pts; the one shown then, or null.
  TLine *Shown(int64_t pts);

  std::deque<TLine> FLines; // by start time
};

