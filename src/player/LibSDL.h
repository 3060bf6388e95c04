#pragma once
// Run-time binding of SDL 2. Nothing links SDL: libSDL2-2.0.so.0 is opened from the Lib folder when
// it is there, else from the system, and every entry point the player calls is resolved by name
// and called through SDLLib.<name>.
#include <cstdint>
#include <string>

#include "media/StubTable.h"

#include <SDL2/SDL.h>

// Every SDL entry point the player calls, each name written once.
// clang-format off
#define TVL_SDL_ENTRIES(X) \
  X(SDL_SetHint) X(SDL_Init) X(SDL_InitSubSystem) X(SDL_Quit) X(SDL_GetError) X(SDL_AddTimer) \
  X(SDL_OpenAudioDevice) X(SDL_PauseAudioDevice) X(SDL_CloseAudioDevice) X(SDL_MixAudioFormat) \
  X(SDL_WaitEvent) X(SDL_PushEvent) X(SDL_EventState) X(SDL_RegisterEvents) \
  X(SDL_CreateRGBSurfaceWithFormat) X(SDL_FreeSurface) X(SDL_MapRGB) X(SDL_FillRect) \
  X(SDL_CreateSoftwareRenderer) X(SDL_DestroyRenderer) X(SDL_RenderFlush) X(SDL_RenderCopy) \
  X(SDL_CreateTexture) X(SDL_DestroyTexture) X(SDL_UpdateYUVTexture) X(SDL_SetYUVConversionMode) \
  X(SDL_TLSCleanup)
// clang-format on

struct TSDLStubs {
#define TVL_STUB_POINTER(name) decltype(&::name) name = nullptr;
  TVL_SDL_ENTRIES(TVL_STUB_POINTER)
#undef TVL_STUB_POINTER
};

extern TSDLStubs SDLLib;

// The library file: "libSDL2-2.0.so.0".
extern const char *const SDLFileName;

// Loads and binds SDL once per process; folder may be empty (system search alone). False with
// SDLLastError set when the library or an entry point is missing; a partial binding is undone.
bool LoadSDL(const std::string &folder);
bool SDLLoaded();
void UnloadSDL();
std::string SDLLastError();

// The player's own event types, registered with SDL once per process on the first start.
struct TPlayerEvents {
  uint32_t AllocPicture = 0;
  uint32_t Refresh = 0;
  uint32_t Quit = 0;
  uint32_t Resize = 0; // the host's drawing area changed size (data1, data2: width, height)
};
const TPlayerEvents &PlayerEvents();

// Starts SDL's timer, event and audio parts for one playback. The audio part may fail (no sound
// device): the playback then has no sound. False with SDL's text in error when SDL cannot start.
bool StartSDL(std::string &error);

// SDL's last error text without surrounding blanks.
std::string SDLErrorText();
