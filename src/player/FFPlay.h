#pragma once
// The player component: binds the media libraries and SDL, opens one file at a time into a video
// host, plays picture and sound in step on threads of its own, pauses, resumes and seeks, and
// reports file-open, position, state, log and hook events.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "engine/Bitmap.h"
#include "engine/PictureConverter.h"
#include "media/AVProbe.h"
#include "player/PlayEvents.h"
#include "player/PlayerCalls.h"
#include "player/VideoHost.h"

struct AVFrame;
struct AVPacket;
struct PlayContext;
struct SDL_Renderer;
struct SDL_Surface;
class TPlayThread;

enum TPlayState { psPlay, psPause, psResume, psStep, psStop, psEnd }; // psStep is never reported
enum TLogType { ltInfo, ltError };                                      // the player logs ltError only
using TAudioVolume = int;                                               // 0 (silent) … 128 (full)

class TCustomPlayer;

// The engine has its own TLogEvent; the player's log event carries the sender and a log type.
using TFileOpenEvent = std::function<void(TCustomPlayer *Sender, int64_t ADuration, int AFrameWidth,
                                          int AFrameHeight, int &AScreenWidth, int &AScreenHeight)>;
using TPlayStateEvent = std::function<void(TCustomPlayer *Sender, TPlayState AState)>;
using TPositionEvent = std::function<void(TCustomPlayer *Sender, int64_t APTS)>;
using TPlayerLogEvent = std::function<void(TCustomPlayer *Sender, TLogType AType, const std::string &AMsg)>;
using THookEvent = std::function<void(TCustomPlayer *Sender, TBitmap *ABitmap, int64_t APTS)>;

class TCustomPlayer {
public:
  TCustomPlayer();
  virtual ~TCustomPlayer();
  TCustomPlayer(const TCustomPlayer &) = delete;
  TCustomPlayer &operator=(const TCustomPlayer &) = delete;

  std::string About;
  static std::string Version() { return "1.2"; }

  // Read by the audio device on every callback.
  TAudioVolume AudioVolume() const { return FAudioVolume; }
  void SetAudioVolume(TAudioVolume value); // clamped to 0 … 128
  bool Mute() const { return FMute; }
  void SetMute(bool value) { FMute = value; }
  // Read at Open.
  bool DisableAudio() const { return FDisableAudio; }
  void SetDisableAudio(bool value) { FDisableAudio = value; }
  bool DisableVideo() const { return FDisableVideo; }
  void SetDisableVideo(bool value) { FDisableVideo = value; }
  // Show nothing: Open then sets DisableVideo (it stays set) and audio-only files get no waveform.
  bool DisableDisplay() const { return FDisableDisplay; }
  void SetDisableDisplay(bool value) { FDisableDisplay = value; }
  // Frame size handed to the demuxer (0 = unspecified).
  int FrameWidth() const { return FFrameWidth; }
  void SetFrameWidth(int value) { FFrameWidth = value; }
  int FrameHeight() const { return FFrameHeight; }
  void SetFrameHeight(int value) { FFrameHeight = value; }
  // Size of the drawing surface (0 = the video's size, else 640 × 480). The OnFileOpen handler sets
  // them; a resize of the host overwrites them, also for the next open.
  int ScreenWidth() const { return FScreenWidth; }
  void SetScreenWidth(int value) { FScreenWidth = value; }
  int ScreenHeight() const { return FScreenHeight; }
  void SetScreenHeight(int value) { FScreenHeight = value; }
  // Pass every decoded picture through OnHook.
  bool Hook() const { return FHook; }
  void SetHook(bool value) { FHook = value; }

  // Assigned before Open. OnFileOpen runs on the thread calling Open; OnState on the thread where the
  // change happens (psPlay, psStop, psEnd on the play thread); OnPosition and OnLog on the main
  // thread; OnHook on the video decoder thread, with the bitmap's canvas locked.
  TFileOpenEvent OnFileOpen;
  TPlayerLogEvent OnLog;
  TPositionEvent OnPosition;
  TPlayStateEvent OnState;
  THookEvent OnHook;

  // Operations of the host's (main) thread.
  bool LibrariesLoaded() const;
  bool LoadLibraries(const std::string &folder);
  // Plays the file into the host (none: nothing is shown). False with LastError set on failure.
  bool Open(const std::string &fileName, TVideoHost *host);
  // Ends the playback; with wait, returns after the play thread has ended and the file is closed.
  // Never call it with wait from a state handler on the play thread. The wait serves only the calls
  // the playback's threads hand to the main thread; a Stop called from one of those returns at once
  // and leaves the ending to the Stop that waits.
  void Stop(bool wait);
  void Pause();
  void Resume();
  // Position in µs from the start of the file; beyond the duration lands on the duration.
  void Seek(int64_t position);
  // The picture in the picture slot at the video's decoded size, 0 × 0 without one. Owned by the
  // player and overwritten by the next call.
  TBitmap *GetCurrentFrame();

  std::string LastError() const;
  const std::string &FileName() const { return FFileName; }
  TAVProbe &Probe() { return FProbe; }

  // The machinery of a playback calls these on its threads; hosts do not.
  void Log(TLogType type, const std::string &text, bool setLastError = false);
  void SetLastError(const std::string &text);
  void DeliverPendingLog();
  void DoState(TPlayState state);
  void UpdatePosition();
  bool ApplyHook(const AVFrame *frame, uint8_t *const overlay[], const int overlayLinesize[], double pts,
                 int width, int height, int sourceFormat);
  void EventLoop();
  void DoExit();
  PlayContext *CurrentContext() const { return FCurrentContext.load(); }
  TPlayEvents &Events() { return FEvents; }
  TPlayerCalls &MainThreadCalls() { return FCalls; }
  const AVPacket *FlushPacket() const { return FFlushPacket; }
  int64_t AudioCallbackTime() const { return FAudioCallbackTime; }
  void SetAudioCallbackTime(int64_t value) { FAudioCallbackTime = value; }
  int ScalingFlags() const { return FScalingFlags; }
  int FramePixelFormat() const { return FFramePixelFormat; }
  TVideoHost *VideoHost() const { return FVideoHost; }
  // The drawing surface and its renderer; both belong to the play thread while a playback runs.
  SDL_Surface *Surface() const { return FSurface; }
  SDL_Renderer *Renderer() const { return FRenderer; }
  bool SetVideoMode(int width, int height);

private:
  void DoFileOpen();
  void DoLog();
  void ResetPerPlayback();
  void FreeSurface();
  void RunInMainThread(const std::function<void()> &fn);

  std::atomic<TAudioVolume> FAudioVolume{128};
  std::atomic<bool> FMute{false};
  bool FDisableAudio = false;
  bool FDisableVideo = false;
  bool FDisableDisplay = false;
  int FFrameWidth = 0;
  int FFrameHeight = 0;
  std::atomic<int> FScreenWidth{0};
  std::atomic<int> FScreenHeight{0};
  std::atomic<bool> FHook{false};
  std::atomic<bool> FSilenced{false}; // set while the player is destroyed

  const int FScalingFlags = 4; // bicubic
  const int FFramePixelFormat = -1;
  std::string FFileName;
  std::atomic<PlayContext *> FCurrentContext{nullptr};
  std::atomic<int64_t> FAudioCallbackTime{0};
  AVPacket *FFlushPacket = nullptr;
  SDL_Surface *FSurface = nullptr;
  SDL_Renderer *FRenderer = nullptr;
  std::string FLastError;
  int64_t FLastPosition = 0; // no timestamp after each playback
  mutable std::mutex FLogLock; // guards the pending message and LastError across threads
  TLogType FPendingLogType = ltError;
  std::string FPendingLogText;
  std::atomic<bool> FLogPending{false};
  TAVProbe FProbe;
  TPlayEvents FEvents;
  TPlayerCalls FCalls;
  bool FStopping = false;                // a Stop waits for the play thread (main thread only)
  std::atomic<bool> FSDLStarted{false}; // this player holds a start of SDL
  std::unique_ptr<TPlayThread> FPlayThread;
  TVideoHost *FVideoHost = nullptr;
  std::unique_ptr<TPictureConverter> FSnapshotConverter;
  std::unique_ptr<TPictureConverter> FHookConverter;
  std::unique_ptr<TBitmap> FNoFrame; // the current frame when there is no picture to convert
  // Held by the host's operations while they use the current playback, and while it is forgotten.
  std::mutex FContextLock;
};

// The component as the windows use it.
class TFFPlayer final : public TCustomPlayer {};
