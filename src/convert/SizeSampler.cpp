#include "convert/SizeSampler.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <unistd.h>

#include "engine/FFmpeg.h"
#include "engine/LibraryObjects.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"

namespace {

// Three pieces of two seconds: enough to see a film's quiet and busy parts, little enough to
// encode in the background while the user sets up the queue.
constexpr int PieceCount = 3;
constexpr int64_t PieceMs = 2000;
constexpr int64_t LeadMs = 1000;
// How often a running piece looks whether it was stopped.
constexpr int64_t StopCheckUs = 50000;

constexpr const char *PiecePrefix = "tavrelle-sample-";

// Pieces a program left behind when it was ended while it encoded them (killed, or the power gone).
bool RemoveOrphanedPieces(const std::filesystem::path &folder) {
  std::error_code ec, removed;
  for (auto entry = std::filesystem::directory_iterator(folder, ec);
       !ec && entry != std::filesystem::directory_iterator(); entry.increment(ec)) {
    const std::string name = entry->path().filename().string();
    if (!name.starts_with(PiecePrefix))
      continue;
    const int pid = std::atoi(name.c_str() + std::strlen(PiecePrefix));
    if (pid > 0 && pid != getpid() && kill(pid, 0) != 0 && errno == ESRCH)
      std::filesystem::remove(entry->path(), removed);
  }
  return true;
}

std::string PiecePath(const std::string &ext) {
  static std::atomic<unsigned> counter{0};
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
  [[maybe_unused]] static const bool swept = RemoveOrphanedPieces(folder);
  return (folder / (PiecePrefix + std::to_string(getpid()) + "-" + std::to_string(++counter) + ext)).string();
}

} // namespace

std::vector<TSamplePiece> SamplePieces(int64_t startMs, int64_t lengthMs) {
  if (lengthMs <= PieceCount * PieceMs)
    return {{startMs, lengthMs, 0}};
  std::vector<TSamplePiece> pieces;
  // Each piece is centred in its share of the range.
  for (int i = 0; i < PieceCount; ++i) {
    const int64_t start = startMs + lengthMs * (2 * i + 1) / (2 * PieceCount) - PieceMs / 2;
    pieces.push_back({start, PieceMs, std::min(LeadMs, start - startMs)});
  }
  return pieces;
}

void TSizeSampler::Stop() {
  std::lock_guard guard(FTaskLock);
  FStopped = true;
  // A stop asked just before the task begins is lost to it; its progress reports look again.
  if (FTask)
    FTask->RequestStop();
}

bool TSizeSampler::Hand(TCustomFFmpeg *task) {
  std::lock_guard guard(FTaskLock);
  FTask = FStopped ? nullptr : task;
  return !FStopped;
}

std::optional<TSampledRates> TSizeSampler::Measure(const TSampleJob &job) {
  int64_t video = 0, audio = 0, sampledMs = 0;
  for (const TSamplePiece &piece : SamplePieces(job.StartMs, job.LengthMs)) {
    if (FStopped)
      return std::nullopt;
    const std::optional<TStreamBytes> bytes = EncodePiece(job, piece);
    if (!bytes)
      return std::nullopt;
    video += bytes->Video;
    audio += bytes->Audio;
    sampledMs += piece.LengthMs;
  }
  if (sampledMs <= 0)
    return std::nullopt;
  const double seconds = static_cast<double>(sampledMs) / 1000.0;
  TSampledRates rates;
  if (!job.Output.DisableVideo)
    rates.VideoBytesPerSecond = static_cast<double>(video) / seconds;
  if (!job.Output.DisableAudio)
    rates.AudioBytesPerSecond = static_cast<double>(audio) / seconds;
  return rates;
}

namespace {

// The bytes of the picture and the sound packets a written file holds from leadSeconds after each
// stream's start on.
std::optional<std::pair<int64_t, int64_t>> ReadStreamBytes(const std::string &path, double leadSeconds) {
  AVFormatContext *opened = nullptr;
  if (AVFormat.avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
    return std::nullopt;
  TInputContextPtr context(opened);
  TPacketPtr packet = NewPacket();
  std::map<int, int64_t> firsts; // each stream's first time
  int64_t video = 0, audio = 0;
  while (AVFormat.av_read_frame(context.get(), packet.get()) >= 0) {
    const auto index = static_cast<unsigned>(packet->stream_index);
    const AVStream *stream = index < context->nb_streams ? context->streams[index] : nullptr;
    const int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (stream && at != AV_NOPTS_VALUE) {
      const int64_t first = firsts.try_emplace(packet->stream_index, at).first->second;
      const double since = static_cast<double>(at - first) * stream->time_base.num / stream->time_base.den;
      const AVMediaType type = stream->codecpar->codec_type;
      const bool counted = since >= leadSeconds - 1e-3;
      if (counted && type == AVMEDIA_TYPE_VIDEO)
        video += packet->size;
      else if (counted && type == AVMEDIA_TYPE_AUDIO)
        audio += packet->size;
    }
    AVCodecLib.av_packet_unref(packet.get());
  }
  return std::pair{video, audio};
}

} // namespace

bool TSizeSampler::RunPiece(const TInputOptions &input, const TOutputOptions &output) {
  try {
    TFFmpeg task;
    task.Reset();
    task.SetVerbose(-1);
    task.ProgressIntervalUs = StopCheckUs;
    task.OnProgress = [this](TCustomFFmpeg &running, int, int, int, float, float, int64_t, int) {
      if (FStopped)
        running.RequestStop();
    };
    if (!task.OpenInput(input.FileName, &input) || !task.OpenOutput(output.FileName, &output) || !Hand(&task))
      return false;
    struct TLetGo {
      TSizeSampler &Sampler;
      ~TLetGo() { Sampler.Hand(nullptr); }
    } letGo{*this};
    task.Start(false, tpIdle);
    return task.Finished && !task.Failed && !FStopped;
  } catch (const std::exception &) {
    // A piece the engine refuses measures nothing; the guess stays.
    return false;
  }
}

std::optional<TSizeSampler::TStreamBytes> TSizeSampler::EncodePiece(const TSampleJob &job,
                                                                    const TSamplePiece &piece) {
  TInputOptions input;
  ResetInputOptions(input);
  input.FileName = job.FileName;
  input.StartTimeMs = static_cast<int>(piece.StartMs - piece.LeadMs);
  if (job.Output.DisableVideo)
    input.ExtOptions = "vn=1\n";
  if (job.Threads > 0)
    input.ExtOptions += "threads=" + std::to_string(job.Threads) + "\n";
  TOutputOptions output = job.Output;
  output.FileName = PiecePath(job.Output.FileExt);
  output.RecordTimeMs = static_cast<int>(piece.LeadMs + piece.LengthMs);
  const bool finished = RunPiece(input, output);
  const auto bytes =
      finished ? ReadStreamBytes(output.FileName, static_cast<double>(piece.LeadMs) / 1000.0) : std::nullopt;
  std::error_code ec;
  std::filesystem::remove(output.FileName, ec);
  if (!bytes)
    return std::nullopt;
  return TStreamBytes{bytes->first, bytes->second};
}
