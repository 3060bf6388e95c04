#include "profiles/tvlIniUnt.h"

#include "platform/ExeFolder.h"
#include "../TempFolder.h"
#include "../Unprivileged.h"

#include <gtest/gtest.h>

namespace {
const char *TwoProfiles = "[Format]\n"
                          "Count=2\n"
                          "[Format0]\n"
                          "Name=MP3 Audio\n"
                          "Ext=.mp3\n"
                          "Category=0\n"
                          "AudioEncoder=MP3\n"
                          "AudioBitrateValue=4\n"
                          "[Format1]\n"
                          "Name=MP4 Video\n"
                          "Ext=.mp4\n"
                          "Category=1\n"
                          "Resolution=320*240,640*480\n"
                          "ResolutionValue=1\n"
                          "Volume=256\n"
                          "Target=pal-dvd\n"
                          "[Output]\n"
                          "Format=1\n"
                          "[SnapShot]\n"
                          "Format=1\n"
                          "Folder=/snaps\n"
                          "Name=1\n";
}

TEST(IniOptions, LoadsProfilesAndSettings) {
  TTempFolder dir;
  TIniOptions o;
  o.LoadFromFile(dir.Write("VideoConverter.ini", TwoProfiles));
  ASSERT_EQ(o.FormatCount, 2);
  ASSERT_EQ(o.Formats.size(), 2u);
  EXPECT_EQ(o.Formats[0].Name, "MP3 Audio");
  EXPECT_EQ(o.Formats[0].Category, 0);
  EXPECT_EQ(o.Formats[0].AudioBitrateValue, 4);
  EXPECT_EQ(o.Formats[0].SampleRate, "22050 Hz,32000 Hz,44100 Hz,48000 Hz"); // read default
  EXPECT_EQ(o.Formats[1].ResolutionValue, 1);
  EXPECT_EQ(o.Formats[1].Volume, 256);
  EXPECT_EQ(o.Formats[1].Target, "pal-dvd");
  EXPECT_EQ(o.Formats[0].Target, ""); // optional
  EXPECT_EQ(o.OutputFormat, 1);
  EXPECT_EQ(o.OutputFolder, "");
  EXPECT_EQ(o.SnapShotFormat, 1);
  EXPECT_EQ(o.SnapShotFolder, "/snaps");
  EXPECT_EQ(o.SnapShotName, 1);
  EXPECT_EQ(o.GetFormat(1), o.Formats[1]);
  EXPECT_THROW(o.GetFormat(2), std::out_of_range);
}

TEST(IniOptions, MissingFileLeavesEverythingEmpty) {
  TTempFolder dir;
  TIniOptions o;
  o.LoadFromFile(dir.File("absent.ini"));
  EXPECT_EQ(o.FormatCount, 0);
  EXPECT_TRUE(o.Formats.empty());
  EXPECT_EQ(o.SnapShotFolder, "");
}

TEST(IniOptions, AnEmptyFileIsReadAsAMissingOneAndSaidSo) {
  TTempFolder dir;
  for (const std::string empty : {"", "\n\n", "; only a comment\n"}) {
    TIniOptions o;
    o.LoadFromFile(dir.Write("VideoConverter.ini", empty));
    EXPECT_EQ(o.FormatCount, 0);
    EXPECT_TRUE(o.Formats.empty());
    EXPECT_NE(o.LoadProblem.find("is empty"), std::string::npos);
  }
}

TEST(IniOptions, NoFormatSectionGivesOneDefaultProfile) {
  TTempFolder dir;
  platform::SetExeFolder(dir.Folder());
  TIniOptions o;
  o.LoadFromFile(dir.Write("VideoConverter.ini", "[Output]\nFormat=0\n"));
  platform::SetExeFolder("");
  ASSERT_EQ(o.FormatCount, 1);
  const TFormatRec &f = o.Formats[0];
  EXPECT_EQ(f.Name, "MP4 - iPod Nano MPEG-4(*.mp3)");
  EXPECT_EQ(f.Ext, ".3gp");
  EXPECT_EQ(f.Category, 1);
  EXPECT_EQ(f.ResolutionValue, 2);
  EXPECT_EQ(f.Framerate, "64 kbps");
  EXPECT_EQ(f.VideoBitRate, "256kbps");
  EXPECT_EQ(f.Channel, "1 Channel Mono, 2 Channels Stereo");
  EXPECT_EQ(f.ChannelValue, 1);
  EXPECT_EQ(f.Volume, 100);
  EXPECT_EQ(o.SnapShotFolder, dir.Folder() + "Snapshot");
}

TEST(IniOptions, ZeroOrNegativeCountLoadsNoProfiles) {
  TTempFolder dir;
  for (const char *count : {"0", "-3"}) {
    TIniOptions o;
    o.LoadFromFile(dir.Write("c.ini", std::string("[Format]\nCount=") + count + "\n[Format0]\nName=x\n"));
    EXPECT_EQ(o.FormatCount, 0) << count;
    EXPECT_TRUE(o.Formats.empty()) << count;
  }
}

TEST(IniOptions, SaveWritesOnlyTheSettingsAndSkipsAnEmptyFolder) {
  TTempFolder dir;
  const auto path = dir.Write("VideoConverter.ini", TwoProfiles);
  TIniOptions o;
  o.LoadFromFile(path);
  o.OutputFormat = 0;
  o.Formats[0].Name = "changed in memory only";
  ASSERT_TRUE(o.SaveToFile(path));
  const std::string text = dir.Read("VideoConverter.ini");
  EXPECT_EQ(text.find("Folder=\n"), std::string::npos);
  EXPECT_NE(text.find("[Output]\nFormat=0\n[SnapShot]"), std::string::npos) << text;
  EXPECT_NE(text.find("Name=MP3 Audio"), std::string::npos);

  // A missing file is created with the settings only; the next start sees one default profile.
  TIniOptions empty;
  ASSERT_TRUE(empty.SaveToFile(dir.File("fresh.ini")));
  EXPECT_EQ(dir.Read("fresh.ini"), "[Output]\nFormat=0\n[SnapShot]\nFormat=0\nName=0\n");
  TIniOptions next;
  next.LoadFromFile(dir.File("fresh.ini"));
  EXPECT_EQ(next.FormatCount, 1);
}

TEST(IniOptions, SaveFormatValuesRewritesOnlyTheNineKeys) {
  TTempFolder dir;
  const auto path = dir.Write("VideoConverter.ini", TwoProfiles);
  TIniOptions o;
  o.LoadFromFile(path);
  TFormatRec f = o.GetFormat(1);
  f.ResolutionValue = 0;
  f.Volume = 128;
  f.Name = "never written";
  o.SetFormat(1, f);
  ASSERT_TRUE(o.SaveFormatValues(path, 1));
  TIniOptions back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.Formats[1].ResolutionValue, 0);
  EXPECT_EQ(back.Formats[1].Volume, 128);
  EXPECT_EQ(back.Formats[1].Name, "MP4 Video");
  EXPECT_EQ(back.Formats[0], o.Formats[0]);
  const std::string text = dir.Read("VideoConverter.ini");
  const auto section = text.substr(text.find("[Format1]"), text.find("[Output]") - text.find("[Format1]"));
  for (const char *key : {"ResolutionValue=0", "FramerateValue=", "VideoEncoderValue=", "VideoBitRateValue=",
                          "SampleRateValue=", "AudioBitrateValue=", "AudioEncoderValue=", "ChannelValue=",
                          "Volume=128"})
    EXPECT_NE(section.find(key), std::string::npos) << key;
  EXPECT_EQ(section.find("Name=never"), std::string::npos);
  // A profile without a quality list gets no quality key; one with a list keeps its choice.
  EXPECT_EQ(text.find("Quality"), std::string::npos);
  EXPECT_EQ(back.Formats[1].QualityValue, -1);
  f.Quality = "High,Standard,Small";
  f.QualityValue = 2;
  o.SetFormat(1, f);
  ASSERT_TRUE(o.SaveFormatValues(path, 1));
  back.LoadFromFile(path);
  EXPECT_EQ(back.Formats[1].QualityValue, 2);
  EXPECT_EQ(back.Formats[0].QualityValue, -1);
  // Likewise loudness: no key until a target is set; switched off, it reads back as off.
  EXPECT_EQ(dir.Read("VideoConverter.ini").find("Loudness"), std::string::npos);
  for (const char *loudness : {"-16", ""}) {
    f.Loudness = loudness;
    o.SetFormat(1, f);
    ASSERT_TRUE(o.SaveFormatValues(path, 1));
    back.LoadFromFile(path);
    EXPECT_EQ(back.Formats[1].Loudness, loudness);
    EXPECT_EQ(back.Formats[0].Loudness, "");
  }
}

TEST(IniOptions, SplitList) {
  std::vector<std::string> items{"stale"};
  EXPECT_FALSE(TIniOptions::SplitList("", items));
  EXPECT_TRUE(items.empty());
  EXPECT_TRUE(TIniOptions::SplitList("a,,b,", items));
  EXPECT_EQ(items, (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(TIniOptions::SplitList(",x", items));
  EXPECT_EQ(items, (std::vector<std::string>{"", "x"}));
  EXPECT_TRUE(TIniOptions::SplitList("1 Channel Mono, 2 Channels Stereo", items));
  EXPECT_EQ(items, (std::vector<std::string>{"1 Channel Mono", " 2 Channels Stereo"}));
}

TEST(IniOptions, ACountBeyondTheProfilesPresentIsBoundedAndNamed) {
  TTempFolder dir;
  for (const char *count : {"2000000000", "3"}) {
    TIniOptions o;
    std::string text = TwoProfiles;
    text.replace(text.find("Count=2"), 7, std::string("Count=") + count);
    o.LoadFromFile(dir.Write("VideoConverter.ini", text));
    EXPECT_EQ(o.FormatCount, 2) << count;
    EXPECT_EQ(o.Formats.size(), 2u) << count;
    EXPECT_EQ(o.Formats[1].Name, "MP4 Video");
    EXPECT_NE(o.LoadProblem.find(std::string("Count=") + count), std::string::npos) << o.LoadProblem;
  }
  TIniOptions fine;
  fine.LoadFromFile(dir.Write("VideoConverter.ini", TwoProfiles));
  EXPECT_EQ(fine.LoadProblem, "");
}

TEST(IniOptions, AnUnreadableFileLoadsNothingSaysWhyAndIsNotSavedOver) {
  TTempFolder dir;
  const auto path = dir.Write("VideoConverter.ini", TwoProfiles);
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
  std::filesystem::permissions(path, std::filesystem::perms::owner_write);
  EXPECT_TRUE(RunUnprivileged([&] {
    TIniOptions o;
    o.LoadFromFile(path);
    std::string error;
    return o.Formats.empty() && o.LoadProblem.find("cannot be read") != std::string::npos &&
           o.LoadProblem.find(path) != std::string::npos && !o.SaveToFile(path, &error) &&
           error.find("cannot be read") != std::string::npos;
  }));
  EXPECT_EQ(dir.Read("VideoConverter.ini"), TwoProfiles);
}
