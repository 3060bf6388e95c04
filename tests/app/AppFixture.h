#pragma once
// A temporary installation folder for the program's windows, with recording fakes for the shell and
// the dialogs, and the installed pictures of the build linked in.
#include "../TempFolder.h"
#include "platform/Dialogs.h"
#include "platform/ExeFolder.h"
#include "platform/ScriptedDialogs.h"
#include "platform/Shell.h"
#include "profiles/tvlIniUnt.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <filesystem>

// The installation the build made: the program and its data.
inline std::string BinDir() {
  return TVL_INSTALL_DIR "/";
}

class TAppFixture : public ::testing::Test {
protected:
  void SetUp() override {
    platform::SetExeFolder(Install.Folder());
    IniOptions = TIniOptions{};
    auto shell = std::make_unique<platform::TRecordingShell>();
    Shell = shell.get();
    platform::SetShell(std::move(shell));
    auto dialogs = std::make_unique<platform::TScriptedDialogs>();
    Dialogs = dialogs.get();
    platform::SetDialogs(std::move(dialogs));
    qApp->setStyleSheet(QString());
    if (std::filesystem::is_directory(BinDir() + "VideoRes"))
      std::filesystem::create_directory_symlink(BinDir() + "VideoRes", Install.Path() / "VideoRes");
  }
  void TearDown() override {
    platform::SetExeFolder("");
    IniOptions = TIniOptions{};
    qApp->setStyleSheet(QString());
  }

  bool HasPictures() const { return std::filesystem::exists(Install.Path() / "VideoRes"); }

  TTempFolder Install;
  platform::TRecordingShell *Shell = nullptr;
  platform::TScriptedDialogs *Dialogs = nullptr;
};
