#include "edit/SnapShot.h"

#include "edit/JpegWriter.h"
#include "engine/Bitmap.h"
#include "platform/DataFolders.h"
#include "profiles/tvlIniUnt.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Reason(int error) {
  return std::error_code(error, std::generic_category()).message();
}

bool WriteAll(int fd, const std::vector<uint8_t> &bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A fresh file beside the target, named so that no other writer picks it; -1 with errno on failure.
int CreateTemporary(const std::string &path, std::string &temporary) {
  static std::atomic<unsigned> counter{0};
  const fs::path target(path);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = (target.parent_path() / ("." + target.filename().string() + "." + std::to_string(::getpid()) +
                                         "-" + std::to_string(counter++)))
                    .string();
    // The mode the user's umask allows, as for any other file the program writes.
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST)
      return fd;
  }
  return -1;
}

std::string TimeBaseNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  ::localtime_r(&seconds, &local);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  return SnapShotTimeBase(local, static_cast<int>(ms));
}

} // namespace

const char *SnapShotExtension(int32_t format) {
  return format == sfBmp ? ".bmp" : ".jpg";
}

std::string SnapShotBase(const std::string &caption) {
  return fs::path(caption).filename().stem().string();
}

std::string SnapShotTimeBase(const std::tm &local, int milliseconds) {
  char text[64];
  std::snprintf(text, sizeof text, "%.4d%.2d%.2d %.2d%.2d%.2d%.3d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, milliseconds);
  return text;
}

std::string FirstFreeFileName(const std::string &folder, const std::string &base, const std::string &ext) {
  std::string candidate = folder + base + ext;
  std::error_code ec;
  for (unsigned n = 1; fs::exists(fs::symlink_status(candidate, ec)); ++n)
    candidate = folder + base + "_" + std::to_string(n) + ext;
  return candidate;
}

bool SaveSnapShot(const TBitmap &bitmap, const std::string &path, int32_t format, std::string &error) {
  std::vector<uint8_t> jpeg;
  if (format != sfBmp && !EncodeJpeg(bitmap, JpegQuality, jpeg, error))
    return false;
  std::string temporary;
  const int fd = CreateTemporary(path, temporary);
  if (fd < 0) {
    error = Reason(errno);
    return false;
  }
  bool written;
  if (format == sfBmp) {
    ::close(fd);
    errno = 0;
    written = bitmap.SaveToFile(temporary);
  } else {
    errno = 0;
    written = WriteAll(fd, jpeg);
    written = ::close(fd) == 0 && written;
  }
  if (written && ::rename(temporary.c_str(), path.c_str()) == 0)
    return true;
  error = errno ? Reason(errno) : "the picture could not be written";
  ::unlink(temporary.c_str());
  return false;
}

std::string SnapShotFolder(const TIniOptions &settings) {
  return settings.SnapShotFolder.empty() ? platform::DataFolders().SnapshotFolder : settings.SnapShotFolder;
}

bool TakeSnapShot(const TBitmap *picture, const TIniOptions &settings, const std::string &caption,
                  std::string &path, std::string &error) {
  path.clear();
  std::string folder = SnapShotFolder(settings);
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    fs::create_directory(folder, ec);
    std::error_code probe;
    if (!fs::is_directory(folder, probe)) {
      const std::string reason = ec ? ec.message() : Reason(EEXIST);
      error = "The snapshot folder \"" + folder + "\" cannot be created: " + reason + ".";
      return false;
    }
  }
  if (!picture || picture->Width() <= 0 || picture->Height() <= 0)
    return true;
  if (folder.back() != '/')
    folder += '/';
  const char *ext = SnapShotExtension(settings.SnapShotFormat);
  // Two pictures in the same millisecond would share the time name: the later ones get "_1", "_2", ….
  const std::string base = settings.SnapShotName == snTime ? TimeBaseNow() : SnapShotBase(caption);
  const std::string target = FirstFreeFileName(folder, base, ext);
  if (!SaveSnapShot(*picture, target, settings.SnapShotFormat, error)) {
    error = "The snapshot cannot be saved in the folder \"" + folder + "\": " + error + ".";
    return false;
  }
  path = target;
  return true;
}
