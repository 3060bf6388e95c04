#include "engine/filter/FrameHook.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

namespace {

// Modules stay loaded until the process ends; tasks on several threads may add them at once.
struct TModuleCache {
  std::mutex Lock;
  std::map<std::string, void *> Modules; // guarded by Lock
};

TModuleCache &ModuleCache() {
  static TModuleCache cache;
  return cache;
}

void *LoadModule(const std::string &fileName, std::string &error) {
  TModuleCache &cache = ModuleCache();
  std::lock_guard guard(cache.Lock);
  if (auto found = cache.Modules.find(fileName); found != cache.Modules.end())
    return found->second;
  // Its own folder is searched for its dependencies through its RUNPATH ($ORIGIN).
  void *module = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char *text = dlerror();
    error = text ? text : fileName;
    return nullptr;
  }
  cache.Modules.emplace(fileName, module);
  return module;
}

} // namespace

int TFrameHookChain::Add(const std::vector<std::string> &words, const TLogger &log) {
  if (words.empty())
    return -2;
  std::string error;
  void *module = LoadModule(words[0], error);
  if (!module) {
    log(error + "\n");
    return -1;
  }
  TEntry entry;
  entry.Configure = reinterpret_cast<TFrameHookConfigure>(dlsym(module, "Configure"));
  entry.Process = reinterpret_cast<TFrameHookProcess>(dlsym(module, "Process"));
  entry.Release = reinterpret_cast<TFrameHookRelease>(dlsym(module, "Release"));
  if (!entry.Process) {
    log("Failed to find Process entrypoint in " + words[0] + "\n");
    return -2;
  }
  if (!entry.Configure && words.size() > 1) {
    log("Failed to find Configure entrypoint in " + words[0] + "\n");
    return -2;
  }
  if (entry.Configure) {
    std::vector<std::string> copies(words);
    std::vector<char *> argv;
    for (std::string &word : copies)
      argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());
    if (entry.Configure(&entry.Context, argc, argv.data(), argc - 1) != 0) {
      log("Failed to Configure " + words[0] + "\n");
      return -22;
    }
  }
  FEntries.push_back(entry);
  return 0;
}

void TFrameHookChain::Process(AVFrame &picture, int64_t pts) {
  TFrameHookPicture planes{};
  for (int p = 0; p < 4; ++p) {
    planes.data[p] = picture.data[p];
    planes.linesize[p] = picture.linesize[p];
  }
  for (const TEntry &entry : FEntries)
    entry.Process(entry.Context, &planes, picture.format, picture.width, picture.height, pts);
}

void TFrameHookChain::Release() {
  for (const TEntry &entry : FEntries)
    if (entry.Release)
      entry.Release(entry.Context);
  FEntries.clear();
}
