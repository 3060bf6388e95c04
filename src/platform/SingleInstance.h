#pragma once
#include <string>

namespace platform {

// The named single-instance mark: a lock on a file of that name in the user's runtime folder.
// The kernel drops the lock when the process ends, so a crashed run never blocks the next start.
class SingleInstance {
public:
  explicit SingleInstance(const std::string &name);
  ~SingleInstance();
  SingleInstance(const SingleInstance &) = delete;
  SingleInstance &operator=(const SingleInstance &) = delete;

  // True when another process already holds the name.
  bool AlreadyExists() const { return FAlreadyExists; }

  static std::string LockFolder();
  // The local socket beside the lock file through which a second start hands over its files.
  static std::string ChannelPath(const std::string &name);

private:
  int FFd = -1;
  bool FAlreadyExists = false;
};

} // namespace platform
