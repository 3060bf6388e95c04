#include "platform/WholeFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool Fail(std::string &error, const std::string &what) {
  error = what + " (" + std::strerror(errno) + ")";
  return false;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t put = ::write(fd, data.data(), data.size());
    if (put < 0 && errno == EINTR)
      continue;
    if (put <= 0)
      return false;
    data.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

// A rename is only lasting once the folder that holds the name is synced too.
void SyncFolder(const std::string &folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  ::fsync(fd);
  ::close(fd);
}

// The temporary file is written and synced; false with the reason, the file then closed.
bool FillTemporary(int fd, const std::string &target, std::string_view contents, std::string &error,
                   const std::function<void(const char *)> &step) {
  const std::size_t half = contents.size() / 2;
  bool ok = WriteAll(fd, contents.substr(0, half));
  if (ok)
    step("half written");
  ok = ok && WriteAll(fd, contents.substr(half));
  if (ok)
    step("written");
  // The replaced file's permissions carry over; a new file keeps the usual ones for the user's umask.
  if (struct stat old {}; ok && ::stat(target.c_str(), &old) == 0)
    ::fchmod(fd, old.st_mode & 07777);
  else if (ok) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  ok = ok && ::fsync(fd) == 0;
  if (!ok)
    Fail(error, "cannot write " + target);
  ::close(fd);
  return ok;
}

} // namespace

std::string WriteTargetOf(const std::string &path) {
  namespace fs = std::filesystem;
  fs::path target = path;
  std::error_code ec;
  // A bound on the chain, as the system has one: a loop of links never hangs the save.
  for (int hops = 0; hops < 40 && fs::is_symlink(target, ec); ++hops) {
    const fs::path next = fs::read_symlink(target, ec);
    if (ec)
      break;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target.string();
}

bool WriteWholeFile(const std::string &path, std::string_view contents, std::string &error,
                    const std::function<void(const char *step)> &atStep) {
  const auto step = [&](const char *name) {
    if (atStep)
      atStep(name);
  };
  const std::string target = WriteTargetOf(path);
  std::string temp = target + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0)
    return Fail(error, "cannot create " + temp);
  step("created");
  if (!FillTemporary(fd, target, contents, error, step)) {
    ::unlink(temp.c_str());
    return false;
  }
  step("synced");
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    Fail(error, "cannot replace " + target);
    ::unlink(temp.c_str());
    return false;
  }
  step("renamed");
  const std::string folder = std::filesystem::path(target).parent_path().string();
  SyncFolder(folder.empty() ? "." : folder);
  return true;
}

std::string WriteProblemIn(const std::string &folder) {
  std::string probe = (folder.empty() || folder.back() == '/' ? folder : folder + "/") + ".tavrelle-XXXXXX";
  const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
  if (fd < 0)
    return std::strerror(errno);
  // A full disk still lets a name be made: one byte written and synced shows it.
  const bool written = ::write(fd, "", 1) == 1 && ::fsync(fd) == 0;
  const std::string problem = written ? std::string() : std::strerror(errno);
  ::close(fd);
  ::unlink(probe.c_str());
  return problem;
}

} // namespace platform
