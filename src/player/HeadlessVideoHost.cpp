#include "player/HeadlessVideoHost.h"

#include <cstring>

void THeadlessVideoHost::PresentPicture(const TVideoPicture &picture) {
  TPicture copy;
  copy.Width = picture.Width;
  copy.Height = picture.Height;
  copy.Pixels.resize(static_cast<size_t>(picture.Width) * picture.Height);
  for (int y = 0; y < picture.Height; ++y)
    std::memcpy(copy.Pixels.data() + static_cast<size_t>(y) * picture.Width, picture.Pixels + y * picture.Stride,
                static_cast<size_t>(picture.Width) * 4);
  if (OnPicture)
    OnPicture(copy);
  std::lock_guard guard(FLock);
  FLast = std::move(copy);
  ++FCount;
}

THeadlessVideoHost::TPicture THeadlessVideoHost::LastPicture() const {
  std::lock_guard guard(FLock);
  return FLast;
}

int THeadlessVideoHost::PictureCount() const {
  std::lock_guard guard(FLock);
  return FCount;
}
