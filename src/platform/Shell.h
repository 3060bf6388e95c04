#pragma once
// Opening folders and documents with the desktop's own programs.
#include <memory>
#include <string>
#include <vector>

namespace platform {

class TShell {
public:
  virtual ~TShell() = default;
  // Opens a folder or a document without waiting for it; false when no program could be started.
  virtual bool Open(const std::string &path) = 0;
};

// Starts "xdg-open" with the path as its one argument, never through a shell.
class TXdgShell : public TShell {
public:
  bool Open(const std::string &path) override;
};

// Records the paths instead of opening anything; Missing makes it fail as a desktop without the
// programs does.
class TRecordingShell : public TShell {
public:
  bool Open(const std::string &path) override;
  std::vector<std::string> Opened;
  bool Missing = false;
};

TShell &Shell();
void SetShell(std::unique_ptr<TShell> shell);

// Starts a program detached from ours with the given arguments and returns at once, never waiting
// for it to end; false when it could not start.
bool SpawnDetached(const std::vector<std::string> &argv);

} // namespace platform
