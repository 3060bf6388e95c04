#include "platform/ExeFolder.h"

#include <filesystem>
#include <mutex>

namespace platform {
namespace {
std::mutex FolderLock;
std::string FolderOverride; // guarded by FolderLock

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/')
    folder += '/';
  return folder;
}
} // namespace

std::string ExeFolder() {
  {
    std::lock_guard guard(FolderLock);
    if (!FolderOverride.empty())
      return FolderOverride;
  }
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec)
    return WithSlash(std::filesystem::current_path(ec).string());
  return WithSlash(exe.parent_path().string());
}

void SetExeFolder(const std::string &folder) {
  std::lock_guard guard(FolderLock);
  FolderOverride = folder.empty() ? std::string() : WithSlash(folder);
}

} // namespace platform
