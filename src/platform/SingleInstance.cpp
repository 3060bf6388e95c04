#include "platform/SingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string SingleInstance::LockFolder() {
  if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
    return runtime;
  const char *tmp = std::getenv("TMPDIR");
  // Per user, so two users of one machine do not block each other.
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/tavrelle-" + std::to_string(getuid());
}

std::string SingleInstance::ChannelPath(const std::string &name) {
  return LockFolder() + "/" + name + ".socket";
}

SingleInstance::SingleInstance(const std::string &name) {
  const std::string folder = LockFolder();
  mkdir(folder.c_str(), 0700);
  const std::string path = folder + "/" + name;
  FFd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (FFd < 0)
    return; // without a lock file we cannot tell; starting beats refusing to start
  if (flock(FFd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
    FAlreadyExists = true;
}

SingleInstance::~SingleInstance() {
  if (FFd >= 0)
    close(FFd);
}

} // namespace platform
