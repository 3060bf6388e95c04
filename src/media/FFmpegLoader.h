#pragma once
// Run-time binding of the media libraries. Nothing links FFmpeg: each library is opened with dlopen
// and its entry table filled by name. A set of libraries is bound whole or not at all.
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <span>
#include <string>

// The order is the binding order: every library comes after the libraries it depends on, so a
// library opened from the Lib folder finds its dependencies there and not the system's copies.
enum TLibraryId { LibAVUtil, LibSwResample, LibSwScale, LibAVCodec, LibAVFormat, LibAVFilter, LibAVDevice };
constexpr int LibraryCount = LibAVDevice + 1;

class TLibrarySet {
public:
  constexpr TLibrarySet(std::initializer_list<TLibraryId> ids) {
    for (TLibraryId id : ids)
      FBits |= 1u << id;
  }
  constexpr bool Contains(TLibraryId id) const { return (FBits >> id) & 1u; }
  constexpr bool Empty() const { return FBits == 0; }

private:
  std::uint32_t FBits = 0;
};

inline constexpr TLibrarySet EngineLibraries{LibAVUtil,  LibSwResample, LibSwScale,
                                             LibAVCodec, LibAVFormat,   LibAVFilter};
inline constexpr TLibrarySet PlayerLibraries{LibAVUtil, LibSwResample, LibSwScale, LibAVCodec, LibAVFormat};

struct TStubEntry;

// One row per library: how its file is named and how its entry table is bound.
struct TLibraryItem {
  const char *BaseName;
  int MajorVersion; // the major of the headers we build against; part of the file name
  std::span<const TStubEntry> (*Entries)();
  unsigned (*RuntimeVersion)(); // through the bound table; only called once binding succeeded
  void (*Registration)();       // called once after binding, or null
};

extern const TLibraryItem LibraryItems[LibraryCount];

// "lib" + base name + ".so." + major.
std::string LibraryFileName(TLibraryId id);

// Compares a library's run-time version with the major it was built against; an empty text when
// they agree, else the refusal naming both.
std::string VersionMismatchText(const std::string &fileName, unsigned runtimeVersion, int builtMajor);

class TFFmpegLoader {
public:
  // The folder to load from; empty means the system search alone.
  std::string LibraryPath;

  const std::string &LastError() const { return FLastError; }

  // Makes every library of the set loaded and bound; on any failure releases the whole set.
  bool LoadLibraries(TLibrarySet set);
  bool LibrariesLoaded(TLibrarySet set) const;
  bool LibraryLoaded(TLibraryId id) const;
  void UnloadLibraries(TLibrarySet set);

private:
  struct TLibraryStatus {
    void *Module = nullptr;
    bool Bound = false;
  };

  bool BindLibrary(TLibraryId id);
  void ReleaseLibrary(TLibraryId id);

  TLibraryStatus FStatus[LibraryCount];
  std::string FLastError;
};

// The one loader of the process. Loading and releasing happen on the main thread.
extern TFFmpegLoader FFLoader;

// Held around every codec open and close and every stream-information search.
std::mutex &CodecLock();

// The message for a negative error code from opening an input or writing an output, with the
// file name in it.
std::string OpenErrorText(const std::string &fileName, int errorCode);
