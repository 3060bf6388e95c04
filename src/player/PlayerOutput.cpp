#include <cmath>
#include <limits>

#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "player/FFPlay.h"
#include "player/LibSDL.h"
#include "player/PlayCore.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace {

// Hands the drawn surface to the host, which copies it.
void Present(PlayContext *context) {
  TCustomPlayer &owner = *context->Owner;
  SDL_Surface *surface = owner.Surface();
  TVideoHost *host = owner.VideoHost();
  if (!surface || !host)
    return;
  SDLLib.SDL_RenderFlush(owner.Renderer());
  host->PresentPicture(TVideoPicture{static_cast<const uint8_t *>(surface->pixels), surface->pitch, surface->w,
                                     surface->h});
}

// Nearest integer, ties to even, with bit 0 cleared.
int EvenRounded(float value) { return static_cast<int>(std::nearbyint(value)) & ~1; }

} // namespace

int OpenVideoSurface(PlayContext *context) {
  TCustomPlayer &owner = *context->Owner;
  int width = 640;
  int height = 480;
  if (owner.ScreenWidth() > 0 && owner.ScreenHeight() > 0) {
    width = owner.ScreenWidth();
    height = owner.ScreenHeight();
  } else if (context->VideoStreamIndex >= 0 && context->VideoCodec->width > 0) {
    width = context->VideoCodec->width;
    height = context->VideoCodec->height;
  }
  if (!owner.SetVideoMode(width, height)) {
    owner.Log(ltError, "SDL: could not set video mode.");
    return -1;
  }
  context->DisplayWidth = owner.Surface()->w;
  context->DisplayHeight = owner.Surface()->h;
  return 0;
}

void AllocPicture(PlayContext *context) {
  TQueuedPicture &picture = context->Picture;
  std::lock_guard guard(context->PictureMutex);
  {
    std::lock_guard overlay(picture.OverlayLock);
    if (picture.Texture)
      SDLLib.SDL_DestroyTexture(picture.Texture);
    picture.Texture = nullptr;
    AVUtil.av_freep(&picture.Data[0]);
    picture.Width = picture.Height = 0;
    if (AVUtil.av_image_alloc(picture.Data, picture.Linesize, picture.WantedWidth, picture.WantedHeight,
                              AV_PIX_FMT_YUV420P, 64) >= 0) {
      picture.Width = picture.WantedWidth;
      picture.Height = picture.WantedHeight;
    }
  }
  // Without planes the decoder finds no overlay and ends, as with a failed overlay.
  picture.Allocated = true;
  context->PictureCondition.notify_all();
}

void DisplayVideo(PlayContext *context) {
  if (!context->Owner->Surface() && OpenVideoSurface(context) < 0)
    return;
  if (context->AudioStreamIndex >= 0 && context->ShowWaveform)
    DisplayWaveform(context);
  else if (context->VideoStreamIndex >= 0)
    DisplayPicture(context);
}

SDL_Rect PictureRect(int displayWidth, int displayHeight, float aspect) {
  int height = displayHeight;
  int width = EvenRounded(static_cast<float>(height) * aspect);
  if (width > displayWidth) {
    width = displayWidth;
    height = EvenRounded(static_cast<float>(width) / aspect);
  }
  return SDL_Rect{(displayWidth - width) / 2, (displayHeight - height) / 2, width, height};
}

void DisplayPicture(PlayContext *context) {
  TQueuedPicture &picture = context->Picture;
  SDL_Renderer *renderer = context->Owner->Renderer();
  std::lock_guard overlay(picture.OverlayLock);
  if (!picture.HasOverlay())
    return;
  AVRational sar = context->VideoStream->sample_aspect_ratio;
  if (sar.num == 0)
    sar = context->VideoCodec->sample_aspect_ratio;
  double ratio = sar.num == 0 ? 0 : av_q2d(sar);
  if (ratio <= 0)
    ratio = 1.0;
  const auto aspect = static_cast<float>(ratio * picture.Width / picture.Height);
  SDL_Rect rect = PictureRect(context->DisplayWidth, context->DisplayHeight, aspect);
  rect.x += context->DisplayLeft;
  rect.y += context->DisplayTop;
  if (!picture.Texture)
    picture.Texture = SDLLib.SDL_CreateTexture(renderer, SDL_PIXELFORMAT_IYUV, SDL_TEXTUREACCESS_STREAMING,
                                               picture.Width, picture.Height);
  if (!picture.Texture)
    return;
  // SDL converts with BT.601 unless told otherwise; HD pictures are BT.709.
  SDLLib.SDL_SetYUVConversionMode(picture.Bt709 ? SDL_YUV_CONVERSION_BT709 : SDL_YUV_CONVERSION_BT601);
  SDLLib.SDL_UpdateYUVTexture(picture.Texture, nullptr, picture.Data[0], picture.Linesize[0], picture.Data[1],
                              picture.Linesize[1], picture.Data[2], picture.Linesize[2]);
  SDLLib.SDL_RenderCopy(renderer, picture.Texture, nullptr, &rect);
  Present(context);
}

int WaveformStart(const PlayContext *context, int channels, int delay) {
  const auto ring = [context](int index) {
    return static_cast<int>(context->SampleRing[(index % SampleRingSize + SampleRingSize) % SampleRingSize].load(
        std::memory_order_relaxed));
  };
  const int x = ((context->SampleRingIndex - delay * channels) % SampleRingSize + SampleRingSize) % SampleRingSize;
  int start = x;
  int best = std::numeric_limits<int>::min();
  // The strongest fall across a sign change near the samples playing now keeps the trace still.
  for (int i = 0; i < 1000; i += channels) {
    const int index = ((x - i) % SampleRingSize + SampleRingSize) % SampleRingSize;
    const int a = ring(index);
    const int b = ring(index + 4 * channels);
    const int c = ring(index + 5 * channels);
    const int d = ring(index + 9 * channels);
    if (a - d > best && ((b ^ c) < 0)) {
      best = a - d;
      start = index;
    }
  }
  return start;
}

void DisplayWaveform(PlayContext *context) {
  TCustomPlayer &owner = *context->Owner;
  SDL_Surface *surface = owner.Surface();
  const int channels = context->AudioChannels;
  const int width = context->DisplayWidth;
  const int height = context->DisplayHeight;
  if (channels <= 0)
    return;
  int start = context->LastWaveStart;
  if (!context->Paused) {
    int delay = (context->AudioBufferSize - context->AudioBufferIndex) / (2 * channels);
    const int64_t callbackTime = owner.AudioCallbackTime();
    if (callbackTime != 0) {
      const auto sinceCallback = static_cast<int16_t>(NowMicroseconds() - callbackTime);
      delay += static_cast<int>(static_cast<int64_t>(sinceCallback) * context->AudioRate / 1000000);
    }
    delay -= width / 2;
    if (delay < width)
      delay = width;
    start = WaveformStart(context, channels, delay);
    context->LastWaveStart = start;
  }
  SDL_Rect area{context->DisplayLeft, context->DisplayTop, width, height};
  SDLLib.SDL_FillRect(surface, &area, SDLLib.SDL_MapRGB(surface->format, 0, 0, 0));
  const Uint32 white = SDLLib.SDL_MapRGB(surface->format, 255, 255, 255);
  const int band = height / channels;
  const int amplitude = band * 9 / 20;
  for (int c = 0; c < channels; ++c) {
    const int centre = context->DisplayTop + c * band + band / 2;
    int index = (start + c) % SampleRingSize;
    for (int x = 0; x < width; ++x) {
      const int value = (context->SampleRing[index].load(std::memory_order_relaxed) * amplitude) >> 15;
      SDL_Rect column{context->DisplayLeft + x, value < 0 ? centre + value : centre, 1, value < 0 ? -value : value};
      SDLLib.SDL_FillRect(surface, &column, white);
      index = (index + channels) % SampleRingSize;
    }
  }
  for (int c = 1; c < channels; ++c) {
    SDL_Rect line{context->DisplayLeft, context->DisplayTop + c * band, width, 1};
    SDLLib.SDL_FillRect(surface, &line, white);
  }
  Present(context);
}

bool TCustomPlayer::SetVideoMode(int width, int height) {
  if (FSurface && FSurface->w == width && FSurface->h == height)
    return true;
  // Textures belong to the renderer that goes with the surface.
  if (PlayContext *context = CurrentContext()) {
    std::lock_guard overlay(context->Picture.OverlayLock);
    if (context->Picture.Texture)
      SDLLib.SDL_DestroyTexture(context->Picture.Texture);
    context->Picture.Texture = nullptr;
  }
  FreeSurface();
  if (width <= 0 || height <= 0)
    return false;
  FSurface = SDLLib.SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_XRGB8888);
  FRenderer = FSurface ? SDLLib.SDL_CreateSoftwareRenderer(FSurface) : nullptr;
  if (!FRenderer) {
    FreeSurface();
    return false;
  }
  SDLLib.SDL_FillRect(FSurface, nullptr, SDLLib.SDL_MapRGB(FSurface->format, 0, 0, 0));
  return true;
}

void TCustomPlayer::FreeSurface() {
  if (FRenderer)
    SDLLib.SDL_DestroyRenderer(FRenderer);
  FRenderer = nullptr;
  if (FSurface)
    SDLLib.SDL_FreeSurface(FSurface);
  FSurface = nullptr;
}

void TCustomPlayer::EventLoop() {
  for (;;) {
    const TPlayEvent event = FEvents.Wait();
    PlayContext *context = CurrentContext();
    if (!context)
      return;
    if (event.Type == TPlayEventType::Quit) {
      DoExit();
      return;
    }
    if (event.Type == TPlayEventType::Resize) {
      const int width = event.Width;
      const int height = event.Height;
      FScreenWidth = width;
      FScreenHeight = height;
      if (SetVideoMode(width, height)) {
        context->DisplayWidth = width;
        context->DisplayHeight = height;
        DisplayVideo(context);
      }
    } else if (event.Type == TPlayEventType::AllocPicture) {
      OpenVideoSurface(context);
      AllocPicture(context);
    } else {
      RefreshPicture(context);
    }
  }
}
