#pragma once
// Turns a decoded picture into a TBitmap and back: the hooks, the preview and the player's
// snapshots share it. A 24-bit BGR input is copied without the scaler.
#include <memory>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "engine/Bitmap.h"
#include "engine/LibraryObjects.h"

class TPictureConverter {
public:
  // The colour matrix of the pictures converted to bitmaps (SWS_CS_*): BT.601 unless told.
  int SourceColorspace = SWS_CS_DEFAULT;

  // The bitmap of the last conversion; null before the first one.
  TBitmap *Bitmap() const { return FBitmap.get(); }
  // Frees the bitmap, the RGB picture and both scaling contexts.
  void Reset();

private:
  friend bool PictureToBitmap(TPictureConverter &, const uint8_t *const[], const int[], AVPixelFormat, int, int);
  friend bool BitmapToPicture(TPictureConverter &, uint8_t *const[], const int[], AVPixelFormat, int, int);

  std::unique_ptr<TBitmap> FBitmap;
  TFramePtr FRgb; // the scaler's side: its buffers carry the padding the scaler may write into
  TScalerPtr FToRgb;
  TScalerPtr FFromRgb;
  bool FColorspaceChanged = false; // a matrix other than the default was applied once
};

// Draws the picture into the converter's bitmap (made or remade at the picture's size). False when
// no scaling context converts the format (or the size is unusable); the bitmap is then unchanged.
bool PictureToBitmap(TPictureConverter &converter, const uint8_t *const data[], const int linesize[],
                     AVPixelFormat format, int width, int height);

// Writes the converter's bitmap back into a picture of the size it was made from. False when no
// scaling context converts 24-bit BGR into the format.
bool BitmapToPicture(TPictureConverter &converter, uint8_t *const data[], const int linesize[],
                     AVPixelFormat format, int width, int height);
