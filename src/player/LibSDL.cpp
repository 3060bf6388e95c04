#include "player/LibSDL.h"

#include <dlfcn.h>
#include <filesystem>
#include <mutex>

TSDLStubs SDLLib;
const char *const SDLFileName = "libSDL2-2.0.so.0";

namespace {

void *SDLModule = nullptr;
bool SDLBound = false;
std::string LastError;
std::mutex StartLock;
int Starts = 0; // guarded by StartLock

std::span<const TStubEntry> SDLEntries() {
#define TVL_STUB_ENTRY(name) TStubEntry{#name, &SDLLib.name},
  static const TStubEntry entries[] = {TVL_SDL_ENTRIES(TVL_STUB_ENTRY)};
#undef TVL_STUB_ENTRY
  return entries;
}

std::string Trimmed(const std::string &text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos)
    return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

bool LoadSDL(const std::string &folder) {
  if (!SDLModule) {
    std::string dir = folder;
    if (!dir.empty() && dir.back() != '/')
      dir += '/';
    std::error_code ec;
    const bool inFolder = !dir.empty() && std::filesystem::exists(dir + SDLFileName, ec);
    dlerror();
    // Kept mapped when released: SDL leaves threads and handlers behind that must not outlive it.
    SDLModule = dlopen((inFolder ? dir + SDLFileName : std::string(SDLFileName)).c_str(),
                       RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!SDLModule) {
      const char *reason = dlerror();
      LastError = "Load library " + dir + SDLFileName + " error: " + (reason ? reason : "unknown error");
      return false;
    }
  }
  if (!SDLBound) {
    std::string error;
    SDLBound = ResolveStubs(SDLModule, SDLFileName, SDLEntries(), error);
    if (!SDLBound)
      LastError = error;
  }
  if (!SDLBound)
    UnloadSDL();
  return SDLBound;
}

bool SDLLoaded() { return SDLModule && SDLBound; }

void UnloadSDL() {
  ClearStubs(SDLEntries());
  SDLBound = false;
  if (SDLModule) {
    dlclose(SDLModule);
    SDLModule = nullptr;
  }
}

std::string SDLLastError() { return LastError; }

std::string SDLErrorText() { return Trimmed(SDLLib.SDL_GetError()); }

bool StartSDL(std::string &error) {
  std::lock_guard guard(StartLock);
  if (Starts > 0) {
    ++Starts;
    return true;
  }
  // The host program handles its own signals; drawing is offscreen and the player keeps its own
  // events and timing, so no video, event or timer part is started.
  SDLLib.SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDLLib.SDL_Init(0) != 0) {
    error = SDLErrorText();
    return false;
  }
  // Without a sound device the audio part fails; opening the device then reports it.
  SDLLib.SDL_InitSubSystem(SDL_INIT_AUDIO);
  Starts = 1;
  return true;
}

void QuitSDL() {
  std::lock_guard guard(StartLock);
  if (Starts > 0 && --Starts == 0)
    SDLLib.SDL_Quit();
}
