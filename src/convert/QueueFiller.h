#pragma once
// Probes the files for the queue on a worker thread of its own, so that a long list or a big folder
// never holds up the windows. Results come back in the order the files were given; the caller adds
// them to the queue on its own thread.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "convert/ConvertUnt.h"

// One probed file: its record, or null when the file cannot be used.
struct TProbedFile {
  std::string Path;
  std::unique_ptr<TInputFile> File;
};

class TQueueFiller {
public:
  // Probes the paths in order.
  explicit TQueueFiller(std::vector<std::string> paths);
  // Lists the video files under the folder (which ends in "/") first, then probes them in order.
  static std::unique_ptr<TQueueFiller> ForFolder(const std::string &folder);
  // Stops and waits for the worker.
  ~TQueueFiller();
  TQueueFiller(const TQueueFiller &) = delete;
  TQueueFiller &operator=(const TQueueFiller &) = delete;

  // The files probed since the last call, in order.
  std::vector<TProbedFile> Take();
  // No file is probed after the one in hand; what was probed can still be taken.
  void Stop();
  // True once the worker has ended and every result has been taken.
  bool Done() const;
  // Number of files to probe (-1 while the folder is being listed), and of those probed so far.
  int Total() const;
  int Probed() const;

private:
  TQueueFiller(std::vector<std::string> paths, std::string folder);
  void Run();

  const std::string FFolder;
  std::atomic<bool> FStopRequested{false}; // read by the worker between folders and files
  mutable std::mutex FLock;
  // Guarded by FLock; FPaths is written by the worker before it probes, when a folder is listed.
  std::vector<std::string> FPaths;
  bool FListed = false;
  std::vector<TProbedFile> FReady;
  int FProbed = 0;
  bool FFinished = false;
  std::thread FWorker; // last: starts once everything above exists
};
