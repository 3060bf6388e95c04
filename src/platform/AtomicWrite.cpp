#include "platform/AtomicWrite.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool WriteAll(int fd, const std::string &content) {
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
    if (wrote < 0 && errno == EINTR)
      continue;
    if (wrote <= 0)
      return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

void SyncFolderOf(const std::string &path) {
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

} // namespace

bool ReplaceFileWhole(const std::string &path, const std::string &content, std::string &error) {
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    error = "cannot create a file beside " + path + ": " + std::strerror(errno);
    return false;
  }
  // The new file takes the old one's place with the old one's permissions.
  struct stat old {};
  ::fchmod(fd, ::stat(path.c_str(), &old) == 0 ? old.st_mode & 07777 : 0644);
  bool done = WriteAll(fd, content) && ::fsync(fd) == 0;
  int why = errno;
  if (::close(fd) != 0 && done) {
    done = false;
    why = errno;
  }
  if (done && ::rename(temp.c_str(), path.c_str()) != 0) {
    done = false;
    why = errno;
  }
  if (!done) {
    ::unlink(temp.c_str());
    error = "cannot write " + path + ": " + std::strerror(why);
    return false;
  }
  SyncFolderOf(path);
  return true;
}

} // namespace platform
