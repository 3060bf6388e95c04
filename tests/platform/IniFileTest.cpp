#include "platform/IniFile.h"

#include "../TempFolder.h"

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
  EXPECT_EQ(dir.Read("c.ini"), "[A]\r\nB=1\r\nC=2\r\n");
  EXPECT_EQ(ini.ReadString("A", "C", ""), "2");
}

TEST(IniFile, CreatesAMissingFileAndReportsAnUnwritableOne) {
  TTempFolder dir;
  IniFile fresh(dir.File("new.ini"));
  EXPECT_FALSE(fresh.Exists());
  ASSERT_TRUE(fresh.WriteString("Output", "Format", "0"));
  EXPECT_EQ(dir.Read("new.ini"), "[Output]\nFormat=0\n");

  IniFile nowhere(dir.File("no/such/folder/x.ini"));
  EXPECT_FALSE(nowhere.WriteString("A", "B", "C"));
}

TEST(IniFile, Utf8ValuesRoundTrip) {
  TTempFolder dir;
  IniFile ini(dir.File("u.ini"));
  ASSERT_TRUE(ini.WriteString("Output", "Folder", "/home/zoë/Vidéos/输出"));
  EXPECT_EQ(ini.ReadString("Output", "Folder", ""), "/home/zoë/Vidéos/输出");
}
