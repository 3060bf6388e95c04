// The driver's part of sizes: estimating a queued file's output and fitting it to a target size.
#include <filesystem>
#include <functional>
#include <set>

#include "convert/ConvertUnt.h"
#include "convert/JobBuilder.h"
#include "convert/RunShape.h"
#include "convert/SizeEstimate.h"
#include "convert/SizeSampler.h"
#include "convert/SizeTarget.h"
#include "convert/TrackPlan.h"

TFormatRec ForSizeTarget(TFormatRec profile, const TInputFile &file) {
  // A size is met by bit rates; a quality would give any size.
  if (file.TargetBytes > 0)
    profile.QualityValue = -1;
  return profile;
}

namespace {

// x265 takes its options as one list of name=value pairs parted by ':'.
std::string X265ParamValue(const std::string &text) {
  std::string escaped;
  for (const char c : text) {
    if (c == ':' || c == '=' || c == '\\' || c == '\'')
      escaped += '\\';
    escaped += c;
  }
  return escaped;
}

// The options of one pass for the encoder, its statistics under log. x264 and x265 write their own
// beside the engine's; SVT-AV1's first pass is an ordinary encode.
std::string TwoPassLines(TTwoPassKind kind, const std::string &codec, int pass, const std::string &log) {
  const std::string number = std::to_string(pass);
  if (kind == TTwoPassKind::TrialFirst)
    return "";
  if (codec == "libx265")
    return "x265-params=pass=" + number + ":stats=" + X265ParamValue(log + "-x265.log") + "\n";
  std::string lines = "pass=" + number + "\npasslogfile=" + log + "\n";
  if (codec == "libx264")
    lines += "stats=" + log + "-x264.log\n";
  return lines;
}

// The output record of a file as far as its size goes: the profile's streams, and copies of those
// that fit.
TOutputOptions SizedRecord(const TFormatRec &profile, const TInputFile &file, bool copyStreams) {
  TOutputOptions out;
  ResetOutputOptions(out);
  out.FileExt = profile.Ext;
  out.DisableVideo = profile.Category != 1 || IsAudioExtension(profile.Ext);
  FillAudioSettings(out, profile);
  if (!out.DisableVideo)
    FillVideoSettings(out, profile, file.AspectIndex);
  if (copyStreams && profile.Target.empty()) {
    TStreamFit fit = DecideFit(file.Source, out, file.TrimStart > 0, true);
    fit.CopyAudio = fit.CopyAudio && profile.Loudness.empty();
    ApplyFit(out, fit);
  }
  return out;
}

// The file as it is now (a file changed since it was sampled is sampled again), the settings that
// shape the output's streams and the range.
std::string SampleKey(const TInputFile &file, const TOutputOptions &out) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(file.FileName, ec);
  const auto time = std::filesystem::last_write_time(file.FileName, ec).time_since_epoch().count();
  std::string key;
  for (const std::string &part :
       {file.FileName, std::to_string(size), std::to_string(time), std::to_string(file.TrimStart),
        std::to_string(OutputLengthMs(file)), out.FileExt, out.AudioCodec, std::to_string(out.DisableAudio),
        std::to_string(out.AudioChannels), std::to_string(out.AudioSampleRate), std::to_string(out.AudioBitrate),
        std::to_string(out.AudioVolume), out.VideoCodec, std::to_string(out.DisableVideo), out.FrameRate,
        out.FrameSize, out.AspectRatio, std::to_string(out.VideoBitrate), out.PixelFormat, out.VideoTag,
        out.ExtOptions})
    key += part + '\x1f';
  return key;
}

// The samples that measure the file's output better than its guess; none when the size of every
// stream follows from its bit rate, or from a target.
std::optional<TSampleJob> SampleJobOf(const TFormatRec &profile, const TInputFile &file, const TOutputOptions &out) {
  const int64_t length = OutputLengthMs(file);
  const bool video = VideoSizeVaries(out, file.Source), audio = AudioSizeVaries(out, file.Source);
  if (length <= 0 || file.TargetBytes > 0 || (!video && !audio))
    return std::nullopt;
  TSampleJob job;
  job.Key = SampleKey(file, out);
  job.FileName = file.FileName;
  job.Output = out;
  job.Output.DisableVideo = !video;
  job.Output.DisableAudio = !audio;
  // A disc standard names its muxer and its rates, and the profile's own choices come after them.
  if (profile.Target.empty())
    job.Output.FileFormat = OutputMuxer("sample" + profile.Ext);
  else
    job.Output.ExtOptions = "target=" + profile.Target + "\n" + job.Output.ExtOptions;
  job.StartMs = std::max<int64_t>(file.TrimStart, 0);
  job.LengthMs = length;
  return job;
}

} // namespace

int64_t TTvlConvert::EstimatedBytes(int position, int32_t profileIndex, std::optional<TSampleJob> *unsampled) const {
  const TInputFile &file = Files[position];
  const TFormatRec profile = ForSizeTarget(FProfiles.GetFormat(profileIndex), file);
  const int64_t length = OutputLengthMs(file);
  if (unsampled)
    unsampled->reset();
  if (file.TargetBytes > 0)
    return length > 0 ? file.TargetBytes : 0;
  const TOutputOptions out = SizedRecord(profile, file, FProfiles.CopyStreams);
  // The samples measure one sound track; the estimate counts every one the file keeps.
  TOutputOptions kept = out;
  if (file.TracksRead)
    MapTracks(kept, TrackSourceOf(file), profile.Ext);
  std::optional<TSampleJob> job = SampleJobOf(profile, file, out);
  const auto sampled = job ? Samples.find(job->Key) : Samples.end();
  if (sampled != Samples.end())
    return EstimateOutputBytes(kept, file.Source, length, &sampled->second);
  if (unsampled)
    *unsampled = std::move(job);
  return EstimateOutputBytes(kept, file.Source, length);
}

bool TTvlConvert::SampleSize(int position, int32_t profileIndex, int threads) {
  std::optional<TSampleJob> job;
  EstimatedBytes(position, profileIndex, &job);
  if (!job)
    return true;
  job->Threads = threads;
  const std::optional<TSampledRates> rates = TSizeSampler().Measure(*job);
  if (rates)
    Samples[job->Key] = *rates;
  return rates.has_value();
}

int64_t TTvlConvert::EstimatedTotal(int32_t profileIndex, const TRunFilter &include) const {
  int64_t total = 0;
  for (int p = 0; p < Files.Count(); ++p) {
    if (include && !include(Files[p]))
      continue;
    try {
      total += EstimatedBytes(p, profileIndex);
    } catch (const std::exception &) {
      // The run itself says what is wrong with the profile.
    }
  }
  return total;
}

void TTvlConvert::FitToSize(TInputFile &file) {
  TOutputOptions &out = file.OutputOptions;
  if (file.TargetBytes <= 0 || out.DisableVideo || file.Source.VideoCodec == 0)
    return;
  const int64_t pixels = out.FrameSize.empty() ? file.PicturePixels : SizePixels(out.FrameSize);
  const TContainerCost cost = ContainerCost(out);
  TSizeNeeds needs;
  needs.LengthMs = OutputLengthMs(file);
  const int tracks = AudioTrackCount(out);
  needs.AudioBitsPerSecond = AudioBitsPerSecond(out, file.Source) * tracks;
  needs.PacketBytesPerSecond =
      (VideoPacketRate(out, file.Source) + AudioPacketRate(out, file.Source) * tracks) * cost.PacketBytes;
  needs.FixedBytes = cost.FixedBytes;
  needs.PixelsPerSecond = static_cast<double>(pixels) * VideoPacketRate(out, file.Source);
  needs.Share = TargetShareOf(out.VideoCodec);
  needs.FloorBitsPerPixel = FloorBitsPerPixelOf(out.VideoCodec);
  const int64_t rate = VideoBitrateForSize(file.TargetBytes, needs, file.FileName);
  const TTwoPassKind kind = TwoPassKindOf(out.VideoCodec);
  const int64_t second =
      SizePass == 2 ? SecondPassBitrate(kind, rate, file.FirstPassBytes, file.TargetBytes, needs) : rate;
  out.VideoBitrate = static_cast<int>(std::min<int64_t>(second, INT32_MAX));
  if (SizePass == 1)
    file.FirstPassBytes = 0;
  // Each file keeps its own statistics between the passes.
  if (SizePass != 0)
    out.ExtOptions += TwoPassLines(kind, out.VideoCodec, SizePass,
                                   PassLogPrefix + std::to_string(std::hash<std::string>{}(file.FileName)));
}

TTvlConvert::TRunFilter TTvlConvert::SecondPassFilter(const TRunFilter &include) const {
  std::set<const TInputFile *> taken;
  for (int p = 0; p < Files.Count(); ++p)
    if (!include || include(Files[p]))
      taken.insert(&Files[p]);
  return [taken = std::move(taken)](const TInputFile &file) {
    return taken.contains(&file) && (file.TargetBytes <= 0 || file.Status == csSuccess);
  };
}

void TTvlConvert::NoteFirstPass(TInputFile &file) const {
  std::error_code ec;
  if (SizePass == 1 && file.Status == csSuccess && file.TargetBytes > 0) {
    const auto bytes = std::filesystem::file_size(file.OutputOptions.FileName, ec);
    file.FirstPassBytes = ec ? 0 : static_cast<int64_t>(bytes);
  }
}
