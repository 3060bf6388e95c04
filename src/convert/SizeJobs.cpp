// The driver's part of sizes: estimating a queued file's output and fitting it to a target size.
#include <functional>

#include "convert/ConvertUnt.h"
#include "convert/JobBuilder.h"
#include "convert/RunShape.h"
#include "convert/SizeEstimate.h"
#include "convert/SizeTarget.h"

TFormatRec ForSizeTarget(TFormatRec profile, const TInputFile &file) {
  // A size is met by bit rates; a quality would give any size.
  if (file.TargetBytes > 0)
    profile.QualityValue = -1;
  return profile;
}

int64_t TTvlConvert::EstimatedBytes(int position, int32_t profileIndex) const {
  const TInputFile &file = Files[position];
  const TFormatRec profile = ForSizeTarget(FProfiles.GetFormat(profileIndex), file);
  const int64_t length = OutputLengthMs(file);
  if (file.TargetBytes > 0)
    return length > 0 ? file.TargetBytes : 0;
  TOutputOptions out;
  ResetOutputOptions(out);
  out.FileExt = profile.Ext;
  out.DisableVideo = profile.Category != 1 || IsAudioExtension(profile.Ext);
  FillAudioSettings(out, profile);
  if (!out.DisableVideo)
    FillVideoSettings(out, profile, file.AspectIndex);
  if (FProfiles.CopyStreams && profile.Target.empty()) {
    TStreamFit fit = DecideFit(file.Source, out, file.TrimStart > 0, true);
    fit.CopyAudio = fit.CopyAudio && profile.Loudness.empty();
    ApplyFit(out, fit);
  }
  return EstimateOutputBytes(out, file.Source, length);
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
  needs.AudioBitsPerSecond = AudioBitsPerSecond(out, file.Source);
  needs.PacketBytesPerSecond =
      (VideoPacketRate(out, file.Source) + AudioPacketRate(out, file.Source)) * cost.PacketBytes;
  needs.FixedBytes = cost.FixedBytes;
  needs.PixelsPerSecond = static_cast<double>(pixels) * VideoPacketRate(out, file.Source);
  needs.Share = TargetShareOf(out.VideoCodec);
  out.VideoBitrate = static_cast<int>(std::min<int64_t>(VideoBitrateForSize(file.TargetBytes, needs, file.FileName),
                                                        INT32_MAX));
  if (SizePass == 0)
    return;
  // Each file keeps its own statistics between the passes; x264 writes its own beside them.
  const std::string log = PassLogPrefix + std::to_string(std::hash<std::string>{}(file.FileName));
  out.ExtOptions += "pass=" + std::to_string(SizePass) + "\npasslogfile=" + log + "\n";
  if (out.VideoCodec == "libx264")
    out.ExtOptions += "stats=" + log + "-x264.log\n";
}
