#include "platform/IniFile.h"
#include "platform/WholeFile.h"

#include "../TempFolder.h"
#include "../Unprivileged.h"

#include <cerrno>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

using platform::IniFile;

TEST(IniFile, ReadsWindowsStyleFiles) {
  TTempFolder dir;
  const auto path = dir.Write("a.ini", "; comment line\r\n"
                                       "[Format]\r\n"
                                       "  Count =  3  \r\n"
                                       "[format0]\r\n"
                                       "Name= MP4 - Player \r\n"
                                       "name=second wins never\r\n"
                                       "Quoted=\"  padded \"\r\n"
                                       "Empty=\r\n"
                                       "[Other]\r\n"
                                       "Name=other\r\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("FORMAT", "count", 0), 3);
  EXPECT_EQ(ini.ReadString("Format0", "NAME", "x"), "MP4 - Player");
  EXPECT_EQ(ini.ReadString("Format0", "Quoted", "x"), "  padded ");
  EXPECT_EQ(ini.ReadString("Format0", "Empty", "x"), "");
  EXPECT_EQ(ini.ReadString("Format0", "Missing", "def"), "def");
  EXPECT_EQ(ini.ReadString("Nope", "Name", "def"), "def");
  EXPECT_EQ(ini.ReadString("Other", "Name", ""), "other");
}

TEST(IniFile, IntegerForms) {
  int32_t v = 0;
  EXPECT_TRUE(IniFile::ParseInteger("42", v));
  EXPECT_EQ(v, 42);
  EXPECT_TRUE(IniFile::ParseInteger("-7", v));
  EXPECT_EQ(v, -7);
  EXPECT_TRUE(IniFile::ParseInteger("0x1F", v));
  EXPECT_EQ(v, 31);
  EXPECT_TRUE(IniFile::ParseInteger("0X10", v));
  EXPECT_EQ(v, 16);
  EXPECT_TRUE(IniFile::ParseInteger("$ff", v));
  EXPECT_EQ(v, 255);
  EXPECT_TRUE(IniFile::ParseInteger("$FFFFFFFF", v));
  EXPECT_EQ(v, -1);
  for (const char *bad : {"", "12a", "1.5", "0x", "$", "abc", "99999999999", "0x1FFFFFFFF"})
    EXPECT_FALSE(IniFile::ParseInteger(bad, v)) << bad;

  TTempFolder dir;
  IniFile ini(dir.Write("i.ini", "[S]\nBad=256kbps\nHex=$10\n"));
  EXPECT_EQ(ini.ReadInteger("S", "Bad", 5), 5);
  EXPECT_EQ(ini.ReadInteger("S", "Hex", 5), 16);
}

TEST(IniFile, ValuesAreCutAtTheBufferSize) {
  TTempFolder dir;
  IniFile ini(dir.Write("long.ini", "[S]\nK=" + std::string(5000, 'v') + "\n"));
  EXPECT_EQ(ini.ReadString("S", "K", "").size(), IniFile::ValueBufferSize - 1);
}

TEST(IniFile, WritingKeepsEveryOtherLine) {
  TTempFolder dir;
  const std::string original = "; settings\n"
                               "[Output]\n"
                               "Format = 2   ; odd but kept\n"
                               "\n"
                               "[SnapShot]\n"
                               "Name=0\n"
                               "\n"
                               "[Tail]\n"
                               "X=1\n";
  IniFile ini(dir.Write("w.ini", original));
  ASSERT_TRUE(ini.WriteString("output", "FORMAT", "5"));
  ASSERT_TRUE(ini.WriteString("Output", "Folder", "/media/out"));
  ASSERT_TRUE(ini.WriteInteger("SnapShot", "Format", 1));
  ASSERT_TRUE(ini.WriteInteger("New", "Key", 7));
  EXPECT_EQ(ini.ReadInteger("Output", "Format", 0), 5);
  EXPECT_EQ(dir.Read("w.ini"), original);
  ASSERT_TRUE(ini.Save()) << ini.LastError();
  EXPECT_EQ(dir.Read("w.ini"), "; settings\n"
                               "[Output]\n"
                               "FORMAT=5\n"
                               "Folder=/media/out\n"
                               "\n"
                               "[SnapShot]\n"
                               "Name=0\n"
                               "Format=1\n"
                               "\n"
                               "[Tail]\n"
                               "X=1\n"
                               "[New]\n"
                               "Key=7\n");
}

TEST(IniFile, CrlfFilesKeepTheirLineEnding) {
  TTempFolder dir;
  IniFile ini(dir.Write("c.ini", "[A]\r\nB=1\r\n"));
  ASSERT_TRUE(ini.WriteString("A", "C", "2"));
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(dir.Read("c.ini"), "[A]\r\nB=1\r\nC=2\r\n");
  EXPECT_EQ(ini.ReadString("A", "C", ""), "2");
}

TEST(IniFile, CreatesAMissingFileAndReportsAnUnwritableOne) {
  TTempFolder dir;
  IniFile fresh(dir.File("new.ini"));
  EXPECT_FALSE(fresh.Exists());
  ASSERT_TRUE(fresh.WriteString("Output", "Format", "0"));
  ASSERT_TRUE(fresh.Save());
  EXPECT_EQ(dir.Read("new.ini"), "[Output]\nFormat=0\n");

  IniFile nowhere(dir.File("no/such/folder/x.ini"));
  EXPECT_TRUE(nowhere.WriteString("A", "B", "C"));
  EXPECT_FALSE(nowhere.Save());
  EXPECT_NE(nowhere.LastError().find("cannot create"), std::string::npos);
}

TEST(IniFile, Utf8ValuesRoundTrip) {
  TTempFolder dir;
  IniFile ini(dir.File("u.ini"));
  ASSERT_TRUE(ini.WriteString("Output", "Folder", "/home/zoë/Vidéos/输出"));
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(ini.ReadString("Output", "Folder", ""), "/home/zoë/Vidéos/输出");
}

TEST(IniFile, AnUnreadableFileIsNeverWrittenOver) {
  TTempFolder dir;
  const std::string original = "[Format]\nCount=1\n[Format0]\nName=Mine\n";
  const auto path = dir.Write("locked.ini", original);
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
  std::filesystem::permissions(path, std::filesystem::perms::owner_write);
  EXPECT_TRUE(RunUnprivileged([&] {
    IniFile ini(path);
    std::string reason;
    const bool refused = !ini.Readable(&reason) && reason == std::strerror(EACCES) &&
                         ini.ReadString("Format0", "Name", "def") == "def" &&
                         ini.WriteString("Output", "Format", "1") && !ini.Save() &&
                         ini.LastError().find("cannot be read") != std::string::npos;
    return refused;
  }));
  EXPECT_EQ(dir.Read("locked.ini"), original);

  // A read error is no empty file either.
  IniFile folder(std::filesystem::create_directory(dir.Path() / "dir.ini") ? dir.File("dir.ini") : "");
  EXPECT_FALSE(folder.Readable());
  folder.WriteString("A", "B", "C");
  EXPECT_FALSE(folder.Save());
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("dir.ini")));
}

TEST(IniFile, ValuesRoundTripExactlyAndLineBreaksCannotForgeLines) {
  TTempFolder dir;
  IniFile ini(dir.Write("v.ini", "[Output]\nFormat=1\n"));
  for (const std::string value : {" lead", "trail\t", "  both  ", "\"quoted\"", "'single'", "\"\"", "\"",
                                  "\"half", "a \"middle\" b", "; not a comment", "[not]", "x=y"}) {
    ASSERT_TRUE(ini.WriteString("Output", "Folder", value)) << value;
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(ini.ReadString("Output", "Folder", "?"), value) << value;
  }
  const std::string before = dir.Read("v.ini");
  for (const std::string value : {"/media/a\n[Format]\nCount=0", "cr\rhere", "end\n"}) {
    EXPECT_FALSE(ini.WriteString("Output", "Folder", value));
    EXPECT_NE(ini.LastError().find("line break"), std::string::npos);
  }
  EXPECT_EQ(dir.Read("v.ini"), before);
}

TEST(IniFile, AByteOrderMarkHidesNoSectionAndIsKept) {
  TTempFolder dir;
  IniFile ini(dir.Write("bom.ini", "\xEF\xBB\xBF[Format]\r\nCount=4\r\n"));
  EXPECT_EQ(ini.ReadInteger("Format", "Count", 0), 4);
  EXPECT_EQ(ini.SectionNames(), std::vector<std::string>{"Format"});
  ASSERT_TRUE(ini.WriteString("Format", "Count", "5"));
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(dir.Read("bom.ini"), "\xEF\xBB\xBF[Format]\r\nCount=5\r\n");
}

TEST(IniFile, SavingWritesThroughLinksAndKeepsTheMode) {
  namespace fs = std::filesystem;
  TTempFolder dir;
  fs::create_directory(dir.Path() / "real");
  const auto target = dir.Write("real/settings.ini", "[A]\nB=1\n");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("real/settings.ini", dir.Path() / "hop.ini");
  fs::create_symlink(dir.Path() / "hop.ini", dir.Path() / "link.ini");

  IniFile ini(dir.File("link.ini"));
  ini.WriteString("A", "B", "2");
  ASSERT_TRUE(ini.Save()) << ini.LastError();
  EXPECT_TRUE(fs::is_symlink(dir.Path() / "link.ini"));
  EXPECT_TRUE(fs::is_symlink(dir.Path() / "hop.ini"));
  EXPECT_EQ(dir.Read("real/settings.ini"), "[A]\nB=2\n");
  EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  // A loop of links ends in a failed write, not a hang.
  fs::create_symlink("loop2.ini", dir.Path() / "loop1.ini");
  fs::create_symlink("loop1.ini", dir.Path() / "loop2.ini");
  IniFile loop(dir.File("loop1.ini"));
  loop.WriteString("A", "B", "1");
  EXPECT_FALSE(loop.Save());
  EXPECT_TRUE(fs::is_symlink(dir.Path() / "loop1.ini"));
}

// A crash or power cut anywhere in a save (the process ends there, as a child stopped at each step)
// leaves the old file or the new one whole, and the file keeps its mode.
TEST(IniFile, ASaveInterruptedAnywhereLeavesTheOldFileOrTheNewOne) {
  TTempFolder dir;
  const std::string before = "[Output]\nFormat=1\n" + std::string(100000, ';') + "\n";
  for (const char *stopAt : {"created", "half written", "written", "synced", "renamed"}) {
    const std::string path = dir.Write("s.ini", before);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const pid_t child = ::fork();
    if (child == 0) {
      std::string error;
      platform::WriteWholeFile(path, before + "[Format0]\nKey=1\n", error, [&](const char *step) {
        if (std::string(step) == stopAt)
          ::_exit(0);
      });
      ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << stopAt;
    const std::string after = dir.Read("s.ini");
    EXPECT_TRUE(after == before || after == before + "[Format0]\nKey=1\n") << stopAt << ": " << after.size();
    EXPECT_EQ(std::filesystem::status(path).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
  // One save of many keys is one replacement: each of nine keys is in the new file.
  const std::string path = dir.Write("s.ini", before);
  IniFile ini(path);
  for (int i = 0; i < 9; ++i)
    ini.WriteInteger("Format0", "Key" + std::to_string(i), i);
  EXPECT_EQ(dir.Read("s.ini"), before);
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(IniFile(path).ReadInteger("Format0", "Key8", -1), 8);
}
