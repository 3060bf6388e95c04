#pragma once
// Windows profile-file semantics over a UTF-8 text file: names are matched case-insensitively,
// blanks around names and values are ignored, and writing a key rewrites only that line.
#include <cstdint>
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

  std::string ReadString(const std::string &section, const std::string &key, const std::string &def) const;
  // Decimal, or hexadecimal after "0x", "0X" or "$"; anything else yields the default.
  int32_t ReadInteger(const std::string &section, const std::string &key, int32_t def) const;

  // Each write re-reads the file, so separate writers of the same file never undo each other.
  // Returns false when the file cannot be written.
  bool WriteString(const std::string &section, const std::string &key, const std::string &value);
  bool WriteInteger(const std::string &section, const std::string &key, int32_t value);

  static bool ParseInteger(const std::string &text, int32_t &value);

private:
  std::string FPath;
};

} // namespace platform
