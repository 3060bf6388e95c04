#pragma once
// Opens a media file and answers questions about its container: stream counts and first indexes,
// times, bit rate, tags and file size. Runs on the caller's thread and holds no lock of its own.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

struct AVFormatContext;

// Container facts. Times in microseconds; -1 where the file gives no value.
struct TFileStreamInfo {
  int64_t StartTime = -1;
  int64_t Duration = -1;
  int64_t BitRate = -1;
  int64_t Timestamp = -1;
  int32_t Year = -1;
  int32_t Track = -1;
  std::string Title;
  std::string Author;
  std::string Copyright;
  std::string Comment;
  std::string Album;
  std::string Genre;
};

class TCustomAVProbe {
public:
  TCustomAVProbe() = default;
  virtual ~TCustomAVProbe();
  TCustomAVProbe(const TCustomAVProbe &) = delete;
  TCustomAVProbe &operator=(const TCustomAVProbe &) = delete;

  // Throws std::runtime_error naming the first of avcodec, avformat, avutil, swscale not bound.
  static void CheckLibraries();

  // Opens the file, with the named input format forced when formatName is not empty. False with
  // LastError set when the file cannot be read; throws when a library is not bound.
  bool LoadFile(const std::string &fileName, const std::string &formatName = {});
  // Adopts an input opened elsewhere (never closed here); null detaches.
  virtual void AttachContext(AVFormatContext *context);
  virtual void Close();
  // Set by the owner of a background probe: LoadFile's waits in the library give up once it holds.
  // They give up anyway after OpenBound (a stalled network share).
  void SetStopFlag(const std::atomic<bool> *stop) { FStop = stop; }
  static constexpr std::chrono::seconds OpenBound{10};

  void GetStreamInfo(TFileStreamInfo &info) const;
  int64_t GetFileSize() const;

  AVFormatContext *FormatContext() const { return FFormatContext; }
  bool OwnsContext() const { return FOwnsContext; }
  const std::string &LastError() const { return FLastError; }
  const std::string &FormatName() const { return FFormatName; }
  int StreamCount() const { return FStreamCount; }
  int ProgramCount() const { return FProgramCount; }
  int AudioStreamCount() const { return FAudioStreamCount; }
  int VideoStreamCount() const { return FVideoStreamCount; }
  int SubtitleStreamCount() const { return FSubtitleStreamCount; }
  int FirstAudioStream() const { return FFirstAudioStream; }
  int FirstVideoStream() const { return FFirstVideoStream; }
  int FirstSubtitleStream() const { return FFirstSubtitleStream; }

private:
  void Recount();
  static int Interrupted(void *probe);

  const std::atomic<bool> *FStop = nullptr;
  std::chrono::steady_clock::time_point FGiveUpAt;
  AVFormatContext *FFormatContext = nullptr;
  bool FOwnsContext = false;
  std::string FLastError;
  std::string FFormatName;
  int FStreamCount = -1;
  int FProgramCount = -1;
  int FAudioStreamCount = -1;
  int FVideoStreamCount = -1;
  int FSubtitleStreamCount = -1;
  int FFirstAudioStream = -1;
  int FFirstVideoStream = -1;
  int FFirstSubtitleStream = -1;
};

// The probe the engine and the player own. No operation of this program gives a probe decoding
// or scaling resources, so it carries none to release.
class TAVProbe : public TCustomAVProbe {};
