#pragma once
// Where the program keeps what it writes. A portable copy (its folder writable) keeps everything
// beside the executable; an installed copy uses the user's folders.
#include <string>

namespace platform {

struct TDataFolders {
  bool Portable = true;
  std::string SettingsFile;   // read at start, written at exit
  std::string QueueFile;      // the queue and the progress of its run, kept across starts
  std::string OutputFolder;   // default output folder, with a trailing "/"
  std::string SnapshotFolder; // default snapshot folder
};

// The one place that decides: from the writability of the program's folder.
TDataFolders DataFolders();
// The same decision for a given program folder; the user's folders come from the environment
// ($XDG_CONFIG_HOME, $XDG_STATE_HOME, $HOME and the user-dirs file that xdg-user-dir reads).
TDataFolders DataFoldersFor(const std::string &exeFolder, bool writable);

// The settings file of DataFolders(). An installed copy's first start copies the shipped settings
// there, so the profiles come along.
std::string SettingsFile();
// Copies the shipped settings of exeFolder to folders.SettingsFile when that does not exist yet, or
// holds no profile (the old file is kept with the suffix ".bad").
void SeedSettings(const TDataFolders &folders, const std::string &exeFolder);

} // namespace platform
