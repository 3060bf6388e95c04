#include "player/FFPlay.h"

#include <chrono>
#include <cmath>
#include <system_error>

#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"
#include "platform/MainThread.h"
#include "player/LibSDL.h"
#include "player/PlayCore.h"
#include "player/PlayThread.h"

namespace {

// The flush marker is told apart by its data pointer.
const char FlushText[] = "FLUSH";

constexpr int64_t NoPosition = AV_NOPTS_VALUE;

// A longer name would be cut by the playback's 1024-byte name field and open another file.
constexpr size_t MaxFileName = 1023;

} // namespace

TCustomPlayer::TCustomPlayer() { ResetPerPlayback(); }

TCustomPlayer::~TCustomPlayer() {
  // No event reaches the owner while it goes; the handlers themselves may be read by the ending
  // playback's threads, so they are silenced rather than cleared.
  FSilenced = true;
  Stop(true);
  if (FFlushPacket)
    AVCodecLib.av_packet_free(&FFlushPacket);
}

void TCustomPlayer::SetAudioVolume(TAudioVolume value) { FAudioVolume = std::clamp(value, 0, SDL_MIX_MAXVOLUME); }

bool TCustomPlayer::LibrariesLoaded() const { return FFLoader.LibrariesLoaded(PlayerLibraries) && SDLLoaded(); }

bool TCustomPlayer::LoadLibraries(const std::string &folder) {
  FFLoader.LibraryPath = folder;
  if (!FFLoader.LoadLibraries(PlayerLibraries)) {
    Log(ltError, FFLoader.LastError(), true);
    return false;
  }
  if (!LoadSDL(folder)) {
    Log(ltError, SDLLastError(), true);
    return false;
  }
  return true;
}

bool TCustomPlayer::Open(const std::string &fileName, TVideoHost *host) {
  if (!FFLoader.LibrariesLoaded(PlayerLibraries)) {
    Log(ltError, "libav not loaded.", true);
    return false;
  }
  if (!SDLLoaded()) {
    Log(ltError, "libsdl not loaded.", true);
    return false;
  }
  Stop(true);
  if (fileName.size() > MaxFileName) {
    Log(ltError, "File name is longer than " + std::to_string(MaxFileName) + " bytes: " + fileName, true);
    return false;
  }
  if (FStopping) { // called by a handler the Stop's wait serves: the ending playback is not done
    Log(ltError, "The player is stopping.", true);
    return false;
  }
  std::string error;
  if (!StartSDL(error)) {
    Log(ltError, "Could not initialize SDL: " + error, true);
    return false;
  }
  FSDLStarted = true;
  if (FDisableDisplay)
    FDisableVideo = true;
  if (!FFlushPacket)
    FFlushPacket = AVCodecLib.av_packet_alloc();
  FFlushPacket->data = reinterpret_cast<uint8_t *>(const_cast<char *>(FlushText));
  FEvents.Clear();
  PlayContext *context = OpenPlayback(*this, fileName);
  if (!context) {
    if (FSDLStarted.exchange(false))
      QuitSDL();
    ResetPerPlayback();
    return false;
  }
  FCurrentContext = context;
  DeliverPendingLog(); // one the decoders logged after the open wait ended
  FFileName = fileName;
  FVideoHost = host;
  if (host)
    host->SetResizeListener(
        [this](int width, int height) { FEvents.Push(TPlayEvent{TPlayEventType::Resize, width, height}); });
  FProbe.AttachContext(context->Input);
  DoFileOpen();
  try {
    FPlayThread = std::make_unique<TPlayThread>(*this);
  } catch (const std::system_error &) {
    Log(ltError, "SDL_CreateThread() failed.", true);
    DoExit();
    return false;
  }
  return true;
}

void TCustomPlayer::DoFileOpen() {
  if (FSnapshotConverter)
    FSnapshotConverter->Reset();
  if (FHookConverter)
    FHookConverter->Reset();
  PlayContext *context = CurrentContext();
  if (!context)
    return;
  // Positions count from the start of the file whether or not a handler listens.
  const AVFormatContext *input = context->Input;
  context->StartTime = input->start_time == AV_NOPTS_VALUE ? 0 : input->start_time;
  context->Duration = input->duration == AV_NOPTS_VALUE ? -1 : input->duration;
  if (!OnFileOpen)
    return;
  int frameWidth = -1;
  int frameHeight = -1;
  if (context->VideoStreamIndex >= 0 && context->VideoCodec->width > 0) {
    frameWidth = context->VideoCodec->width;
    frameHeight = context->VideoCodec->height;
  }
  int screenWidth = FScreenWidth;
  int screenHeight = FScreenHeight;
  OnFileOpen(this, context->IsImageSequence ? 0 : context->Duration, frameWidth, frameHeight, screenWidth,
             screenHeight);
  FScreenWidth = screenWidth;
  FScreenHeight = screenHeight;
}

void TCustomPlayer::Stop(bool wait) {
  if (CurrentContext())
    FEvents.Push(TPlayEvent{TPlayEventType::Quit});
  if (!wait || FStopping)
    return;
  FStopping = true;
  if (FPlayThread) {
    FPlayThread->WaitFor();
    FPlayThread.reset();
  }
  if (CurrentContext())
    DoExit(); // no event loop ran
  FStopping = false;
}

void TCustomPlayer::DoExit() {
  if (PlayContext *context = CurrentContext()) {
    ClosePlayback(context);
    if (FVideoHost)
      FVideoHost->SetResizeListener({});
    {
      std::lock_guard guard(FContextLock);
      FCurrentContext = nullptr;
    }
    delete context;
    ResetPerPlayback();
  }
  if (FSDLStarted.exchange(false))
    QuitSDL();
}

void TCustomPlayer::ResetPerPlayback() {
  FreeSurface();
  FVideoHost = nullptr;
  FLastPosition = NoPosition;
}

void TCustomPlayer::Pause() {
  {
    std::lock_guard guard(FContextLock);
    PlayContext *context = CurrentContext();
    if (!context || context->Paused)
      return;
    TogglePause(context);
  }
  DoState(psPause);
}

void TCustomPlayer::Resume() {
  {
    std::lock_guard guard(FContextLock);
    PlayContext *context = CurrentContext();
    if (!context || !context->Paused)
      return;
    TogglePause(context);
  }
  DoState(psResume);
}

void TCustomPlayer::Seek(int64_t position) {
  std::lock_guard guard(FContextLock);
  PlayContext *context = CurrentContext();
  if (!context)
    return;
  // Without a known duration the requested time is taken as it is.
  if (context->Duration > 0)
    position = std::min(position, context->Duration);
  RequestSeek(context, std::max<int64_t>(position, 0) + context->StartTime, 0);
}

TBitmap *TCustomPlayer::GetCurrentFrame() {
  if (!FSnapshotConverter)
    FSnapshotConverter = std::make_unique<TPictureConverter>();
  std::lock_guard guard(FContextLock);
  PlayContext *context = CurrentContext();
  int width = 0;
  int height = 0;
  if (context && context->VideoStreamIndex >= 0) {
    TQueuedPicture &picture = context->Picture;
    std::lock_guard overlay(picture.OverlayLock);
    if (picture.HasOverlay()) {
      FSnapshotConverter->SourceColorspace = picture.Bt709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
      if (PictureToBitmap(*FSnapshotConverter, picture.Data, picture.Linesize, AV_PIX_FMT_YUV420P, picture.Width,
                          picture.Height))
        return FSnapshotConverter->Bitmap();
    } else if (context->VideoCodec && context->VideoCodec->width > 0) {
      width = context->VideoCodec->width; // no picture yet: black at the decoded size
      height = context->VideoCodec->height;
    }
  }
  if (!FNoFrame || FNoFrame->Width() != width || FNoFrame->Height() != height)
    FNoFrame = std::make_unique<TBitmap>(width, height);
  return FNoFrame.get();
}

void TCustomPlayer::UpdatePosition() {
  PlayContext *context = CurrentContext();
  if (!context || context->IsImageSequence)
    return;
  double clock;
  int64_t origin = context->StartTime;
  if (context->VideoStreamIndex >= 0) {
    clock = VideoClock(context);
  } else {
    clock = AudioClock(context);
    // An audio stream that starts after the file counts from its own start.
    if (context->AudioStartTime >= 0)
      origin = context->AudioStartTime;
  }
  int64_t position = std::max<int64_t>(std::llrint(clock * 1e6) - origin, 0);
  // Before the first picture the video clock runs on wall time alone and would move backwards then.
  const bool known = context->VideoStreamIndex < 0 || context->PictureShown;
  if (context->Duration > 0 && position >= context->Duration) {
    position = context->Duration;
    if (FLastPosition != context->Duration)
      FLastPosition = 0; // the end is reported once more, exactly
  }
  if (known && (FLastPosition == NoPosition || std::llabs(position - FLastPosition) > 10000)) {
    FLastPosition = position;
    if (OnPosition && !FSilenced)
      RunInMainThread([this, position] {
        if (OnPosition)
          OnPosition(this, position);
      });
  }
  // Empty queues alone also happen before the first packets are read. The round is read first: a
  // seek taken up meanwhile has cleared InputEnded before it counted a new round.
  const int round = context->EndRound;
  if (context->InputEnded && context->VideoQueue.Count() == 0 && context->AudioQueue.Count() == 0 &&
      context->EndReportedRound != round) {
    context->EndReportedRound = round;
    DoState(psEnd);
  }
}

void TCustomPlayer::DoState(TPlayState state) {
  if (OnState && !FSilenced)
    OnState(this, state);
}

void TCustomPlayer::RunInMainThread(const std::function<void()> &fn) { FCalls.Run(fn); }

void TCustomPlayer::Log(TLogType type, const std::string &text, bool setLastError) {
  const auto onMainThread = [&] {
    RunInMainThread([this, type, &text] {
      if (OnLog)
        OnLog(this, type, text);
    });
  };
  if (OnLog && !FSilenced) {
    if (CurrentContext()) {
      onMainThread();
    } else if (platform::MainThread().IsMainThread()) {
      OnLog(this, type, text);
    } else {
      // The read thread while Open waits: Open's wait loop delivers it. Once the playback is
      // current, nobody empties the slot any more and the message goes to the main thread.
      for (;;) {
        if (CurrentContext()) {
          onMainThread();
          break;
        }
        {
          std::lock_guard guard(FLogLock);
          if (!FLogPending) {
            FPendingLogType = type;
            FPendingLogText = text;
            FLogPending = true;
            break;
          }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
  }
  if ((type == ltError && !OnLog) || setLastError)
    SetLastError(text);
}

void TCustomPlayer::SetLastError(const std::string &text) {
  std::lock_guard guard(FLogLock);
  FLastError = text;
}

std::string TCustomPlayer::LastError() const {
  std::lock_guard guard(FLogLock);
  return FLastError;
}

void TCustomPlayer::DeliverPendingLog() {
  if (FLogPending)
    DoLog();
}

void TCustomPlayer::DoLog() {
  TLogType type;
  std::string text;
  {
    std::lock_guard guard(FLogLock);
    type = FPendingLogType;
    text = FPendingLogText;
  }
  if (OnLog)
    OnLog(this, type, text);
  FLogPending = false;
}

bool TCustomPlayer::ApplyHook(const AVFrame *frame, uint8_t *const overlay[], const int overlayLinesize[], double pts,
                              int width, int height, int sourceFormat) {
  if (!FHook || !OnHook || FSilenced)
    return false;
  if (!FHookConverter)
    FHookConverter = std::make_unique<TPictureConverter>();
  if (!PictureToBitmap(*FHookConverter, frame->data, frame->linesize, static_cast<AVPixelFormat>(sourceFormat), width,
                       height)) {
    if (OnLog)
      OnLog(this, ltError, "Cannot initialize the toRGB conversion context");
    return false;
  }
  TBitmap *bitmap = FHookConverter->Bitmap();
  const int64_t start = CurrentContext() ? CurrentContext()->StartTime : 0;
  try {
    std::lock_guard canvas(bitmap->Canvas());
    OnHook(this, bitmap, std::llrint(pts * 1e6) - start);
  } catch (const std::exception &error) {
    if (OnLog)
      OnLog(this, ltError, std::string("Error occurs OnHook: ") + error.what());
    return false;
  }
  if (!BitmapToPicture(*FHookConverter, overlay, overlayLinesize, AV_PIX_FMT_YUV420P, width, height)) {
    if (OnLog)
      OnLog(this, ltError, "Cannot initialize the fromRGB conversion context");
    return false;
  }
  return true;
}
