#include "platform/DataFolders.h"

#include "platform/ExeFolder.h"
#include "platform/IniFile.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char *SettingsName = "VideoConverter.ini";
constexpr const char *QueueName = "Queue.ini";

std::string Env(const char *name) {
  const char *value = std::getenv(name);
  return value ? value : "";
}

std::string Home() {
  const std::string home = Env("HOME");
  return home.empty() ? "/tmp" : home;
}

// A base folder of the user: only an absolute value counts, as the base-directory rules say.
std::string BaseFolder(const char *variable, const char *fallback) {
  const std::string value = Env(variable);
  return !value.empty() && value.front() == '/' ? value : Home() + fallback;
}

std::string ConfigHome() { return BaseFolder("XDG_CONFIG_HOME", "/.config"); }

// A folder of the user-dirs file ("XDG_VIDEOS_DIR=\"$HOME/Videos\""), or fallback when it names none.
std::string UserDir(const std::string &key, const std::string &fallback) {
  std::ifstream in(ConfigHome() + "/user-dirs.dirs");
  const std::string prefix = "XDG_" + key + "_DIR=";
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) != 0)
      continue;
    std::string value = line.substr(prefix.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0)
      value = Home() + value.substr(5);
    while (value.size() > 1 && value.back() == '/')
      value.pop_back();
    if (!value.empty() && value.front() == '/')
      return value;
  }
  return Home() + "/" + fallback;
}

// A profile section: "Format" or "Format<n>", in any case.
bool HoldsProfiles(const IniFile &ini) {
  for (std::string name : ini.SectionNames()) {
    for (char &c : name)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name.starts_with("format"))
      return true;
  }
  return false;
}

} // namespace

TDataFolders DataFoldersFor(const std::string &exeFolder, bool writable) {
  if (writable)
    return {true, exeFolder + SettingsName, exeFolder + QueueName, exeFolder + "output/", exeFolder + "Snapshot"};
  return {false, ConfigHome() + "/tavrelle/" + SettingsName,
          BaseFolder("XDG_STATE_HOME", "/.local/state") + "/tavrelle/" + QueueName,
          UserDir("VIDEOS", "Videos") + "/Tavrelle/", UserDir("PICTURES", "Pictures") + "/Tavrelle Snapshots"};
}

TDataFolders DataFolders() {
  const std::string folder = ExeFolder();
  return DataFoldersFor(folder, access(folder.c_str(), W_OK) == 0);
}

void SeedSettings(const TDataFolders &folders, const std::string &exeFolder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const std::string shipped = exeFolder + SettingsName;
  if (folders.Portable || !fs::exists(shipped, ec))
    return;
  // A file without profiles (emptied by a power cut, or written before the shipped file was there)
  // is taken as missing; it stays beside the new one. One that cannot be read is left as it is.
  if (const IniFile ini(folders.SettingsFile); ini.Exists()) {
    if (!ini.Readable() || HoldsProfiles(ini))
      return;
    fs::rename(folders.SettingsFile, folders.SettingsFile + ".bad", ec);
    if (ec)
      return;
  }
  // Without a copy the program starts with no profiles and writes only the user's choices.
  fs::create_directories(fs::path(folders.SettingsFile).parent_path(), ec);
  fs::copy_file(shipped, folders.SettingsFile, ec);
}

std::string SettingsFile() {
  const TDataFolders folders = DataFolders();
  SeedSettings(folders, ExeFolder());
  return folders.SettingsFile;
}

} // namespace platform
