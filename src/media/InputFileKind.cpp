#include "media/InputFileKind.h"

#include <sys/stat.h>

std::string NotRegularFileText(const std::string &path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode))
    return {};
  const char *kind = S_ISFIFO(info.st_mode)  ? "a named pipe"
                     : S_ISSOCK(info.st_mode) ? "a socket"
                     : S_ISCHR(info.st_mode)  ? "a character device"
                     : S_ISBLK(info.st_mode)  ? "a block device"
                     : S_ISDIR(info.st_mode)  ? "a folder"
                                              : "a special file";
  return path + ": is " + kind + ", not a regular file";
}
