#include "platform/DataFolders.h"
#include "platform/ExeFolder.h"

#include "../TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Sets an environment variable for one test and puts the old value back.
class TEnvVar {
public:
  TEnvVar(const char *name, const std::optional<std::string> &value) : FName(name) {
    if (const char *old = std::getenv(name))
      FOld = old;
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~TEnvVar() {
    if (FOld)
      setenv(FName, FOld->c_str(), 1);
    else
      unsetenv(FName);
  }

private:
  const char *FName;
  std::optional<std::string> FOld;
};

class DataFolders : public ::testing::Test {
protected:
  TTempFolder Home, Program;
  TEnvVar HomeVar{"HOME", Home.Path().string()};
  TEnvVar ConfigVar{"XDG_CONFIG_HOME", std::nullopt};
  TEnvVar StateVar{"XDG_STATE_HOME", std::nullopt};
};

TEST_F(DataFolders, AWritableProgramFolderKeepsEverythingBesideTheProgram) {
  const auto folders = platform::DataFoldersFor(Program.Folder(), true);
  EXPECT_TRUE(folders.Portable);
  EXPECT_EQ(folders.SettingsFile, Program.Folder() + "VideoConverter.ini");
  EXPECT_EQ(folders.QueueFile, Program.Folder() + "Queue.ini");
  EXPECT_EQ(folders.OutputFolder, Program.Folder() + "output/");
  EXPECT_EQ(folders.SnapshotFolder, Program.Folder() + "Snapshot");
}

TEST_F(DataFolders, AReadOnlyProgramFolderUsesTheUsersFolders) {
  const std::string home = Home.Path().string();
  {
    SCOPED_TRACE("no user-dirs file: the usual folder names under home");
    const auto folders = platform::DataFoldersFor(Program.Folder(), false);
    EXPECT_FALSE(folders.Portable);
    EXPECT_EQ(folders.SettingsFile, home + "/.config/tavrelle/VideoConverter.ini");
    EXPECT_EQ(folders.QueueFile, home + "/.local/state/tavrelle/Queue.ini");
    EXPECT_EQ(folders.OutputFolder, home + "/Videos/Tavrelle/");
    EXPECT_EQ(folders.SnapshotFolder, home + "/Pictures/Tavrelle Snapshots");
  }
  {
    SCOPED_TRACE("the user-dirs file of XDG_CONFIG_HOME names the folders");
    TTempFolder config;
    config.Write("user-dirs.dirs", "# written by xdg-user-dirs-update\n"
                                   "XDG_VIDEOS_DIR=\"$HOME/Filme\"\n"
                                   "XDG_PICTURES_DIR=\"/srv/bilder/\"\n");
    TEnvVar configVar("XDG_CONFIG_HOME", config.Path().string());
    TEnvVar stateVar("XDG_STATE_HOME", "/srv/state");
    const auto folders = platform::DataFoldersFor(Program.Folder(), false);
    EXPECT_EQ(folders.SettingsFile, config.Path().string() + "/tavrelle/VideoConverter.ini");
    EXPECT_EQ(folders.QueueFile, "/srv/state/tavrelle/Queue.ini");
    EXPECT_EQ(folders.OutputFolder, home + "/Filme/Tavrelle/");
    EXPECT_EQ(folders.SnapshotFolder, "/srv/bilder/Tavrelle Snapshots");
  }
  {
    SCOPED_TRACE("a relative XDG_CONFIG_HOME does not count");
    TEnvVar configVar("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(platform::DataFoldersFor(Program.Folder(), false).SettingsFile,
              home + "/.config/tavrelle/VideoConverter.ini");
  }
}

TEST_F(DataFolders, TheFirstStartOfAnInstalledCopyCopiesTheShippedSettingsOnce) {
  Program.Write("VideoConverter.ini", "[Format]\nCount=1\n");
  const auto installed = platform::DataFoldersFor(Program.Folder(), false);
  platform::SeedSettings(installed, Program.Folder());
  EXPECT_EQ(TTempFolder::ReadFile(installed.SettingsFile), "[Format]\nCount=1\n");

  // The user's own settings are never replaced by the shipped ones.
  std::ofstream(installed.SettingsFile) << "[Format]\nCount=2\n[Output]\nFormat=3\n";
  platform::SeedSettings(installed, Program.Folder());
  EXPECT_EQ(TTempFolder::ReadFile(installed.SettingsFile), "[Format]\nCount=2\n[Output]\nFormat=3\n");
  // One without profiles (a power cut emptied it) is taken as missing, and kept beside the new one.
  for (const std::string broken : {"", "[Output]\nFormat=3\n"}) {
    std::ofstream(installed.SettingsFile) << broken;
    platform::SeedSettings(installed, Program.Folder());
    EXPECT_EQ(TTempFolder::ReadFile(installed.SettingsFile), "[Format]\nCount=1\n");
    EXPECT_EQ(TTempFolder::ReadFile(installed.SettingsFile + ".bad"), broken);
  }

  // A portable copy reads its settings where they are: nothing is copied.
  std::filesystem::remove_all(Home.Path() / ".config");
  platform::SeedSettings(platform::DataFoldersFor(Program.Folder(), true), Program.Folder());
  EXPECT_FALSE(std::filesystem::exists(installed.SettingsFile));
}

TEST_F(DataFolders, TheProgramFoldersWritabilityDecides) {
  platform::SetExeFolder(Program.Folder());
  EXPECT_TRUE(platform::DataFolders().Portable);
  EXPECT_EQ(platform::SettingsFile(), Program.Folder() + "VideoConverter.ini");
  chmod(Program.Path().c_str(), 0555);
  // The superuser may write anywhere, so only an ordinary user sees the installed case.
  if (geteuid() != 0) {
    EXPECT_FALSE(platform::DataFolders().Portable);
  }
  chmod(Program.Path().c_str(), 0755);
  platform::SetExeFolder("");
}

} // namespace
