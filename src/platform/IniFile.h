#pragma once
// Windows profile-file semantics over a UTF-8 text file: names are matched case-insensitively,
// blanks around names and values are ignored, and writing a key rewrites only that line. Writes change
// the file in memory (reads see them at once); Save writes them all as one whole file. Values written
// here read back unchanged; one with a line break is refused.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class IniFile {
public:
  // A value is read through a buffer of this many characters (the last one is the terminator).
  static constexpr std::size_t ValueBufferSize = 2048;

  explicit IniFile(std::string path);

  const std::string &Path() const { return FPath; }
  bool Exists() const;

  // False, with the reason, when the file exists but cannot be read. Reads then give the defaults and
  // writes fail, so the file is never replaced by one that lacks what could not be read.
  bool Readable(std::string *reason = nullptr) const;
  // The names of the sections, in file order.
  std::vector<std::string> SectionNames() const;

  std::string ReadString(const std::string &section, const std::string &key, const std::string &def) const;
  // Decimal, or hexadecimal after "0x", "0X" or "$"; anything else yields the default.
  int32_t ReadInteger(const std::string &section, const std::string &key, int32_t def) const;

  // False, with LastError saying why, for a value that cannot be stored (one with a line break).
  bool WriteString(const std::string &section, const std::string &key, const std::string &value);
  bool WriteInteger(const std::string &section, const std::string &key, int32_t value);
  // Writes the changes made since the last save into the file as it is now, as one whole file (see
  // WriteWholeFile). False, with LastError saying why, when the file cannot be read or written; the
  // changes are then kept for another try.
  bool Save();

  const std::string &LastError() const { return FLastError; }

  static bool ParseInteger(const std::string &text, int32_t &value);

private:
  struct TParsed;
  // Reads parse the file once while it stays unchanged: a long profile list would otherwise be
  // re-read for each of its keys.
  const TParsed &Parsed() const;
  struct TPendingValue {
    std::string Section, Key, Value;
  };
  std::optional<std::string> PendingValue(const std::string &section, const std::string &key) const;
  std::string FPath;
  std::vector<TPendingValue> FPending;
  mutable std::shared_ptr<const TParsed> FParsed, FLastParsed;
  std::string FLastError;
};

} // namespace platform
