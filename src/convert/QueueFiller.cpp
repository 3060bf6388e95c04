#include "convert/QueueFiller.h"

#include <utility>

#include "convert/ConvertHelpers.h"
#include "media/AVProbe.h"

TQueueFiller::TQueueFiller(std::vector<std::string> paths) : TQueueFiller(std::move(paths), {}) {}

TQueueFiller::TQueueFiller(std::vector<std::string> paths, std::string folder)
    : FFolder(std::move(folder)), FPaths(std::move(paths)), FListed(FFolder.empty()), FWorker([this] { Run(); }) {}

std::unique_ptr<TQueueFiller> TQueueFiller::ForFolder(const std::string &folder) {
  return std::unique_ptr<TQueueFiller>(new TQueueFiller({}, folder));
}

TQueueFiller::~TQueueFiller() {
  Stop();
  FWorker.join();
}

void TQueueFiller::Run() {
  if (!FFolder.empty()) {
    std::vector<std::string> found;
    // A big tree takes long to list: Stop, or the window closing, ends the listing too.
    FindVideoFiles(FFolder, found, [this] { return FStopRequested.load(); });
    std::lock_guard guard(FLock);
    FPaths = std::move(found);
    FListed = true;
  }
  // A probe of its own: the engine's belongs to the main thread.
  TAVProbe probe;
  probe.SetStopFlag(&FStopRequested);
  for (std::size_t i = 0;; ++i) {
    std::string path;
    {
      std::lock_guard guard(FLock);
      if (FStopRequested || i >= FPaths.size())
        break;
      path = FPaths[i];
    }
    std::unique_ptr<TInputFile> file;
    try {
      file = TTvlConvert::ProbeFile(path, probe);
    } catch (const std::exception &) {
      // A file the libraries cannot look at is unusable like any other.
    }
    std::lock_guard guard(FLock);
    // A probe the stop cut short says nothing about the file: it is dropped like those not reached.
    if (!file && FStopRequested)
      break;
    FReady.push_back({std::move(path), std::move(file)});
    ++FProbed;
  }
  std::lock_guard guard(FLock);
  FFinished = true;
}

std::vector<TProbedFile> TQueueFiller::Take() {
  std::lock_guard guard(FLock);
  return std::exchange(FReady, {});
}

void TQueueFiller::Stop() { FStopRequested = true; }

bool TQueueFiller::Done() const {
  std::lock_guard guard(FLock);
  return FFinished && FReady.empty();
}

int TQueueFiller::Total() const {
  std::lock_guard guard(FLock);
  return FListed ? static_cast<int>(FPaths.size()) : -1;
}

int TQueueFiller::Probed() const {
  std::lock_guard guard(FLock);
  return FProbed;
}
