#include "convert/ConvertHelpers.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <dirent.h>
#include <sys/stat.h>

std::string FormatSeconds(int32_t seconds) {
  if (seconds < 0)
    return "--:--:--";
  char text[48];
  std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d", seconds / 3600, seconds % 3600 / 60, seconds % 3600 % 60);
  return text;
}

namespace {

char UpperChar(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The run of digits starting at i, without its leading zeros; i moves past the run.
std::string_view DigitRun(std::string_view text, std::size_t &i) {
  const std::size_t start = i;
  while (i < text.size() && IsDigit(text[i]))
    ++i;
  std::size_t first = start;
  while (first + 1 < i && text[first] == '0')
    ++first;
  return text.substr(first, i - first);
}

// Negative, zero or positive as a sorts before, with or after b, ignoring case and digit widths.
int NaturalCompare(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      // Compared as text, so a run of any length is compared without overflow.
      const std::string_view x = DigitRun(a, i), y = DigitRun(b, j);
      if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
      if (const int c = x.compare(y); c != 0)
        return c;
      continue;
    }
    // Folded to upper case, as Windows file systems order names: "_" comes after the letters.
    const auto x = static_cast<unsigned char>(UpperChar(a[i]));
    const auto y = static_cast<unsigned char>(UpperChar(b[j]));
    if (x != y)
      return x < y ? -1 : 1;
    ++i;
    ++j;
  }
  // The shorter of two names that agree so far comes first.
  return static_cast<int>(i < a.size()) - static_cast<int>(j < b.size());
}

} // namespace

std::string UpperCase(std::string text) {
  for (char &c : text)
    c = UpperChar(c);
  return text;
}

std::string LowerCase(std::string text) {
  for (char &c : text)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool InExtensionList(const char *list, const std::string &text) {
  return std::string(list).find(UpperCase(text)) != std::string::npos;
}

bool NaturalNameLess(const std::string &a, const std::string &b) {
  const int c = NaturalCompare(a, b);
  return c != 0 ? c < 0 : a < b;
}

void FindVideoFiles(const std::string &folder, std::vector<std::string> &list,
                    const std::function<bool()> &stopped) {
  if (stopped && stopped())
    return;
  // Linux lists a folder in hash order; users expect a numbered series in its order. The folder is
  // read whole and closed before descending, so deep trees hold no directory handles open.
  std::vector<std::string> names;
  DIR *dir = opendir(folder.c_str());
  if (!dir)
    return;
  while (const dirent *entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..")
      names.push_back(std::move(name));
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), NaturalNameLess);
  for (const std::string &name : names) {
    const std::string path = folder + name;
    struct stat info {};
    // lstat: a link to a folder is not a plain folder, and following links could loop.
    const bool plainFolder = lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && name[0] != '.';
    if (plainFolder) {
      FindVideoFiles(path + "/", list, stopped);
      if (stopped && stopped())
        return;
      continue;
    }
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && InExtensionList(VideoExtensions, name.substr(dot) + ";"))
      list.push_back(path);
  }
}
