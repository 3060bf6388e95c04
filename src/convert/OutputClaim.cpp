#include "convert/OutputClaim.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string FolderOf(const std::string &path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

bool SameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

void SyncFolder(const std::string &path) {
  const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// Removes the regular file at path unless it is something else.
void RemoveFile(const std::string &path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
    ::unlink(path.c_str());
}

// A new file under a name no one else uses, locked before anyone can see it under the temporary
// name: made under a private name, then linked. -1 when the folder refuses; linkError is 0 when the
// link was made, else why not.
int CreateLocked(const std::string &temp, int &linkError) {
  static std::atomic<unsigned> counter{0};
  const std::string own = temp + "." + std::to_string(::getpid()) + "." + std::to_string(counter++);
  const int fd = ::open(own.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
  linkError = errno;
  if (fd < 0)
    return -1;
  ::flock(fd, LOCK_EX | LOCK_NB);
  linkError = ::link(own.c_str(), temp.c_str()) == 0 ? 0 : errno;
  ::unlink(own.c_str());
  return fd;
}

} // namespace

std::string TemporaryOutputName(const std::string &finalName) {
  const auto slash = finalName.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : finalName.substr(0, slash + 1);
  return folder + "." + finalName.substr(slash + 1) + ".part";
}

bool OutputNameClaimed(const std::string &finalName) {
  const std::string temp = TemporaryOutputName(finalName);
  const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0)
    // What cannot be opened cannot be judged: only a missing file leaves the name free.
    return errno != ENOENT && errno != ENOTDIR;
  struct stat opened {};
  bool held = ::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  if (!held) {
    // Abandoned by a program that ended without finishing it. Removed only while the name still
    // leads to the file just judged.
    struct stat now {};
    if (::lstat(temp.c_str(), &now) == 0 && SameFile(now, opened))
      ::unlink(temp.c_str());
  }
  ::close(fd);
  return held;
}

TOutputClaim::~TOutputClaim() {
  if (Held())
    RemoveFile(FTemp);
  Release();
}

void TOutputClaim::Release() {
  if (FFd >= 0)
    ::close(FFd);
  FFd = -1;
}

bool TOutputClaim::Claim(const std::string &finalName, std::string &error) {
  const std::string temp = TemporaryOutputName(finalName);
  int why = 0;
  int fd = CreateLocked(temp, why);
  if (fd >= 0 && why == EEXIST && !OutputNameClaimed(finalName)) {
    ::close(fd);
    fd = CreateLocked(temp, why);
  }
  if (fd >= 0 && why != 0 && why != EEXIST) {
    // File systems without hard links (FAT on memory cards) take the file directly; the lock follows
    // at once.
    ::close(fd);
    fd = ::open(temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    why = fd >= 0 ? 0 : errno;
    if (fd >= 0)
      ::flock(fd, LOCK_EX | LOCK_NB);
  }
  if (fd < 0 || why != 0) {
    error = "Could not open '" + finalName + "': " +
            (why == EEXIST ? std::string("another conversion writes it") : std::strerror(why));
    if (fd >= 0)
      ::close(fd);
    return false;
  }
  Release();
  FFd = fd;
  FFinal = finalName;
  FTemp = temp;
  return true;
}

bool TOutputClaim::Finish(bool keep, std::string &error) {
  if (!Held())
    return true;
  struct stat info {};
  const bool written = ::stat(FTemp.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
  bool moved = false;
  if (keep && written) {
    // On disk before it has its final name: after a power cut a finished name never holds less.
    if (const int fd = ::open(FTemp.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
      ::fsync(fd);
      ::close(fd);
    }
    moved = ::rename(FTemp.c_str(), FFinal.c_str()) == 0;
    if (!moved)
      error = "cannot rename \"" + FTemp + "\" to \"" + FFinal + "\": " + std::strerror(errno);
    else
      SyncFolder(FFinal);
  }
  if (!moved)
    RemoveFile(FTemp);
  Release();
  return moved || !(keep && written);
}
