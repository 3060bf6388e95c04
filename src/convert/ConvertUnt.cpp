#include "convert/ConvertUnt.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "convert/ConvertHelpers.h"
#include "convert/CoverPicture.h"
#include "convert/ColourMarks.h"
#include "convert/JobBuilder.h"
#include "convert/TrackPlan.h"
#include "engine/FFmpegException.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/FFmpegLoader.h"
#include "platform/Dialogs.h"
#include "platform/ExeFolder.h"
#include "platform/MainThread.h"

int TInputFileList::Add(std::unique_ptr<TInputFile> file) {
  FItems.push_back(std::move(file));
  return Count() - 1;
}

void TInputFileList::Check(int position) const {
  if (position < 0 || position >= Count())
    throw std::out_of_range("List index out of bounds (" + std::to_string(position) + ")");
}

TInputFile &TInputFileList::Get(int position) const {
  Check(position);
  return *FItems[static_cast<std::size_t>(position)];
}

void TInputFileList::Exchange(int a, int b) {
  Check(a);
  Check(b);
  std::swap(FItems[static_cast<std::size_t>(a)], FItems[static_cast<std::size_t>(b)]);
}

void TInputFileList::Delete(int position) {
  Take(position);
}

std::unique_ptr<TInputFile> TInputFileList::Take(int position) {
  Check(position);
  std::unique_ptr<TInputFile> file = std::move(FItems[static_cast<std::size_t>(position)]);
  FItems.erase(FItems.begin() + position);
  return file;
}

void TInputFileList::Insert(int position, std::unique_ptr<TInputFile> file) {
  if (position != Count())
    Check(position);
  FItems.insert(FItems.begin() + position, std::move(file));
}

namespace {

struct TStreamFacts {
  bool Decodable = false; // an audio or video stream the libraries can decode
  bool Video = false;     // a video stream that is not an attached picture
};

TStreamFacts ReadStreamFacts(const AVFormatContext *context) {
  TStreamFacts facts;
  for (unsigned i = 0; context && i < context->nb_streams; ++i) {
    const AVStream *st = context->streams[i];
    const AVMediaType type = st->codecpar->codec_type;
    if (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_VIDEO)
      continue;
    const bool picture = type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC);
    facts.Video = facts.Video || picture;
    if ((picture || type == AVMEDIA_TYPE_AUDIO) && AVCodecLib.avcodec_find_decoder(st->codecpar->codec_id))
      facts.Decodable = true;
  }
  return facts;
}

// A length worked out from the bit rate is a guess; for video, whose declared rate is often a
// ceiling, it can be off many times over, so such a file's length counts as unknown.
bool DurationTrusted(const AVFormatContext *context, bool video) {
  return context && !(video && context->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE);
}

void KeepTracks(TInputFile &file, const AVFormatContext *context) {
  file.Tracks = ReadSourceTracks(context);
  file.PictureStream = PictureStream(context);
  file.CoverStream = CoverStream(context);
  file.Attachments = AttachmentStreams(context);
  file.StartMs = context && context->start_time != AV_NOPTS_VALUE ? context->start_time / 1000 : 0;
  file.TracksRead = true;
}

std::string JoinedNotes(const std::string &first, const std::string &second) {
  return first.empty() ? second : second.empty() ? first : first + " " + second;
}

bool OnlyFirstAudioKept(const TInputFile &file) {
  const TSourceTrack *first = nullptr;
  for (const TSourceTrack &track : file.Tracks)
    if (!first && track.Kind == TTrackKind::Audio)
      first = &track;
  int kept = 0;
  bool firstKept = false;
  for (const TMappedStream &stream : file.OutputOptions.Streams)
    if (stream.Kind == TMappedKind::Audio) {
      ++kept;
      firstKept = firstKept || (first && stream.Source == first->Stream);
    }
  return kept == 1 && firstKept;
}

} // namespace

TTrackSource TrackSourceOf(const TInputFile &file) {
  return {file.Tracks,          file.PictureStream, file.CoverStream, file.AudioChoice, file.SubtitleChoice,
          file.FileName,        file.StartMs + std::max<int64_t>(file.TrimStart, 0),
          BurnTrack(file.SubtitleChoice) > 0 && InstalledFilter("subtitles"), file.Attachments};
}

TTvlConvert::TTvlConvert(const TIniOptions &profiles) : FProfiles(profiles) {}

bool TTvlConvert::LoadLibraries() {
  if (Engine.BindLibraries(platform::ExeFolder() + "Lib"))
    return true;
  platform::ShowMessage("Please reinstall Tavrelle Video Converter.", platform::TMsgIcon::Error);
  return false;
}

int TTvlConvert::AddFile(const std::string &path) {
  if (IsQueued(path))
    return AlreadyQueued;
  return AddProbed(path, ProbeFile(path, Engine.Probe()));
}

bool TTvlConvert::IsQueued(const std::string &path) const {
  for (int p = 0; p < Files.Count(); ++p)
    if (Files[p].FileName == path)
      return true;
  return false;
}

int TTvlConvert::AddProbed(const std::string &path, std::unique_ptr<TInputFile> file) {
  // The queue may have changed since the file was probed: the check comes again.
  if (IsQueued(path))
    return AlreadyQueued;
  return file ? Files.Add(std::move(file)) : Unusable;
}

std::unique_ptr<TInputFile> TTvlConvert::ProbeFile(const std::string &path, TAVProbe &probe) {
  auto file = std::make_unique<TInputFile>();
  ResetInputOptions(file->InputOptions);
  if (!probe.LoadFile(path))
    return nullptr;
  file->InputOptions.FileName = path;
  file->FileName = path;
  const std::string name = path.substr(path.rfind('/') + 1);
  const auto dot = name.rfind('.');
  file->FileType = dot == std::string::npos ? "" : name.substr(dot + 1);
  file->FileSize = probe.GetFileSize();
  TFileStreamInfo info;
  probe.GetStreamInfo(info);
  // A file converts when it holds something to decode; its length only drives the display, the
  // progress and the trim, so a short or unknown one does not keep it out.
  const TStreamFacts facts = ReadStreamFacts(probe.FormatContext());
  file->HasVideo = facts.Video;
  file->Source = ReadSourceFacts(probe.FormatContext());
  KeepTracks(*file, probe.FormatContext());
  file->PicturePixels = int64_t{file->Source.Width} * file->Source.Height;
  const int64_t durationMs = info.Duration / 1000;
  const bool known = durationMs > 0 && DurationTrusted(probe.FormatContext(), facts.Video);
  file->DurationMs = known ? durationMs : -1;
  file->Duration = known ? static_cast<int32_t>(info.Duration / 1000000) : -1;
  file->TrimStart = -1;
  file->TrimDuration = file->DurationMs;
  file->Status = csNone;
  if (file->FileSize > 0 && facts.Decodable)
    return file;
  return nullptr;
}

bool TTvlConvert::IsOutputNameTaken(const std::string &name) const {
  for (int p = 0; p < Files.Count(); ++p)
    if (Files[p].OutputOptions.FileName == name)
      return true;
  return false;
}

std::string OutputMuxer(const std::string &fileName) {
  const AVOutputFormat *format = AVFormat.av_guess_format(nullptr, fileName.c_str(), nullptr);
  return format && !(format->flags & AVFMT_NOFILE) ? format->name : "";
}

bool TTvlConvert::FillOutputOptions(TInputFile &file, const std::string &folder, int32_t category,
                                    const std::string &ext) {
  const TFormatRec profile = ForSizeTarget(FProfiles.GetFormat(ProfileIndex), file);
  TOutputOptions &out = file.OutputOptions;
  ResetOutputOptions(out);
  // Reset first: the file's name from an earlier run must not count as taken. A name another
  // conversion is writing is taken too; one a killed run left half-written is freed on the way.
  out.FileName = OutputFileName(file.FileName, folder, ext, [this](const std::string &name) {
    return IsOutputNameTaken(name) || OutputNameClaimed(name);
  });
  out.FileExt = ext;
  // Written under a temporary name, the output is given the muxer its final name calls for. A disc
  // standard names its own.
  if (profile.Target.empty())
    out.FileFormat = OutputMuxer(out.FileName);
  if (IsAudioExtension(ext))
    out.DisableVideo = true;
  // Only a trim limits the output: the probed length can be an underestimate that would cut it.
  if (IsTrimmed(file))
    out.RecordTimeMs = static_cast<int32_t>(file.TrimDuration);
  // A disc standard's muxer and rate settings come first; the profile's own choices override them.
  if (!profile.Target.empty())
    out.ExtOptions += "target=" + profile.Target + "\n";
  const TEncoderCheck installed = [](const std::string &codec, bool video) {
    return TCustomFFmpeg::HasEncoder(codec, video ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO);
  };
  FillAudioSettings(out, profile, installed);
  NormaliseLoudness(file, profile);
  if (category == 1)
    FillVideoSettings(out, profile, file.AspectIndex, installed);
  KeepSourceMetadata(out);
  ReadTracks(file);
  // A file that cannot be read again converts as the engine chooses, and fails there if it must.
  const std::string left = file.TracksRead ? MapTracks(out, TrackSourceOf(file), ext) : "";
  // After the tracks are mapped: every sound track kept takes its share of a target.
  FitToSize(file);
  CopyWhatFits(file, profile);
  // Every sound track gets the profile's audio, or is copied when the one kept fits.
  for (TMappedStream &stream : out.Streams)
    if (stream.Kind == TMappedKind::Audio)
      stream.Codec = out.AudioCodec;
  file.RunNote = JoinedNotes(file.RunNote, left);
  KeepCoverAsComment(file, ext);
  file.RunNote = JoinedNotes(file.RunNote, FillColour(out, file.Source));
  // Only a muxer that is not taken from the name writes under another name.
  return !profile.Target.empty() || !out.FileFormat.empty();
}

std::string TTvlConvert::InputLines(const TInputFile &file, int32_t category) const {
  // An audio file's cover is read as the picture stream it is.
  const std::vector<TMappedStream> &mapped = file.OutputOptions.Streams;
  const bool cover =
      std::any_of(mapped.begin(), mapped.end(), [](const TMappedStream &s) { return s.Kind == TMappedKind::Picture; });
  std::string lines = category == 0 && !cover ? "vn=1" : "";
  // Given with the input, so the decoders take it as well as the encoders.
  const std::string threads = !FProfiles.Threads.empty() ? FProfiles.Threads
                              : FShape.CodecThreads > 0   ? std::to_string(FShape.CodecThreads)
                                                          : "";
  if (!threads.empty())
    lines += (lines.empty() ? "threads=" : "\nthreads=") + threads;
  return lines;
}

void TTvlConvert::KeepCoverAsComment(TInputFile &file, const std::string &ext) {
  const std::string lower = LowerCase(ext);
  if (file.CoverStream < 0 || (lower != ".ogg" && lower != ".opus"))
    return;
  TAVProbe &probe = Engine.Probe();
  const AVFormatContext *context = probe.LoadFile(file.FileName) ? probe.FormatContext() : nullptr;
  if (context && file.CoverStream < static_cast<int>(context->nb_streams))
    if (const std::string comment = PictureComment(context->streams[file.CoverStream]); !comment.empty())
      file.OutputOptions.ExtOptions += "metadata=METADATA_BLOCK_PICTURE=" + comment + "\n";
  probe.Close();
}

void TTvlConvert::ReadTracks(TInputFile &file) {
  if (file.TracksRead)
    return;
  TAVProbe &probe = Engine.Probe();
  if (probe.LoadFile(file.FileName))
    KeepTracks(file, probe.FormatContext());
  probe.Close();
}

void TTvlConvert::NormaliseLoudness(TInputFile &file, const TFormatRec &profile) {
  // Until the file's task has measured its sound, the filter adjusts as it goes.
  FillLoudness(file.OutputOptions, profile, std::nullopt);
}

void TTvlConvert::MeasureLoudnessFirst(int task, const TInputFile &file) {
  const TOutputOptions &out = file.OutputOptions;
  const std::optional<double> target = LoudnessTarget(FProfiles.GetFormat(ProfileIndex).Loudness);
  if (!target || out.DisableAudio || out.AudioCodec == "copy")
    return;
  // Reading a long film's sound takes a while: the file's own task does it, beside the others.
  Engine.SetAudioFilterBeforeRun(
      task, [name = file.FileName, start = std::max<int64_t>(file.TrimStart, 0),
             length = IsTrimmed(file) ? OutputLengthMs(file) : -1, target = *target,
             rate = out.AudioSampleRate](const std::function<bool()> &keepGoing) -> std::optional<std::string> {
        const std::optional<TLoudness> measured = MeasureLoudness(name, start, length, keepGoing);
        if (!keepGoing())
          return std::nullopt;
        if (!measured)
          throw FFmpegException("The loudness of the sound could not be measured: it cannot be read.");
        return LoudnessFilter(target, rate, measured);
      });
}

void TTvlConvert::CopyWhatFits(TInputFile &file, const TFormatRec &profile) {
  file.RunNote.clear();
  // A disc standard asks for its own streams.
  // A size target is met by encoding.
  if (!FProfiles.CopyStreams || !profile.Target.empty() || file.TargetBytes > 0)
    return;
  const bool trimmed = file.TrimStart > 0;
  TStreamFit fit = DecideFit(file.Source, file.OutputOptions, trimmed, true);
  // The facts describe the file's first sound track: only it, kept alone, can be copied.
  fit.CopyAudio = fit.CopyAudio && OnlyFirstAudioKept(file);
  // A copied picture can only start at a key frame.
  if (fit.CopyVideo && trimmed && !StartsOnKeyFrame(file.FileName, file.TrimStart)) {
    fit.CopyVideo = false;
    file.RunNote = "The video was encoded: the trim does not start on a key frame.";
  }
  ApplyFit(file.OutputOptions, fit);
  const std::string note = FitNote(fit);
  file.RunNote = JoinedNotes(note, file.RunNote);
}

bool TTvlConvert::PrepareJob(int position, const std::string &folder, int32_t category, const std::string &ext) {
  TInputFile &file = Files[position];
  if (file.TrimStart != -1)
    file.InputOptions.StartTimeMs = static_cast<int32_t>(file.TrimStart);
  const bool temporary = FillOutputOptions(file, folder, category, ext);
  file.InputOptions.ExtOptions = InputLines(file, category);

  // The name is claimed before the task exists: no later file of this run or of another can take it.
  auto claim = std::make_unique<TOutputClaim>();
  if (!claim->Claim(file.OutputOptions.FileName, FJobError))
    return false;
  const int task = Engine.CreateTask(file.InputOptions.FileName, &file.InputOptions);
  if (task < 0) {
    FJobError = Engine.ErrorText();
    return false;
  }
  // The live picture of the progress window would otherwise refuse a copied picture.
  if (file.OutputOptions.VideoCodec == "copy")
    Engine.KeepPreviewsOff(task);
  MeasureLoudnessFirst(task, file);
  const std::string written = temporary ? claim->TemporaryName() : file.OutputOptions.FileName;
  if (!Engine.OpenTaskOutput(task, written, &file.OutputOptions)) {
    FJobError = Engine.ErrorText();
    Engine.DeleteTask(task);
    return false;
  }
  if (FTaskFiles.size() <= static_cast<std::size_t>(task)) {
    FTaskFiles.resize(static_cast<std::size_t>(task) + 1, -1);
    FClaims.resize(FTaskFiles.size());
  }
  FTaskFiles[static_cast<std::size_t>(task)] = position;
  FClaims[static_cast<std::size_t>(task)] = std::move(claim);
  // Long video queues take a while to set up; keep the windows answering meanwhile. The file's
  // record is not touched after this point.
  if (category == 1)
    platform::MainThread().ProcessPending();
  return true;
}

bool TTvlConvert::BuildRun(int32_t profileIndex, const std::string &folder, const TRunFilter &include) {
  EndRun();
  FBuildError.clear();
  if (profileIndex < 0 || profileIndex >= static_cast<int32_t>(FProfiles.Formats.size())) {
    FBuildError = "There is no output profile to convert with.";
    return false;
  }
  SetProfileIndex(profileIndex);
  const TFormatRec profile = FProfiles.GetFormat(profileIndex);
  try {
    FShape = ShapeOf(profile, include);
    // Count is read at every step: the windows answer while the run is built.
    CancelBuild = false;
    int taken = 0;
    for (int p = 0; p < Files.Count(); ++p) {
      // Asked while the windows answered during the previous file.
      if (CancelBuild) {
        EndRun();
        return false;
      }
      // A file left out of the run keeps its result and its output.
      if (!include || include(Files[p]))
        PrepareInRun(p, taken++ < MaxRunFiles, folder, profile);
    }
  } catch (const std::exception &e) {
    EndRun();
    FBuildError = e.what();
    return false;
  }
  return true;
}

TRunShape TTvlConvert::ShapeOf(const TFormatRec &profile, const TRunFilter &include) const {
  if (!AllowSimultaneous)
    return TRunShape();
  TOutputOptions sized;
  if (profile.Category == 1)
    FillVideoSettings(sized, profile, 0);
  const bool writesPicture = profile.Category == 1 && !IsAudioExtension(profile.Ext);
  int files = 0;
  bool allLight = true;
  for (int p = 0; p < Files.Count() && files < MaxRunFiles; ++p) {
    const TInputFile &file = Files[p];
    if (include && !include(file))
      continue;
    ++files;
    allLight = allLight && IsLightConversion(writesPicture && file.HasVideo, sized.FrameSize, file.PicturePixels);
  }
  return ShapeRun(SimultaneousSetting(FProfiles.Simultaneous), static_cast<int>(std::thread::hardware_concurrency()),
                  files, allLight, !FProfiles.Threads.empty());
}

void TTvlConvert::PrepareInRun(int position, bool withinCap, const std::string &folder, const TFormatRec &profile) {
  const bool prepared = withinCap && PrepareJob(position, folder, profile.Category, profile.Ext);
  // A file without a task must not show the result of an earlier run. One left out by the cap did
  // not fail: it is just not part of this run.
  TInputFile &file = Files[position];
  file.Status = prepared || !withinCap ? csNone : csFailed;
  if (prepared)
    file.StatusText.clear();
  else if (withinCap)
    file.StatusText = FJobError;
  else
    file.StatusText = "Only the first " + std::to_string(MaxRunFiles) + " files are converted in one run.";
}

bool TTvlConvert::FinishOutput(int taskIndex, bool keep, std::string &error) {
  if (PositionOfTask(taskIndex) < 0)
    return true;
  TOutputClaim *claim = FClaims[static_cast<std::size_t>(taskIndex)].get();
  return !claim || claim->Finish(keep, error);
}

void TTvlConvert::TaskEnded(int taskIndex, bool finished, bool failed, const std::string &message) {
  TInputFile *file = FileOfTask(taskIndex);
  if (!file)
    return;
  // A cancelled file keeps what it wrote, under its final name; a failed one keeps nothing.
  std::string error;
  const bool kept = FinishOutput(taskIndex, !failed, error);
  file->Status = finished && kept ? csSuccess : failed || !kept ? csFailed : csCanceled;
  file->StatusText = kept ? message : error;
  NoteFirstPass(*file);
  if (file->Status == csSuccess && !file->RunNote.empty())
    file->StatusText += (file->StatusText.empty() ? "" : "\n") + file->RunNote;
}

bool IsPartialOutput(const std::string &path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) > 0 && !ec;
}

std::string TTvlConvert::PartialOutput(const TInputFile &file) {
  const std::string &path = file.OutputOptions.FileName;
  return file.Status == csCanceled && IsPartialOutput(path) ? path : std::string();
}

void TTvlConvert::EndRun() {
  Engine.DeleteAllTasks();
  FTaskFiles.clear();
  FClaims.clear();
}

TInputFile *TTvlConvert::FileOfTask(int taskIndex) const {
  const int position = PositionOfTask(taskIndex);
  return position >= 0 ? &Files[position] : nullptr;
}

int TTvlConvert::PositionOfTask(int taskIndex) const {
  if (taskIndex < 0 || static_cast<std::size_t>(taskIndex) >= FTaskFiles.size())
    return -1;
  const int position = FTaskFiles[static_cast<std::size_t>(taskIndex)];
  return position >= 0 && position < Files.Count() ? position : -1;
}
