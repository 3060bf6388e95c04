#include "platform/IniFile.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

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
};

Lines ReadLines(const std::string &path) {
  Lines result;
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return result;
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  if (text.find("\r\n") != std::string::npos)
    result.Eol = "\r\n";
  std::size_t start = 0;
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
  return result;
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

// Quotes around a whole value are dropped, as the profile functions do.
std::string Unquote(const std::string &v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

} // namespace

IniFile::IniFile(std::string path) : FPath(std::move(path)) {}

bool IniFile::Exists() const {
  std::error_code ec;
  return std::filesystem::is_regular_file(FPath, ec);
}

std::string IniFile::ReadString(const std::string &section, const std::string &key, const std::string &def) const {
  const Lines lines = ReadLines(FPath);
  bool inSection = false;
  std::optional<std::string> found;
  for (const auto &line : lines.Items) {
    if (auto name = SectionName(line)) {
      if (found)
        break;
      inSection = SameName(*name, Trim(section));
      continue;
    }
    if (!inSection)
      continue;
    if (auto kv = KeyValue(line); kv && SameName(kv->first, Trim(key))) {
      found = Unquote(kv->second);
      break; // the first of duplicate keys wins
    }
  }
  std::string value = found ? *found : def;
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
  Lines lines = ReadLines(FPath);
  const std::string wantSection = Trim(section), wantKey = Trim(key);
  const std::string newLine = wantKey + "=" + value;

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

  // Write beside the file and rename over it, so a failed write never leaves half a settings file.
  const std::string temp = FPath + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out)
      return false;
    for (std::size_t i = 0; i < lines.Items.size(); ++i) {
      out << lines.Items[i];
      if (i + 1 < lines.Items.size() || lines.FinalEol)
        out << lines.Eol;
    }
    out.flush();
    if (!out) {
      std::error_code ec;
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, FPath, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}

bool IniFile::WriteInteger(const std::string &section, const std::string &key, int32_t value) {
  return WriteString(section, key, std::to_string(value));
}

} // namespace platform
