#pragma once
// The conversion driver: the queue of files to convert, the engine that converts them, and the
// building of one engine task per queued file.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert/OutputClaim.h"
#include "convert/RunShape.h"
#include "convert/SizeSampler.h"
#include "convert/SourceTracks.h"
#include "convert/StreamFit.h"
#include "engine/FFmpegOptions.h"
#include "engine/FFmpegVCL.h"
#include "profiles/tvlIniUnt.h"

// Results of a file's last conversion; csMissing: the file can no longer be read.
enum TConvertStatus : int32_t { csNone = 0, csSuccess = 1, csFailed = 2, csCanceled = 3, csMissing = 4 };

// One queued file.
struct TInputFile {
  std::string FileName; // full path
  std::string FileType; // extension without its dot, as written in the name
  int64_t FileSize = 0; // bytes
  int32_t Duration = 0; // whole seconds; -1 when the file does not tell its length
  int64_t DurationMs = 0; // -1 when unknown
  bool HasVideo = false;  // the file holds a picture stream (not just cover art)
  int64_t PicturePixels = 0; // width × height of that picture; 0 when unknown or none
  TSourceFacts Source;       // what its streams are, to copy those that fit the profile
  // Its sound and subtitle tracks, picture and cover streams (see SourceTracks.h); a record restored
  // from a saved queue reads them again when it is converted.
  bool TracksRead = false;
  std::vector<TSourceTrack> Tracks;
  int PictureStream = -1, CoverStream = -1;
  std::vector<int> Attachments; // see AttachmentStreams
  int64_t StartMs = 0; // the file's first time: the engine's pictures start at 0, a burn-in reads from here
  // Which tracks the user keeps (see TTrackChoice).
  TTrackChoice AudioChoice = "all", SubtitleChoice = "all";
  int64_t TrimStart = -1; // ms; -1 = not trimmed
  int64_t TrimDuration = 0; // ms
  int32_t AspectIndex = 0; // 0 keep the source's, 1 "4:3", 2 "16:9", 3 "37:20", 4 "47:20"
  TInputOptions InputOptions;
  TOutputOptions OutputOptions;
  // Written by the engine's end report on a worker thread while a run goes on; read by the main
  // thread once the run is over.
  int32_t Status = csNone;
  // Why the last run failed the file: the engine's refusal or end message. Same thread rules.
  std::string StatusText;
  // What the run does with its streams beyond converting them (copies), told with its result.
  std::string RunNote;
  // "Fit to size": the bytes the output may take at most; 0: the profile's bit rates or quality.
  int64_t TargetBytes = 0;
  // The bytes its first pass for the target wrote; set by that pass's end report (same thread
  // rules as Status), 0 when none.
  int64_t FirstPassBytes = 0;
};

// Whether the user cut the file: only then does its output get a length limit.
inline bool IsTrimmed(const TInputFile &file) {
  return file.TrimStart != -1 || file.TrimDuration != file.DurationMs;
}

// The length of the file's output in ms: a trim of length 0 (Mark In and Mark Out at one place) has
// no limit and goes from its start to the end of the file. Negative when the length is unknown.
inline int64_t OutputLengthMs(const TInputFile &file) {
  if (file.TrimDuration != 0)
    return file.TrimDuration;
  return file.DurationMs < 0 ? -1 : std::max<int64_t>(file.DurationMs - std::max<int64_t>(file.TrimStart, 0), 0);
}

// The file's tracks and the user's choice of them, for the track plan (see TrackPlan.h).
struct TTrackSource;
TTrackSource TrackSourceOf(const TInputFile &file);

// The profile as a file converts with it: bit rates rather than a quality for a target size.
TFormatRec ForSizeTarget(TFormatRec profile, const TInputFile &file);

// The queue in order; owns its records. A position outside 0 ... Count() - 1 throws
// std::out_of_range.
class TInputFileList {
public:
  int Add(std::unique_ptr<TInputFile> file);
  TInputFile &Get(int position) const;
  TInputFile &operator[](int position) const { return Get(position); }
  void Exchange(int a, int b);
  void Delete(int position);
  // Takes the record out (later entries move up), or puts one in at 0 ... Count().
  std::unique_ptr<TInputFile> Take(int position);
  void Insert(int position, std::unique_ptr<TInputFile> file);
  void Clear() { FItems.clear(); }
  int Count() const { return static_cast<int>(FItems.size()); }

private:
  void Check(int position) const;

  std::vector<std::unique_ptr<TInputFile>> FItems;
};

// A cancelled task keeps what it wrote, closed with its trailer but cut short: true when the path
// holds such a file (a non-empty regular file).
bool IsPartialOutput(const std::string &path);

// The name of the muxer the libraries choose for an output file name, given to a task that writes
// under a temporary name; empty when none fits or the muxer writes no single file of its own.
std::string OutputMuxer(const std::string &fileName);

class TTvlConvert {
public:
  // AddFile results besides a position.
  static constexpr int AlreadyQueued = -1;
  static constexpr int Unusable = -2;

  // Profiles are read from the given store when a run is built.
  explicit TTvlConvert(const TIniOptions &profiles = IniOptions);
  TTvlConvert(const TTvlConvert &) = delete;
  TTvlConvert &operator=(const TTvlConvert &) = delete;

  // Declared in this order so that the queue goes before the engine.
  TFFmpegVCL Engine;
  TInputFileList Files;
  int32_t ProfileIndex = -1;

  // Binds the engine's libraries from "Lib" beside the program; tells the user when that fails.
  bool LoadLibraries();
  // Reads the file's tracks into its record when it has not got them yet (a restored record).
  void ReadTracks(TInputFile &file);
  // Probes the file and queues it: its position, Unusable when it cannot be converted, or
  // AlreadyQueued when the same path is queued already.
  int AddFile(const std::string &path);
  // The record of a file as AddFile makes it, or null when the file cannot be used. Any thread may
  // call it with a probe of its own.
  static std::unique_ptr<TInputFile> ProbeFile(const std::string &path, TAVProbe &probe);
  // Queues a record ProbeFile made (null: Unusable); the results of AddFile.
  int AddProbed(const std::string &path, std::unique_ptr<TInputFile> file);
  void Delete(int position) { Files.Delete(position); }
  void Clear() { Files.Clear(); }

  void SetProfileIndex(int32_t index) { ProfileIndex = index; }
  // Sets up the task of the file at the position with the profile at ProfileIndex; false when the
  // engine refuses the input or the output. Throws TProfileItemError for an unreadable profile item.
  bool PrepareJob(int position, const std::string &folder, int32_t category, const std::string &ext);
  // Which queued files a run converts; all when empty.
  using TRunFilter = std::function<bool(const TInputFile &)>;
  static bool NotSucceeded(const TInputFile &file) { return file.Status != csSuccess; }
  // What an interrupted run had still to do: the file it was converting and those not reached.
  static bool NotReached(const TInputFile &file) { return file.Status == csNone || file.Status == csMissing; }
  // Sets up one task per queued file the filter takes (the first MaxRunFiles of them) with the given
  // profile. A file that gets no task is marked failed. False, with no task left in the engine, when
  // the profile cannot be used; BuildError() then says why.
  bool BuildRun(int32_t profileIndex, const std::string &folder, const TRunFilter &include = {});
  const std::string &BuildError() const { return FBuildError; }
  // Set while a run is being built (the windows answer meanwhile) to stop the building: BuildRun
  // then returns false with no task and no error.
  bool CancelBuild = false;
  // Whether a run may convert several files at once; a caller that follows one task at a time
  // leaves it off, and its runs convert one file after another with every core each.
  bool AllowSimultaneous = false;
  // How the run built last converts: how many files at once, with how many codec threads each.
  const TRunShape &Shape() const { return FShape; }
  void StartConversion() { Engine.StartTasks(FShape.Simultaneous); }
  // Gives a task's output its final name, or removes it (a failure, or a cancelled task that wrote
  // nothing); keep is false for a failed task. Once per task; false, with the reason, when the output
  // could not be kept. Runs on the reporting worker thread.
  bool FinishOutput(int taskIndex, bool keep, std::string &error);
  // Records a task's end report in its file: success, failure, or cancelled, after FinishOutput
  // (done here when the caller has not). Runs on the reporting worker thread.
  void TaskEnded(int taskIndex, bool finished, bool failed, const std::string &message);
  // Drops the run's tasks; the statuses stay.
  void EndRun();

  // The estimated bytes of the queued file's output with the profile: its trim, the streams that
  // would be copied, its target size; sampled rates from Samples where they are kept. 0 when its
  // length is unknown. unsampled, when given, gets the samples that would measure it better, or none.
  int64_t EstimatedBytes(int position, int32_t profileIndex, std::optional<TSampleJob> *unsampled = nullptr) const;
  // Encodes the samples of the file with the profile now, when it has any, and keeps their rates;
  // false when they failed (the estimate stays a guess).
  bool SampleSize(int position, int32_t profileIndex, int threads = 0);
  // Rates measured by samples, by the key of their job. Read and written by one thread.
  TSampleCache Samples;
  // Their sum over the files the filter takes (all when empty); files without an estimate add 0.
  int64_t EstimatedTotal(int32_t profileIndex, const TRunFilter &include = {}) const;
  // Files with a target size are encoded in two passes: 1 and 2 build those runs (the first writes
  // statistics under PassLogPrefix), 0 a single pass at the computed bit rate.
  int SizePass = 0;
  std::string PassLogPrefix;
  // Taken before the first pass, with the run's filter: the filter of the second pass, which takes
  // the files the run's filter takes now (the first pass's results would change its answer), less
  // those whose first pass failed: they keep that pass's reason.
  TRunFilter SecondPassFilter(const TRunFilter &include) const;

  // True when a queued file's output record already claims the name.
  bool IsOutputNameTaken(const std::string &name) const;
  // The partial output the file's cancelled conversion left behind, or "" when it left none.
  static std::string PartialOutput(const TInputFile &file);
  // The queued file an engine task converts, or null. Safe on worker threads during a run.
  TInputFile *FileOfTask(int taskIndex) const;
  // Its queue position, or -1.
  int PositionOfTask(int taskIndex) const;

private:
  bool IsQueued(const std::string &path) const;
  void PrepareInRun(int position, bool withinCap, const std::string &folder, const TFormatRec &profile);
  // True when the output is to be written under its temporary name.
  bool FillOutputOptions(TInputFile &file, const std::string &folder, int32_t category, const std::string &ext);
  // The input's option lines of the file's task, after its output record is filled.
  std::string InputLines(const TInputFile &file, int32_t category) const;
  // An Ogg or Opus output takes an audio file's cover as a comment.
  void KeepCoverAsComment(TInputFile &file, const std::string &ext);
  // Copies the file's streams that already fit the profile (when the settings allow it).
  void CopyWhatFits(TInputFile &file, const TFormatRec &profile);
  // The video bit rate that fits a file with a target size; throws TTargetTooSmall.
  void FitToSize(TInputFile &file);
  // Keeps the size of a file's finished first pass for its second.
  void NoteFirstPass(TInputFile &file) const;
  // The sound to the profile's loudness: a filter that adjusts as it goes, replaced by one constant
  // gain once MeasureLoudnessFirst's measurement over the file's trim is in.
  void NormaliseLoudness(TInputFile &file, const TFormatRec &profile);
  // Has the file's task measure its sound on its own thread before converting it.
  void MeasureLoudnessFirst(int task, const TInputFile &file);
  // The shape of a run of the files the filter takes, with the profile.
  TRunShape ShapeOf(const TFormatRec &profile, const TRunFilter &include) const;

  const TIniOptions &FProfiles;
  std::string FBuildError;
  std::string FJobError; // why the last PrepareJob failed
  TRunShape FShape;
  // Queue position of each task of the run, by task index. Engine events name tasks, and a file
  // whose task could not be set up leaves a gap in the task list, so the two numberings differ.
  std::vector<int> FTaskFiles;
  // The claim on each task's output name, by task index; each is finished by its task's end report
  // only, and a claim left unfinished gives its temporary file up when the run is dropped.
  std::vector<std::unique_ptr<TOutputClaim>> FClaims;
};
