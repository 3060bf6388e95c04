// The player benchmark: generates a clip with a white flash and a short tone burst starting
// together every second, plays it through the real player (SDL's dummy drivers unless the
// environment names others) into a host that time-stamps every picture, and measures per clip
// the picture-to-sound offset of each flash, the pictures shown late, the time from a seek to the
// first picture of the new position and the CPU time of playback. One line per clip:
//
//   clip=NAME sync_median_ms=N sync_max_ms=N late_pictures=N seek_median_ms=N cpu_share=N
//
//   tvl-player-bench [folder]      (default: the temporary folder; clips made there are kept)
//
// With TVL_BENCH_DETAIL set, every flash's offset goes to stderr.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "ClipWriter.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"
#include "platform/HeadlessDispatch.h"
#include "platform/MainThread.h"
#include "player/FFPlay.h"
#include "player/HeadlessVideoHost.h"
#include "player/LibSDL.h"
#include "player/PlayContext.h"

namespace fs = std::filesystem;

namespace {

struct TBenchClip {
  const char *Name;
  const char *File;
  const char *Format;
  const char *VideoCodec;
  const char *AudioCodec;
  int Width, Height, Rate;
  double Seconds;
};

// What the sound device was handed: the moment each burst's first sample reaches the speaker.
struct TAudioProbe {
  std::mutex Lock;
  std::vector<int64_t> Bursts; // µs
  int64_t CallbackTime = -1;
  int64_t CallbackBytes = 0; // handed earlier in the same device buffer
  int64_t Quiet = 0;          // frames of silence before the current sample
  TCustomPlayer *Player = nullptr;
};
TAudioProbe Probe;
decltype(SDLLib.SDL_MixAudioFormat) RealMix = nullptr;

// Stands in for SDL's mixer inside the player's audio callback: notes where bursts begin.
void MixAndWatch(Uint8 *dst, const Uint8 *src, SDL_AudioFormat format, Uint32 len, int volume) {
  RealMix(dst, src, format, len, volume);
  PlayContext *context = Probe.Player->CurrentContext();
  if (!context)
    return;
  const int channels = context->AudioChannels;
  const int rate = context->AudioRate;
  if (channels <= 0 || rate <= 0)
    return;
  std::lock_guard guard(Probe.Lock);
  const int64_t callback = Probe.Player->AudioCallbackTime();
  if (callback != Probe.CallbackTime) {
    Probe.CallbackTime = callback;
    Probe.CallbackBytes = 0;
  }
  const auto *samples = reinterpret_cast<const int16_t *>(src);
  const double bytesPerSecond = 2.0 * channels * rate;
  const double deviceBuffer = 1024.0 / rate;
  for (Uint32 i = 0; i < len / 2; i += channels) {
    if (std::abs(static_cast<int>(samples[i])) > 1500) {
      if (Probe.Quiet > rate / 2) {
        const double offset = static_cast<double>(Probe.CallbackBytes + 2 * i) / bytesPerSecond;
        Probe.Bursts.push_back(callback + std::llrint((offset + deviceBuffer) * 1e6));
      }
      Probe.Quiet = 0;
    } else {
      ++Probe.Quiet;
    }
  }
  Probe.CallbackBytes += len;
}

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> values) {
  if (values.empty())
    return -1;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

bool MakeClip(const TBenchClip &clip, const std::string &path) {
  if (fs::exists(path))
    return true;
  TClipPlan plan;
  plan.Format = clip.Format;
  plan.Seconds = clip.Seconds;
  TStreamPlan video = VideoStream(clip.VideoCodec, clip.Width, clip.Height, clip.Rate);
  video.Content = TContent::Flashes;
  video.KeyInterval = clip.Rate; // a key picture every second
  video.BitRate = clip.Height > 576 ? 4000000 : 2000000;
  TStreamPlan audio = AudioStream(clip.AudioCodec, 48000, 2);
  audio.Content = TContent::Flashes;
  plan.Streams = {video, audio};
  std::string error;
  if (!WriteClip(path, plan, error)) {
    std::fprintf(stderr, "tvl-player-bench: %s: %s\n", clip.File, error.c_str());
    return false;
  }
  return true;
}

struct TResult {
  double SyncMedian = -1, SyncMax = -1, SeekMedian = -1, CpuShare = -1;
  int Late = -1;
};

// Plays the clip through and pairs every flash shown with the burst that starts with it.
void MeasureSync(TFFPlayer &player, platform::THeadlessDispatch &dispatch, const TBenchClip &clip,
                 const std::string &path, TResult &result) {
  THeadlessVideoHost host;
  std::mutex lock;
  std::vector<int64_t> shown, flashes;
  bool wasWhite = false;
  host.OnPicture = [&](const THeadlessVideoHost::TPicture &picture) {
    const int64_t now = Now();
    const bool white = (picture.Pixel(picture.Width / 2, picture.Height / 2) & 0xFF) > 128;
    std::lock_guard guard(lock);
    shown.push_back(now);
    if (white && !wasWhite)
      flashes.push_back(now);
    wasWhite = white;
  };
  bool ended = false;
  player.OnState = [&](TCustomPlayer *, TPlayState state) {
    std::lock_guard guard(lock);
    ended |= state == psEnd;
  };
  {
    std::lock_guard guard(Probe.Lock);
    Probe.Bursts.clear();
    Probe.Quiet = 0;
  }
  const double cpuBefore = CpuSeconds();
  const int64_t start = Now();
  if (!player.Open(path, &host)) {
    std::fprintf(stderr, "tvl-player-bench: %s\n", player.LastError().c_str());
    return;
  }
  dispatch.ProcessUntil(
      [&] {
        std::lock_guard guard(lock);
        return ended;
      },
      std::chrono::seconds(static_cast<int>(clip.Seconds * 3 + 30)));
  const double wall = static_cast<double>(Now() - start) / 1e6;
  player.Stop(true);
  result.CpuShare = (CpuSeconds() - cpuBefore) / wall;

  std::lock_guard guard(lock);
  std::lock_guard probeGuard(Probe.Lock);
  if (shown.empty())
    return;
  const int64_t settled = shown.front() + 1000000;
  std::vector<double> offsets;
  for (int64_t flash : flashes) {
    if (flash < settled)
      continue;
    const auto nearest = std::min_element(Probe.Bursts.begin(), Probe.Bursts.end(), [&](int64_t a, int64_t b) {
      return std::llabs(a - flash) < std::llabs(b - flash);
    });
    if (nearest != Probe.Bursts.end() && std::llabs(*nearest - flash) < 500000) {
      offsets.push_back(std::fabs(static_cast<double>(flash - *nearest)) / 1000);
      if (std::getenv("TVL_BENCH_DETAIL"))
        std::fprintf(stderr, "%s flash at %.3f s: picture %+.1f ms after the sound\n", clip.Name,
                     static_cast<double>(flash - shown.front()) / 1e6, static_cast<double>(flash - *nearest) / 1000);
    }
  }
  result.SyncMedian = Median(offsets);
  result.SyncMax = offsets.empty() ? -1 : *std::max_element(offsets.begin(), offsets.end());
  // A picture that follows the one before it by more than two frame times came over a frame late.
  const double frame = 1e6 / clip.Rate;
  result.Late = 0;
  for (size_t i = 1; i < shown.size(); ++i)
    if (shown[i] >= settled && static_cast<double>(shown[i] - shown[i - 1]) > 2 * frame)
      ++result.Late;
}

// Seeks back and forth and times each seek until the first position of the new place is shown.
void MeasureSeek(TFFPlayer &player, platform::THeadlessDispatch &dispatch, const TBenchClip &clip,
                 const std::string &path, TResult &result) {
  THeadlessVideoHost host;
  std::mutex lock;
  int64_t target = -1, arrived = -1, position = -1;
  player.OnState = nullptr;
  player.OnPosition = [&](TCustomPlayer *, int64_t pts) {
    std::lock_guard guard(lock);
    position = pts;
    if (target >= 0 && arrived < 0 && pts >= target - 100000 && pts <= target + 1200000)
      arrived = Now();
  };
  if (!player.Open(path, &host))
    return;
  dispatch.ProcessUntil(
      [&] {
        std::lock_guard guard(lock);
        return position >= 1000000;
      },
      std::chrono::seconds(20));
  const double length = clip.Seconds - 3;
  std::vector<double> times;
  for (double at : {0.4, 0.1, 0.8, 0.25, 0.6, 0.15, 0.9}) {
    const auto seconds = static_cast<int64_t>(std::floor(at * length));
    int64_t started;
    {
      std::lock_guard guard(lock);
      target = seconds * 1000000;
      arrived = -1;
      started = Now();
    }
    player.Seek(seconds * 1000000);
    const bool ok = dispatch.ProcessUntil(
        [&] {
          std::lock_guard guard(lock);
          return arrived >= 0;
        },
        std::chrono::seconds(10));
    if (ok)
      times.push_back(static_cast<double>(arrived - started) / 1000);
    dispatch.ProcessUntil([] { return false; }, std::chrono::milliseconds(700));
  }
  player.OnPosition = nullptr;
  player.Stop(true);
  result.SeekMedian = Median(times);
}

} // namespace

int main(int argc, char **argv) {
  const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "tvl-player-bench";
  std::error_code ec;
  fs::create_directories(folder, ec);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  auto *dispatch = dynamic_cast<platform::THeadlessDispatch *>(&platform::MainThread());
  if (!FFLoader.LoadLibraries(EngineLibraries)) {
    std::fprintf(stderr, "tvl-player-bench: %s\n", FFLoader.LastError().c_str());
    return 1;
  }
  AVUtil.av_log_set_level(AV_LOG_QUIET);
  TFFPlayer player;
  if (!dispatch || !player.LoadLibraries("")) {
    std::fprintf(stderr, "tvl-player-bench: %s\n", player.LastError().c_str());
    return 1;
  }
  Probe.Player = &player;
  RealMix = SDLLib.SDL_MixAudioFormat;
  SDLLib.SDL_MixAudioFormat = MixAndWatch;

  const TBenchClip clips[] = {
      {"hd_h264_aac", "flashes-1080p30.mp4", "mp4", "libx264", "aac", 1920, 1080, 30, 60},
      {"sd_mpeg2_mp2", "flashes-576p25.mpg", "vob", "mpeg2video", "mp2", 720, 576, 25, 60},
  };
  for (const TBenchClip &clip : clips) {
    const std::string path = (folder / clip.File).string();
    if (!MakeClip(clip, path))
      return 1;
    TResult result;
    MeasureSync(player, *dispatch, clip, path, result);
    MeasureSeek(player, *dispatch, clip, path, result);
    std::printf("clip=%s sync_median_ms=%.1f sync_max_ms=%.1f late_pictures=%d seek_median_ms=%.1f cpu_share=%.2f\n",
                clip.Name, result.SyncMedian, result.SyncMax, result.Late, result.SeekMedian, result.CpuShare);
    std::fflush(stdout);
  }
  return 0;
}
