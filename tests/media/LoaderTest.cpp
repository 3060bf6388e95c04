#include "media/AVCodecStubs.h"
#include "media/AVDeviceStubs.h"
#include "media/AVFilterStubs.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

#include "../TempFolder.h"

#include <gtest/gtest.h>

#include <link.h>

namespace {

const TLibrarySet AllLibraries{LibAVUtil,   LibSwResample, LibSwScale, LibAVCodec,
                               LibAVFormat, LibAVFilter,   LibAVDevice};

// Each test starts with nothing bound and the system search.
class LoaderTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFLoader.UnloadLibraries(AllLibraries);
    FFLoader.LibraryPath.clear();
  }
  void TearDown() override { SetUp(); }

  // A Lib folder holding one file under a library's name.
  std::string LibFolderWith(TLibraryId id, const std::string &source) {
    std::filesystem::create_directories(FTemp.Path() / "Lib");
    std::filesystem::copy_file(source, FTemp.Path() / "Lib" / LibraryFileName(id));
    return FTemp.File("Lib");
  }

  TTempFolder FTemp;
};

TEST_F(LoaderTest, BindsTheSystemSetsAndRebindingChangesNothing) {
  // A Lib folder without the files falls back to the system search.
  std::filesystem::create_directories(FTemp.Path() / "Lib");
  FFLoader.LibraryPath = FTemp.File("Lib");
  ASSERT_TRUE(FFLoader.LoadLibraries(EngineLibraries)) << FFLoader.LastError();
  EXPECT_TRUE(FFLoader.LibrariesLoaded(EngineLibraries));
  EXPECT_TRUE(FFLoader.LibrariesLoaded(PlayerLibraries));
  EXPECT_FALSE(FFLoader.LibraryLoaded(LibAVDevice));
  ASSERT_NE(AVUtil.av_malloc, nullptr);
  EXPECT_EQ(AVDevice.avdevice_version, nullptr);

  const auto open = AVCodecLib.avcodec_open2;
  ASSERT_TRUE(FFLoader.LoadLibraries(PlayerLibraries));
  EXPECT_EQ(AVCodecLib.avcodec_open2, open);

  // Bound tables really call into the library.
  void *block = AVUtil.av_malloc(16);
  EXPECT_NE(block, nullptr);
  AVUtil.av_free(block);
}

TEST_F(LoaderTest, MissingEntryPointRefusesTheWholeSetAndKeepsOtherLibraries) {
  ASSERT_TRUE(FFLoader.LoadLibraries({LibAVFilter})) << FFLoader.LastError();
  FFLoader.LibraryPath = LibFolderWith(LibAVUtil, TVL_FAKE_AVUTIL);

  EXPECT_FALSE(FFLoader.LoadLibraries(PlayerLibraries));
  EXPECT_EQ(FFLoader.LastError().rfind("Load function av_mallocz@libavutil.so.57 error: ", 0), 0u)
      << FFLoader.LastError();
  EXPECT_NE(FFLoader.LastError().find("av_mallocz"), std::string::npos);
  // The entries resolved before the missing one are cleared too.
  EXPECT_EQ(AVUtil.av_malloc, nullptr);
  EXPECT_FALSE(FFLoader.LibrariesLoaded(PlayerLibraries));
  EXPECT_FALSE(FFLoader.LibraryLoaded(LibAVCodec));
  EXPECT_TRUE(FFLoader.LibraryLoaded(LibAVFilter));
  EXPECT_NE(AVFilterLib.avfilter_version, nullptr);

  // A failed set can be bound once the broken file is out of the way.
  FFLoader.LibraryPath.clear();
  EXPECT_TRUE(FFLoader.LoadLibraries(PlayerLibraries)) << FFLoader.LastError();
}

// Paths of the loaded objects whose file name starts with the given name.
std::vector<std::string> LoadedObjects(const std::string &name) {
  struct TSearch {
    std::string Name;
    std::vector<std::string> Found;
  } search{name, {}};
  dl_iterate_phdr(
      [](dl_phdr_info *info, size_t, void *data) {
        auto *s = static_cast<TSearch *>(data);
        const std::string path = info->dlpi_name ? info->dlpi_name : "";
        if (std::filesystem::path(path).filename().string().rfind(s->Name, 0) == 0)
          s->Found.push_back(path);
        return 0;
      },
      &search);
  return search.Found;
}

TEST_F(LoaderTest, LibraryInLibTakesItsDependenciesFromLib) {
  if (!LoadedObjects("libavutil.so").empty())
    GTEST_SKIP() << "libavutil is already mapped in this process";
  for (TLibraryId id : {LibAVUtil, LibSwResample})
    LibFolderWith(id, std::filesystem::canonical(std::string(TVL_FFMPEG_LIBDIR) + "/" + LibraryFileName(id)));
  FFLoader.LibraryPath = FTemp.File("Lib");
  ASSERT_TRUE(FFLoader.LoadLibraries({LibAVUtil, LibSwResample})) << FFLoader.LastError();
  // swresample needs avutil: the copy beside it serves, the system's is never mapped.
  EXPECT_EQ(LoadedObjects("libavutil.so"), std::vector<std::string>{FTemp.File("Lib/libavutil.so.57")});
  EXPECT_EQ(LoadedObjects("libswresample.so"),
            std::vector<std::string>{FTemp.File("Lib/libswresample.so.4")});
}

TEST_F(LoaderTest, BrokenLibraryFileNamesThePathTried) {
  const std::string text = FTemp.Write("notalib", "not a shared object");
  FFLoader.LibraryPath = LibFolderWith(LibAVUtil, text); // no trailing separator: one is added
  EXPECT_FALSE(FFLoader.LoadLibraries(EngineLibraries));
  const std::string expected = "Load library " + FTemp.File("Lib") + "/libavutil.so.57 error: ";
  EXPECT_EQ(FFLoader.LastError().rfind(expected, 0), 0u) << FFLoader.LastError();
  EXPECT_GT(FFLoader.LastError().size(), expected.size()); // the system's reason follows
  EXPECT_FALSE(FFLoader.LibraryLoaded(LibAVUtil));
}

TEST_F(LoaderTest, OtherLibraryGenerationIsRefusedNamingBothVersions) {
  FFLoader.LibraryPath = LibFolderWith(LibAVDevice, TVL_FAKE_AVDEVICE) + "/";
  EXPECT_FALSE(FFLoader.LoadLibraries({LibAVDevice}));
  EXPECT_EQ(FFLoader.LastError(),
            "Library libavdevice.so.59 has version 58.1.100, but the program was built for version 59.");
  EXPECT_FALSE(FFLoader.LibraryLoaded(LibAVDevice));
  EXPECT_EQ(AVDevice.avdevice_version, nullptr);
}

TEST(OpenErrorText, ChoosesTheTextByMeaningOfTheCode) {
  const struct {
    int Code;
    const char *Text;
  } cases[] = {
      {AVERROR_INVALIDDATA, "a.avi: Unknown format"},
      {AVERROR_DEMUXER_NOT_FOUND, "a.avi: Unknown format"},
      {AVERROR(ENOENT), "a.avi: no such file or directory"},
      {AVERROR(EINVAL), "a.avi: Error while parsing header"},
      {AVERROR(ENOMEM), "a.avi: memory allocation error occurred"},
      {AVERROR(EIO),
       "a.avi: I/O error occurred\nUsually that means that input file is truncated and/or corrupted."},
      {AVERROR(EISDIR), "a.avi: Error while opening file"},
      {-42, "a.avi: Error while opening file"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(OpenErrorText("a.avi", c.Code), c.Text) << c.Code;
  // The old format string's doubled percent signs stand for single ones.
  EXPECT_NE(OpenErrorText("img.jpg", AVERROR(EDOM)).find("use 'img%03d.jpg'."), std::string::npos);
}

} // namespace
