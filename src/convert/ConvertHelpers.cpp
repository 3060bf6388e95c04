#include "convert/ConvertHelpers.h"

#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>

std::string FormatSeconds(int32_t seconds) {
  if (seconds < 0)
    return "--:--:--";
  char text[48];
  std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d", seconds / 3600, seconds % 3600 / 60, seconds % 3600 % 60);
  return text;
}

std::string UpperCase(std::string text) {
  for (char &c : text)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string LowerCase(std::string text) {
  for (char &c : text)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string WithLowerCasePatterns(const std::string &list) { return list + LowerCase(list); }

bool InExtensionList(const char *list, const std::string &text) {
  return std::string(list).find(UpperCase(text)) != std::string::npos;
}

void FindVideoFiles(const std::string &folder, std::vector<std::string> &list) {
  // readdir keeps the file system's own order, which is the order the user sees files added in.
  DIR *dir = opendir(folder.c_str());
  if (!dir)
    return;
  while (const dirent *entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..")
      continue;
    const std::string path = folder + name;
    struct stat info {};
    // lstat: a link to a folder is not a plain folder, and following links could loop.
    const bool plainFolder = lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && name[0] != '.';
    if (plainFolder) {
      FindVideoFiles(path + "/", list);
      continue;
    }
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && InExtensionList(VideoExtensions, name.substr(dot) + ";"))
      list.push_back(path);
  }
  closedir(dir);
}
