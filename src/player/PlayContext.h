#pragma once
// Everything one playback holds: the open file, the streams and their decoders, the packet queues,
// the audio buffers and clocks, and the one-slot picture queue. Created by the player's Open and
// destroyed when the playback ends.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "player/PacketQueue.h"

#include <SDL2/SDL_audio.h>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SDL_Texture;
struct SwrContext;
struct SwsContext;
class TCustomPlayer;

constexpr int AudioBufferBytes = 288000;
constexpr int SampleRingSize = 131072;
constexpr int AudioQueueLimit = 81920;
constexpr int VideoQueueLimit = 1310720; // 5 × 256 KiB

// The picture slot: a 4:2:0 picture the video decoder thread writes and the play thread shows.
struct TQueuedPicture {
  double Pts = 0;
  // The "overlay": planes made on the play thread, written under OverlayLock.
  uint8_t *Data[4] = {};
  int Linesize[4] = {};
  SDL_Texture *Texture = nullptr;
  std::mutex OverlayLock;
  int Width = 0;  // of the planes; written under both locks
  int Height = 0;
  int WantedWidth = 0; // asked of the play thread, under PictureMutex
  int WantedHeight = 0;
  bool Bt709 = false;     // the picture's colour space: BT.709 (HD) or BT.601
  bool Allocated = false; // guarded by PictureMutex
  bool HasOverlay() const { return Data[0] != nullptr; }
};

struct PlayContext {
  explicit PlayContext(TCustomPlayer *owner, const AVPacket *flushMarker)
      : Owner(owner), AudioQueue(flushMarker), VideoQueue(flushMarker) {}

  TCustomPlayer *Owner;
  std::atomic<int> OpenState{0}; // 0 opening, 1 open, -1 failed, -2 failed and released
  int64_t StartTime = 0;         // µs
  int64_t Duration = 0;          // µs, -1 unknown
  int64_t AudioStartTime = -1;   // µs
  bool IsImageSequence = false;
  bool EndReported = false;
  std::atomic<bool> InputEnded{false}; // the read thread found the end (or an I/O error)
  // One more per seek taken up: the end is reported once per playing through to it.
  std::atomic<int> EndRound{0};
  int EndReportedRound = -1; // play thread only
  // µs on NowMicroseconds' clock after which the library's waits give up; 0: no bound.
  std::atomic<int64_t> IoDeadline{0};
  std::thread ReadThread;
  std::thread VideoDecodeThread;
  std::atomic<bool> AbortRequest{false};
  std::atomic<bool> Paused{false};
  // One more per seek taken up, counted before its flush marker is queued.
  std::atomic<int> SeekRound{0};
  // A seek taken up while paused: its round, until the video decoder has made the first picture
  // after that seek's flush marker, so the new place is seen; -1 otherwise.
  std::atomic<int> ShowRound{-1};
  std::atomic<int64_t> PauseTime{0}; // µs, when the playback last paused
  bool LastPaused = false;
  std::atomic<bool> SeekRequest{false};
  int SeekFlags = 0;
  std::atomic<int64_t> SeekTarget{0}; // µs in the container's time line
  AVFormatContext *Input = nullptr;

  // Audio: decoded inside the device callback.
  int AudioStreamIndex = -1;
  AVStream *AudioStream = nullptr;
  AVCodecContext *AudioCodec = nullptr;
  TPacketQueue AudioQueue;
  std::atomic<double> AudioClockValue{0}; // s, end of the samples handed on so far
  uint8_t AudioBuffer1[AudioBufferBytes] = {};
  uint8_t AudioBuffer2[AudioBufferBytes] = {};
  uint8_t *AudioBuffer = AudioBuffer1;
  std::atomic<int> AudioBufferSize{0};
  std::atomic<int> AudioBufferIndex{0};
  AVFrame *AudioFrame = nullptr;
  bool AudioDrained = false;       // the decoder has nothing more until a new packet
  SwrContext *AudioConverter = nullptr;
  int AudioSourceFormat = -1; // what the converter was made for
  int AudioSourceRate = 0;
  uint64_t AudioSourceLayout = 0;
  int AudioSourceChannels = 0;
  SDL_AudioDeviceID AudioDevice = 0;
  std::atomic<int> AudioChannels{0}; // of the samples handed to the device
  std::atomic<int> AudioRate{0};
  int AudioDeviceBufferBytes = 0; // one device buffer

  bool ShowWaveform = false;
  std::atomic<int16_t> SampleRing[SampleRingSize] = {};
  std::atomic<int> SampleRingIndex{0};
  int LastWaveStart = 0;

  // Video.
  std::atomic<double> FrameTimer{0}; // s, when the current picture is due
  double FrameLastPts = 0;
  double FrameLastDelay = 0;
  std::atomic<double> VideoClockValue{0}; // s, predicted pts of the next decoded picture
  int VideoStreamIndex = -1;
  AVStream *VideoStream = nullptr;
  AVCodecContext *VideoCodec = nullptr;
  SwsContext *Scaler = nullptr; // decoder pictures to the slot's 4:2:0 planes
  TPacketQueue VideoQueue;
  std::atomic<double> VideoCurrentPts{0};
  std::atomic<int64_t> VideoCurrentPtsTime{0};
  bool PictureShown = false; // play thread only
  TQueuedPicture Picture;
  int PictureCount = 0; // guarded by PictureMutex
  std::mutex PictureMutex;
  std::condition_variable PictureCondition;

  char FileName[1024] = {};
  std::atomic<int> DisplayWidth{0};
  std::atomic<int> DisplayHeight{0};
  int DisplayLeft = 0;
  int DisplayTop = 0;
};

// µs on a clock that only moves forward.
int64_t NowMicroseconds();
