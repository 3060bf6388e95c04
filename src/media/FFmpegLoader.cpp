#include "media/FFmpegLoader.h"

#include "media/AVCodecStubs.h"
#include "media/AVDeviceStubs.h"
#include "media/AVFilterStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/SwResampleStubs.h"
#include "media/SwScaleStubs.h"

#include <cassert>
#include <dlfcn.h>
#include <filesystem>

// Rows in TLibraryId order.
const TLibraryItem LibraryItems[LibraryCount] = {
    {"avutil", LIBAVUTIL_VERSION_MAJOR, AVUtilEntries, [] { return AVUtil.avutil_version(); }, nullptr},
    {"swresample", LIBSWRESAMPLE_VERSION_MAJOR, SwResampleEntries,
     [] { return SwResample.swresample_version(); }, nullptr},
    {"swscale", LIBSWSCALE_VERSION_MAJOR, SwScaleEntries, [] { return SwScale.swscale_version(); }, nullptr},
    {"avcodec", LIBAVCODEC_VERSION_MAJOR, AVCodecEntries, [] { return AVCodecLib.avcodec_version(); },
     nullptr},
    {"avformat", LIBAVFORMAT_VERSION_MAJOR, AVFormatEntries, [] { return AVFormat.avformat_version(); },
     nullptr},
    {"avfilter", LIBAVFILTER_VERSION_MAJOR, AVFilterEntries, [] { return AVFilterLib.avfilter_version(); },
     nullptr},
    // Device demuxers are found by name only after their registration.
    {"avdevice", LIBAVDEVICE_VERSION_MAJOR, AVDeviceEntries, [] { return AVDevice.avdevice_version(); },
     [] { AVDevice.avdevice_register_all(); }},
};

TFFmpegLoader FFLoader;

std::string LibraryFileName(TLibraryId id) {
  return std::string("lib") + LibraryItems[id].BaseName + ".so." +
         std::to_string(LibraryItems[id].MajorVersion);
}

std::string VersionMismatchText(const std::string &fileName, unsigned runtimeVersion, int builtMajor) {
  const unsigned major = runtimeVersion >> 16;
  if (major == static_cast<unsigned>(builtMajor))
    return {};
  return "Library " + fileName + " has version " + std::to_string(major) + "." +
         std::to_string((runtimeVersion >> 8) & 0xFF) + "." + std::to_string(runtimeVersion & 0xFF) +
         ", but the program was built for version " + std::to_string(builtMajor) + ".";
}

namespace {

std::string DlErrorText() {
  const char *text = dlerror();
  return text ? text : "unknown error";
}

} // namespace

bool TFFmpegLoader::BindLibrary(TLibraryId id) {
  TLibraryStatus &status = FStatus[id];
  const TLibraryItem &item = LibraryItems[id];
  const std::string fileName = LibraryFileName(id);
  if (!status.Module) {
    std::string dir = LibraryPath;
    if (!dir.empty() && dir.back() != '/')
      dir += '/';
    std::error_code ec;
    // A copy in the folder is opened by its full path; otherwise the system search decides.
    const bool inFolder = !dir.empty() && std::filesystem::exists(dir + fileName, ec);
    dlerror();
    // Released libraries stay mapped: the codec libraries and their dependencies leave threads,
    // thread-local destructors and handlers behind that must not outlive their code.
    status.Module =
        dlopen((inFolder ? dir + fileName : fileName).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!status.Module) {
      FLastError = "Load library " + dir + fileName + " error: " + DlErrorText();
      return false;
    }
  }
  if (!status.Bound) {
    std::string error;
    if (!ResolveStubs(status.Module, fileName, item.Entries(), error)) {
      FLastError = error;
    } else if (std::string mismatch = VersionMismatchText(fileName, item.RuntimeVersion(), item.MajorVersion);
               !mismatch.empty()) {
      // Another generation of the library would be called with the wrong structure layouts.
      FLastError = mismatch;
    } else {
      if (item.Registration)
        item.Registration();
      status.Bound = true;
    }
  }
  if (!status.Bound)
    ReleaseLibrary(id);
  return status.Bound;
}

void TFFmpegLoader::ReleaseLibrary(TLibraryId id) {
  TLibraryStatus &status = FStatus[id];
  ClearStubs(LibraryItems[id].Entries());
  status.Bound = false;
  if (status.Module) {
    dlclose(status.Module);
    status.Module = nullptr;
  }
}

bool TFFmpegLoader::LoadLibraries(TLibrarySet set) {
  assert(!set.Empty());
  for (int i = 0; i < LibraryCount; ++i) {
    const auto id = static_cast<TLibraryId>(i);
    if (set.Contains(id) && !BindLibrary(id)) {
      UnloadLibraries(set);
      return false;
    }
  }
  return true;
}

bool TFFmpegLoader::LibrariesLoaded(TLibrarySet set) const {
  assert(!set.Empty());
  for (int i = 0; i < LibraryCount; ++i)
    if (set.Contains(static_cast<TLibraryId>(i)) && !LibraryLoaded(static_cast<TLibraryId>(i)))
      return false;
  return true;
}

bool TFFmpegLoader::LibraryLoaded(TLibraryId id) const {
  return FStatus[id].Module && FStatus[id].Bound;
}

void TFFmpegLoader::UnloadLibraries(TLibrarySet set) {
  assert(!set.Empty());
  // Dependents first, so no library goes while another bound one still calls into it.
  for (int i = LibraryCount - 1; i >= 0; --i)
    if (set.Contains(static_cast<TLibraryId>(i)))
      ReleaseLibrary(static_cast<TLibraryId>(i));
}

std::mutex &CodecLock() {
  static std::mutex lock;
  return lock;
}

std::string OpenErrorText(const std::string &fileName, int errorCode) {
  // Chosen by meaning: the codes of this library generation differ from the old fixed numbers.
  switch (errorCode) {
  case AVERROR_INVALIDDATA:
  case AVERROR_DEMUXER_NOT_FOUND:
    return fileName + ": Unknown format";
  case AVERROR(EDOM):
    return fileName + ": Incorrect image filename syntax.\n"
                      "Use '%d' to specify the image number:\n"
                      "  for img1.jpg, img2.jpg, ..., use 'img%d.jpg';\n"
                      "  for img001.jpg, img002.jpg, ..., use 'img%03d.jpg'.";
  case AVERROR(EINVAL):
    return fileName + ": Error while parsing header";
  case AVERROR(ENOMEM):
    return fileName + ": memory allocation error occurred";
  case AVERROR(EIO):
    return fileName +
           ": I/O error occurred\nUsually that means that input file is truncated and/or corrupted.";
  case AVERROR(ENOENT):
    return fileName + ": no such file or directory";
  default:
    return fileName + ": Error while opening file";
  }
}
