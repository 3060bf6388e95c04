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
  X(SDL_SetHint) X(SDL_Init) X(SDL_InitSubSystem) X(SDL_Quit) X(SDL_GetError) \
  X(SDL_OpenAudioDevice) X(SDL_PauseAudioDevice) X(SDL_CloseAudioDevice) X(SDL_MixAudioFormat) \
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

// Starts SDL and its audio part for one playback; SDL is started once for all playbacks of the
// process and quit when the last one has ended (QuitSDL once per successful start), so one player
// never shuts SDL down under another. The audio part may fail (no sound device): the playback then
// has no sound. False with SDL's text in error when SDL cannot start.
bool StartSDL(std::string &error);
void QuitSDL();

// SDL's last error text without surrounding blanks.
std::string SDLErrorText();
