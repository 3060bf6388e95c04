#pragma once
// The queue kept in a file beside the settings, so that it survives a restart, a crash or a power
// cut, with the progress of the run that converts it. The file:
//
//   [Queue]   Count    number of files
//             Profile  profile index of the run in progress (only while one runs)
//             Folder   output folder of that run
//   [File%d]  Path, Status (the row's Status text; "Converting" for the file being converted),
//             Reason (the Status tooltip), Output (output file), Type, Size, Duration, DurationMs,
//             HasVideo, TrimStart, TrimDuration, Aspect, Audio and Subtitles (the tracks kept, see
//             TTrackChoice; "all" when missing)
//
// Texts are written with "\\", "\n", "\r", "\t" and "\xHH" for backslashes and control characters,
// so any file name fits one line.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert/ConvertUnt.h"

// The Status column's text of a status, and back (-1 for a text that is none).
std::string StatusText(int32_t status);
int32_t StatusOfText(const std::string &text);

// A run as the file keeps it.
struct TQueueRun {
  int Running = -1; // queue position of the file being converted; -1: no run
  int32_t Profile = -1;
  std::string Folder;
};

struct TRestoredQueue {
  std::vector<std::unique_ptr<TInputFile>> Files;
  // Running >= 0: a run was cut off there; that file is back as not converted.
  TQueueRun Run;
  // Set when the file was damaged or unreadable: it was kept aside, and this tells the user.
  std::string Problem;
};

class TQueueStore {
public:
  explicit TQueueStore(std::string path) : FPath(std::move(path)) {}
  const std::string &Path() const { return FPath; }

  // The saved queue in its order. A file that can no longer be read comes back "Missing" with the
  // reason. A damaged queue file is renamed with ".bad" added and gives an empty queue.
  TRestoredQueue Load() const;
  // Writes the whole queue; false with the reason when the file cannot be written.
  bool Save(const TInputFileList &files, const TQueueRun &run, std::string &error) const;

private:
  std::string FPath;
};
