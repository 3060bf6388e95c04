#include "platform/IniFile.h"

#include "platform/WholeFile.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <unistd.h>

namespace platform {
namespace {

std::string Trim(const std::string &s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos)
    return {};
  const auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

bool SameName(const std::string &a, const std::string &b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : char(c); };
    if (lower(a[i]) != lower(b[i]))
      return false;
  }
  return true;
}

struct Lines {
  std::vector<std::string> Items;
  std::string Eol = "\n";
  bool FinalEol = true;
  // A UTF-8 byte-order mark before the first line; kept on writing.
  bool Bom = false;
};

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

// The whole file; an absent file is empty. False with the reason when the file exists but cannot
// be read, so that nobody mistakes it for an empty one and writes over it.
bool ReadText(const std::string &path, std::string &text, std::string &error) {
  text.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      return true;
    error = std::strerror(errno);
    return false;
  }
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0) {
      error = std::strerror(errno);
      ::close(fd);
      text.clear();
      return false;
    }
    if (got == 0)
      break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return true;
}

bool ReadLines(const std::string &path, Lines &result, std::string &error) {
  std::string text;
  if (!ReadText(path, text, error))
    return false;
  std::size_t start = 0;
  if (text.starts_with(Utf8Bom)) {
    result.Bom = true;
    start = Utf8Bom.size();
  }
  if (text.find("\r\n") != std::string::npos)
    result.Eol = "\r\n";
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string::npos) {
      result.Items.push_back(text.substr(start));
      result.FinalEol = false;
      break;
    }
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    result.Items.push_back(std::move(line));
    start = end + 1;
  }
  return true;
}

// "[name]" → name; anything else → nothing.
std::optional<std::string> SectionName(const std::string &line) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[')
    return std::nullopt;
  const auto close = t.find(']');
  if (close == std::string::npos)
    return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

// "key=value" → (key, value), both trimmed; comments and other lines → nothing.
std::optional<std::pair<std::string, std::string>> KeyValue(const std::string &line) {
  const std::string t = Trim(line);
  if (t.empty() || t.front() == ';')
    return std::nullopt;
  const auto eq = t.find('=');
  if (eq == std::string::npos)
    return std::nullopt;
  return std::make_pair(Trim(t.substr(0, eq)), Trim(t.substr(eq + 1)));
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// Quotes around a whole value are dropped, as the profile functions do.
std::string Unquote(const std::string &v) {
  if (v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

// The form a value is written in so that reading gives it back unchanged: blanks at its ends and
// quotes around it would be dropped by the reader, so such a value gets one more pair of quotes.
std::string Quoted(const std::string &v) {
  const bool blankEnds = !v.empty() && (Trim(v).size() != v.size());
  const bool quotedEnds = v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front();
  return blankEnds || quotedEnds ? '"' + v + '"' : v;
}

bool Fail(std::string &error, std::string text) {
  error = std::move(text);
  return false;
}

// Sets key of section in the lines: in place when present, else at the end of the section, else in a
// new section at the end.
void SetKey(Lines &lines, const std::string &section, const std::string &key, const std::string &value) {
  const std::string wantSection = Trim(section), wantKey = Trim(key);
  const std::string newLine = wantKey + "=" + Quoted(value);
  std::optional<std::size_t> sectionAt, keyAt, lastEntryAt;
  for (std::size_t i = 0; i < lines.Items.size(); ++i) {
    if (auto name = SectionName(lines.Items[i])) {
      if (sectionAt)
        break;
      if (SameName(*name, wantSection)) {
        sectionAt = i;
        lastEntryAt = i;
      }
      continue;
    }
    if (!sectionAt)
      continue;
    if (!Trim(lines.Items[i]).empty())
      lastEntryAt = i;
    if (auto kv = KeyValue(lines.Items[i]); kv && SameName(kv->first, wantKey)) {
      keyAt = i;
      break;
    }
  }
  if (keyAt)
    lines.Items[*keyAt] = newLine;
  else if (sectionAt)
    lines.Items.insert(lines.Items.begin() + static_cast<std::ptrdiff_t>(*lastEntryAt + 1), newLine);
  else {
    lines.Items.push_back("[" + wantSection + "]");
    lines.Items.push_back(newLine);
  }
}

std::string Text(const Lines &lines) {
  std::string text = lines.Bom ? std::string(Utf8Bom) : std::string();
  for (std::size_t i = 0; i < lines.Items.size(); ++i) {
    text += lines.Items[i];
    if (i + 1 < lines.Items.size() || lines.FinalEol)
      text += lines.Eol;
  }
  return text;
}

} // namespace

IniFile::IniFile(std::string path) : FPath(std::move(path)) {}

bool IniFile::Exists() const {
  std::error_code ec;
  return std::filesystem::is_regular_file(FPath, ec);
}

// The file as the reads see it, parsed once for as long as the file stays the same.
struct IniFile::TParsed {
  // Device, inode, size and change time: a write through this class or any other program changes one.
  struct stat Stamp {};
  bool Readable = true;
  std::string Error;
  std::vector<std::string> Sections;
  // Lower-case section → lower-case key → value; the first of duplicate keys wins.
  std::unordered_map<std::string, std::unordered_map<std::string, std::string>> Values;
};

namespace {

std::string Lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z')
      c = char(c + 32);
  return s;
}

bool SameStamp(const struct stat &a, const struct stat &b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

} // namespace

const IniFile::TParsed &IniFile::Parsed() const {
  struct stat now {};
  const bool present = ::stat(FPath.c_str(), &now) == 0;
  if (FParsed && present && SameStamp(FParsed->Stamp, now))
    return *FParsed;
  auto parsed = std::make_shared<TParsed>();
  if (present)
    parsed->Stamp = now;
  Lines lines;
  parsed->Readable = ReadLines(FPath, lines, parsed->Error);
  std::string section;
  bool inSection = false;
  for (const auto &line : lines.Items) {
    if (auto name = SectionName(line)) {
      parsed->Sections.push_back(*name);
      section = Lower(*name);
      inSection = true;
      continue;
    }
    if (!inSection)
      continue;
    if (auto kv = KeyValue(line))
      parsed->Values[section].emplace(Lower(kv->first), Unquote(kv->second));
  }
  // An absent file is never cached: it may appear at any moment with a stamp of its own.
  FParsed = present ? parsed : nullptr;
  FLastParsed = parsed;
  return *FLastParsed;
}

bool IniFile::Readable(std::string *reason) const {
  const TParsed &parsed = Parsed();
  if (!parsed.Readable && reason)
    *reason = parsed.Error;
  return parsed.Readable;
}

std::vector<std::string> IniFile::SectionNames() const {
  return Parsed().Sections;
}

std::optional<std::string> IniFile::PendingValue(const std::string &section, const std::string &key) const {
  for (auto change = FPending.rbegin(); change != FPending.rend(); ++change)
    if (SameName(Trim(change->Section), Trim(section)) && SameName(Trim(change->Key), Trim(key)))
      return change->Value;
  return std::nullopt;
}

std::string IniFile::ReadString(const std::string &section, const std::string &key, const std::string &def) const {
  const TParsed &parsed = Parsed();
  std::string value = def;
  if (const auto pending = PendingValue(section, key))
    value = *pending;
  else if (const auto s = parsed.Values.find(Lower(Trim(section))); s != parsed.Values.end())
    if (const auto k = s->second.find(Lower(Trim(key))); k != s->second.end())
      value = k->second;
  if (value.size() > ValueBufferSize - 1)
    value.resize(ValueBufferSize - 1);
  return value;
}

bool IniFile::ParseInteger(const std::string &text, int32_t &value) {
  std::string t = Trim(text);
  int base = 10;
  std::size_t skip = 0;
  if (t.rfind("0x", 0) == 0 || t.rfind("0X", 0) == 0) {
    base = 16;
    skip = 2;
  } else if (!t.empty() && t.front() == '$') {
    base = 16;
    skip = 1;
  }
  const char *first = t.data() + skip;
  const char *last = t.data() + t.size();
  if (first == last)
    return false;
  if (base == 16) {
    // Hexadecimal is a bit pattern: "$FFFFFFFF" is -1.
    uint32_t bits = 0;
    auto [end, ec] = std::from_chars(first, last, bits, 16);
    if (ec != std::errc() || end != last)
      return false;
    value = static_cast<int32_t>(bits);
    return true;
  }
  if (*first == '+')
    ++first;
  auto [end, ec] = std::from_chars(first, last, value, 10);
  return ec == std::errc() && end == last;
}

int32_t IniFile::ReadInteger(const std::string &section, const std::string &key, int32_t def) const {
  int32_t value = 0;
  return ParseInteger(ReadString(section, key, ""), value) ? value : def;
}

bool IniFile::WriteString(const std::string &section, const std::string &key, const std::string &value) {
  FLastError.clear();
  // A line break would end the line early and start a forged key or section.
  if (value.find_first_of("\r\n") != std::string::npos)
    return Fail(FLastError, "a value of [" + section + "] " + key + " holds a line break");
  FPending.push_back({section, key, value});
  return true;
}

bool IniFile::Save() {
  FLastError.clear();
  if (FPending.empty())
    return true;
  // The file is read again at the save: only the keys changed here are replaced, so separate
  // writers of the same file never undo each other's other keys.
  Lines lines;
  if (std::string error; !ReadLines(FPath, lines, error))
    return Fail(FLastError, "the file cannot be read (" + error + ")");
  for (const TPendingValue &change : FPending)
    SetKey(lines, change.Section, change.Key, change.Value);
  if (!WriteWholeFile(FPath, Text(lines), FLastError))
    return false;
  FPending.clear();
  return true;
}

bool IniFile::WriteInteger(const std::string &section, const std::string &key, int32_t value) {
  return WriteString(section, key, std::to_string(value));
}

} // namespace platform
