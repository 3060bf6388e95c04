// Snapshot files: their names, their content in both formats, and failures that leave nothing behind.
#include "../TempFolder.h"
#include "edit/SnapShot.h"
#include "engine/Bitmap.h"
#include "profiles/tvlIniUnt.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <jpeglib.h>

namespace fs = std::filesystem;

namespace {

// A picture with a red left half and a blue right half.
std::unique_ptr<TBitmap> Picture(int width, int height) {
  auto bitmap = std::make_unique<TBitmap>(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t *pixel = bitmap->ScanLine(y) + 3 * x; // blue, green, red
      pixel[x < width / 2 ? 2 : 0] = 220;
    }
  return bitmap;
}

struct TJpegInfo {
  int Width = 0, Height = 0, Components = 0;
  bool Progressive = true;
  uint8_t Left[3] = {}, Right[3] = {}; // red, green, blue of the middle row's ends
};

struct TDecodeError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};

bool ReadJpeg(const std::string &path, TJpegInfo &info) {
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (!file)
    return false;
  jpeg_decompress_struct decoder;
  TDecodeError error;
  decoder.err = jpeg_std_error(&error.Manager);
  error.Manager.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<TDecodeError *>(c->err)->Jump, 1); };
  if (setjmp(error.Jump)) {
    jpeg_destroy_decompress(&decoder);
    std::fclose(file);
    return false;
  }
  jpeg_create_decompress(&decoder);
  jpeg_stdio_src(&decoder, file);
  jpeg_read_header(&decoder, TRUE);
  info.Progressive = decoder.progressive_mode;
  jpeg_start_decompress(&decoder);
  info.Width = static_cast<int>(decoder.output_width);
  info.Height = static_cast<int>(decoder.output_height);
  info.Components = decoder.output_components;
  std::vector<uint8_t> row(static_cast<size_t>(info.Width) * info.Components);
  while (decoder.output_scanline < decoder.output_height) {
    JSAMPROW rows[1] = {row.data()};
    const bool middle = static_cast<int>(decoder.output_scanline) == info.Height / 2;
    jpeg_read_scanlines(&decoder, rows, 1);
    if (middle)
      for (int c = 0; c < 3; ++c) {
        info.Left[c] = row[c];
        info.Right[c] = row[(info.Width - 1) * 3 + c];
      }
  }
  jpeg_finish_decompress(&decoder);
  jpeg_destroy_decompress(&decoder);
  std::fclose(file);
  return true;
}

class SnapShot : public ::testing::Test {
protected:
  void SetUp() override {
    Settings.SnapShotFolder = Temp.File("shots");
    Settings.SnapShotFormat = sfJpeg;
    Settings.SnapShotName = snFileName;
  }
  std::string Take(const std::string &caption, const TBitmap *picture) {
    std::string path, error;
    EXPECT_TRUE(TakeSnapShot(picture, Settings, caption, path, error)) << error;
    return path.empty() ? std::string() : fs::path(path).filename().string();
  }
  std::vector<std::string> Entries(const std::string &folder) const {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TTempFolder Temp;
  TIniOptions Settings;
};

TEST_F(SnapShot, NamesFollowTheSourceAndNeverReplaceAPicture) {
  const auto picture = Picture(64, 48);
  EXPECT_EQ(Take("clip.avi", picture.get()), "clip.jpg") << "the missing folder is made";
  EXPECT_EQ(Take("clip.avi", picture.get()), "clip_1.jpg");
  EXPECT_EQ(Take("clip.avi", picture.get()), "clip_2.jpg");
  EXPECT_EQ(Take("a.b.mp4", picture.get()), "a.b.jpg");
  Settings.SnapShotFormat = sfBmp;
  EXPECT_EQ(Take("clip.avi", picture.get()), "clip.bmp") << "another extension is another name";
  // Values only an edited settings file holds: the format counts as JPEG, the naming as by file name.
  Settings.SnapShotFormat = 7;
  Settings.SnapShotName = 5;
  EXPECT_EQ(Take("x.mkv", picture.get()), "x.jpg");
  EXPECT_EQ(Entries(Settings.SnapShotFolder),
            (std::vector<std::string>{"a.b.jpg", "clip.bmp", "clip.jpg", "clip_1.jpg", "clip_2.jpg", "x.jpg"}));
}

TEST_F(SnapShot, TimeNamesKeepEveryPictureOfTheSameMillisecond) {
  std::tm local{};
  local.tm_year = 2009 - 1900;
  local.tm_mon = 2;
  local.tm_mday = 3;
  local.tm_hour = 14;
  local.tm_min = 5;
  local.tm_sec = 9;
  EXPECT_EQ(SnapShotTimeBase(local, 42), "20090303 140509042");

  const std::string folder = Temp.Folder();
  const std::string first = FirstFreeFileName(folder, "20090303 140509042", ".jpg");
  EXPECT_EQ(first, folder + "20090303 140509042.jpg");
  Temp.Write("20090303 140509042.jpg", "x");
  EXPECT_EQ(FirstFreeFileName(folder, "20090303 140509042", ".jpg"), folder + "20090303 140509042_1.jpg");

  // Snapshots taken back to back by time each get a file of their own.
  Settings.SnapShotName = snTime;
  const auto picture = Picture(8, 8);
  std::set<std::string> names;
  for (int i = 0; i < 5; ++i)
    names.insert(Take("clip.avi", picture.get()));
  EXPECT_EQ(names.size(), 5u);
  for (const auto &name : names)
    EXPECT_TRUE(name.size() >= 22 && name[8] == ' ' && name.ends_with(".jpg")) << name;
}

TEST_F(SnapShot, PicturesKeepTheirSizeAndColoursInBothFormats) {
  const auto picture = Picture(720, 576);
  const std::string jpeg = Settings.SnapShotFolder + "/" + Take("dvd.vob", picture.get());
  TJpegInfo info;
  ASSERT_TRUE(ReadJpeg(jpeg, info));
  EXPECT_EQ(info.Width, 720);
  EXPECT_EQ(info.Height, 576);
  EXPECT_EQ(info.Components, 3);
  EXPECT_FALSE(info.Progressive);
  EXPECT_GT(info.Left[0], 180);  // red stays red …
  EXPECT_LT(info.Left[2], 40);
  EXPECT_GT(info.Right[2], 180); // … and blue stays blue
  EXPECT_LT(info.Right[0], 40);

  Settings.SnapShotFormat = sfBmp;
  const std::string bmp = Settings.SnapShotFolder + "/" + Take("dvd.vob", picture.get());
  std::ifstream in(bmp, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 54u + 720u * 3 * 576);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<uint8_t>(bytes[18]) | static_cast<uint8_t>(bytes[19]) << 8, 720);
  EXPECT_EQ(static_cast<uint8_t>(bytes[22]) | static_cast<uint8_t>(bytes[23]) << 8, 576);
}

TEST_F(SnapShot, NoPictureSavesNothingAndSaysNothing) {
  const TBitmap empty(0, 0);
  EXPECT_EQ(Take("clip.avi", &empty), "");
  EXPECT_EQ(Take("clip.avi", nullptr), "");
  EXPECT_TRUE(fs::is_directory(Settings.SnapShotFolder)) << "the folder comes first";
  EXPECT_TRUE(Entries(Settings.SnapShotFolder).empty());
}

TEST_F(SnapShot, AFolderThatCannotBeMadeIsNamedWithTheReason) {
  Temp.Write("plain", "a file, not a folder");
  const auto picture = Picture(8, 8);
  std::string path, error;
  for (const std::string &folder : {Temp.File("missing/deeper"), Temp.File("plain")}) {
    Settings.SnapShotFolder = folder;
    EXPECT_FALSE(TakeSnapShot(picture.get(), Settings, "clip.avi", path, error));
    EXPECT_NE(error.find("\"" + folder + "\""), std::string::npos) << error;
    EXPECT_TRUE(error.ends_with(": No such file or directory.") || error.ends_with(": File exists.")) << error;
    EXPECT_EQ(path, "");
  }
}

TEST_F(SnapShot, AWriteThatFailsHalfWayLeavesNoFile) {
  fs::create_directory(Settings.SnapShotFolder);
  const auto picture = Picture(200, 200);
  // The disk fills after 1 KB: writes beyond fail instead of raising the file-size signal.
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 1024;
  setrlimit(RLIMIT_FSIZE, &small);
  std::string path, error;
  std::vector<bool> saved;
  for (const int format : {sfBmp, sfJpeg}) {
    Settings.SnapShotFormat = format;
    saved.push_back(TakeSnapShot(picture.get(), Settings, "clip.avi", path, error));
  }
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(saved, (std::vector<bool>{false, false}));
  EXPECT_NE(error.find("\"" + Settings.SnapShotFolder + "/\""), std::string::npos) << error;
  EXPECT_TRUE(error.ends_with(": File too large.")) << error;
  EXPECT_TRUE(Entries(Settings.SnapShotFolder).empty()) << "neither the picture nor its temporary file";
}

} // namespace
