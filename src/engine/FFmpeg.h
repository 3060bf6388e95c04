#pragma once
// An engine task: one conversion of input files into output files, configured through named
// options like a command-line transcoder. The task is a façade over its parts: the configuration its
// options build, the input and output sets its files open into, the runner that gives it a thread,
// and the transcoder that runs on those, told of stops by the runner and reporting to the task.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/avutil.h>
}

#include "engine/EngineTypes.h"
#include "engine/FFmpegOptions.h"
#include "engine/LibraryObjects.h"
#include "engine/feedback/TaskEvents.h"
#include "engine/input/InputSet.h"
#include "engine/options/TaskConfig.h"
#include "engine/options/TaskOptions.h"
#include "engine/output/OutputSet.h"
#include "engine/task/TaskRunner.h"

struct AVCodec;
struct AVOutputFormat;
struct AVStream;
class TEngineThread;

class TCustomFFmpeg : private TTaskEvents, private TOptionHost {
public:
  // Engine message levels: -1 quiet, 0 error, 1 info, 2 debug, 3 all.
  using TLogHandler = std::function<void(int level, const std::string &text)>;

  TCustomFFmpeg() = default;
  virtual ~TCustomFFmpeg();
  TCustomFFmpeg(const TCustomFFmpeg &) = delete;
  TCustomFFmpeg &operator=(const TCustomFFmpeg &) = delete;

  // True when a task given this encoder name would find an encoder of the type: the named one, or
  // the successor of an encoder of older libraries. Needs the bound libraries.
  static bool HasEncoder(const std::string &name, AVMediaType type);

  // Lifecycle.
  bool Finished = false;
  bool Failed = false;
  std::string EndMessage;
  int TotalDurationMs = -1;
  // Thousandths of the first input read so far, set before each progress report; -1 while
  // unknown. For files that do not tell their length, it is the only measure of progress.
  std::atomic<int> InputPermille{-1};
  int TaskIndex = -1;
  TLogHandler OnLog;

  // Callbacks the engine component connects; each receives the calling task.
  using TTerminateHandler = std::function<void(TCustomFFmpeg &task)>;
  using TProgressHandler =
      std::function<void(TCustomFFmpeg &task, int frameNumber, int fps, int currentDuration, float quality,
                         float bitRate, int64_t currentSize, int totalOutputDuration)>;
  using TPreviewBitmapHandler =
      std::function<void(TCustomFFmpeg &task, TBitmap *bitmap, int frameNumber, int64_t pts)>;
  using TBeforeHookHandler = std::function<void(TCustomFFmpeg &task, int64_t pts, THookAction &action)>;
  using TCustomHookHandler = std::function<void(TCustomFFmpeg &task, TBitmap *bitmap, int frameNumber,
                                                int64_t pts, bool &update, bool &stopHook)>;
  // Asked on the task's thread just before it converts, while keepGoing waits out a pause and turns
  // false once the task is stopped: the audio filter to convert with, or none when stopped (the
  // task then ends cancelled). Throws FFmpegException to fail the task. Set before the task starts.
  using TAudioFilterSource = std::function<std::optional<std::string>(const std::function<bool()> &keepGoing)>;
  TAudioFilterSource AudioFilterBeforeRun;
  TTerminateHandler OnTerminate;
  TProgressHandler OnProgress;
  TPreviewBitmapHandler OnPreviewBitmap;
  TBeforeHookHandler OnBeforeHook;
  TCustomHookHandler OnCustomHook;
  int64_t ProgressIntervalUs = 500000;
  int64_t PreviewIntervalUs = 100000;
  uint8_t PreviewFlags = 0; // bit 0 preview window, bit 1 preview bitmap; guarded by PreviewLock()
  bool PreviewsOff = false;  // guarded by PreviewLock(): the component asks this task for no previews

  // Whether the task runs, has ended, has a worker thread: the runner's state, read under its lock.
  bool IsRunning() const;
  bool HasEnded() const;
  bool HasThread() const;

  // Runs the task now (asThread false), or returns its worker thread waiting for Resume; none
  // when the task cannot start.
  TEngineThread *Start(bool asThread, TConvertPriority priority);
  void Run();
  void EndTask();
  void RequestStop();
  // Ends a task that never ran, on a short-lived thread of its own.
  void EndOnThread();
  void Pause();
  void Resume();
  // Asks the worker to stop and waits until its thread has ended, at most timeout when one is given;
  // false when the thread is still running then.
  bool StopAndWait(std::chrono::milliseconds timeout = std::chrono::milliseconds::max());
  // Runs fn on the main thread while the worker waits; false, without running it, once a stop is
  // asked: the main thread may be the one waiting for this worker to end.
  bool CallOnMainThread(const std::function<void()> &fn) override;
  // Read before every packet: waits while the task is paused; whether a stop was asked.
  bool CheckStop();
  void Transcode();
  // The audio filter AudioFilterBeforeRun gives, in the settings; false when the task was stopped.
  bool TakeAudioFilter();

  // Back to every default; creates the generic option contexts (the libraries must be bound).
  void Reset();
  void SetVerbose(int level) { FOptions.SetVerbose(level); }

  // Options, parsed by the task's options.
  void AddOptions(const std::string &text, bool streamPass) { FOptions.AddOptions(text, streamPass); }
  void SetOption(const std::string &name, const std::string &value) { FOptions.SetOption(name, value); }
  bool SetGenericOption(const std::string &name, const std::string &value) {
    return FOptions.SetGenericOption(name, value);
  }
  void ApplyGenericOptions(void *target, void *templateContext, int flags) const {
    FOptions.ApplyGenericOptions(target, templateContext, flags);
  }
  void SetInputFormat(const std::string &name) { FOptions.SetInputFormat(name); }
  void SetOutputFormat(const std::string &name) { FOptions.SetOutputFormat(name); }
  void ApplyTarget(const std::string &type, const std::string &norm, const std::string &fallbackNorm) {
    FOptions.ApplyTarget(type, norm, fallbackNorm);
  }
  void ApplyTargetPreset(const TOutputOptions &options) { FOptions.ApplyTargetPreset(options); }
  void ApplyOutputOptions(const TOutputOptions &options) { FOptions.ApplyOutputOptions(options); }
  void ApplyHookRanges(const std::string &text) { FOptions.ApplyHookRanges(text); }
  void SetRecordingTimeMs(int64_t ms) { FOptions.SetRecordingTimeMs(ms); }
  void SetRecordingTimeUs(int64_t us) { FOptions.SetRecordingTimeUs(us); }
  void SetStartTimeUs(int64_t us) { FOptions.SetStartTimeUs(us); }
  void SetProgramId(int id) { FOptions.SetProgramId(id); }

  // Files.
  bool OpenInputFile(const std::string &fileName);
  int OpenOutputFile(const std::string &fileName);
  void NewVideoStream(int output);
  void NewAudioStream(int output);
  void NewSubtitleStream(int output);
  // The record's mapped streams (see TOutputOptions::Streams): their maps before the file opens,
  // their streams after (false with the reason in ErrorText when one cannot be added); both do
  // nothing for a record without them.
  void MapRecordStreams(const TOutputOptions &options) { FOptions.MapRecordStreams(options); }
  bool AddMappedStreams(const TOutputOptions &options);
  void AddMappedStream(const TMappedStream &mapped);
  bool FindCodecId(const std::string &name, AVMediaType type, bool encoder, AVCodecID &id);
  void InputStreamTypes(bool &hasVideo, bool &hasAudio, bool &hasSubtitle) const;
  void CleanupTask();
  // CleanupTask, then the removal of the output files the task had opened.
  void CleanupFailedTask();

  const std::string &ErrorText() const { return FErrorText; }
  const TTaskSettings &Settings() const { return S; }
  const std::vector<TOpenedInput> &InputFiles() const { return FInputs.Files; }
  const std::vector<const struct AVCodec *> &InputCodecs() const { return FInputs.Codecs; }
  const std::vector<TOutputFile> &OutputFiles() const { return FOutputs.Files; }
  bool FiltersEnabled() const { return FConfig.FiltersEnabled; }
  const std::vector<THookRange> &HookRanges() const { return FConfig.HookRanges; }
  const std::vector<std::vector<std::string>> &VideoHooks() const { return FConfig.VideoHooks; }
  const std::vector<std::string> &SetOptionNames() const { return FConfig.SetOptionNames; }
  AVCodecContext *CodecTemplate(AVMediaType type) const { return FOptions.CodecTemplate(type); }
  AVFormatContext *FormatTemplate() const { return FConfig.FormatTemplate.get(); }

protected:
  void Log(int level, const std::string &text) const;

private:
  // The transcode's events, passed on to the handlers above.
  bool Logging() const override { return static_cast<bool>(OnLog); }
  void LogLine(int level, const std::string &text) override { Log(level, text); }
  bool TakesProgress() const override { return static_cast<bool>(OnProgress); }
  void Progress(const TProgressFigures &figures) override;
  void InputRead(int permille) override { InputPermille = permille; }
  bool TakesPreviewBitmaps() const override { return static_cast<bool>(OnPreviewBitmap); }
  void PreviewBitmap(TBitmap *bitmap, int frameNumber, int64_t pts) override;
  bool HasBeforeHook() const override { return static_cast<bool>(OnBeforeHook); }
  void BeforeHook(int64_t pts, THookAction &action) override;
  bool HasCustomHook() const override { return static_cast<bool>(OnCustomHook); }
  void CustomHook(TBitmap *bitmap, int frameNumber, int64_t pts, bool &update, bool &stopHook) override;
  uint8_t &PreviewFlagBits() override { return PreviewFlags; }

  // What the options reach beyond the configuration.
  bool LogsOptions() const override { return static_cast<bool>(OnLog); }
  void LogOption(int level, const std::string &text) const override { Log(level, text); }
  void SetTotalDurationMs(int ms) override { TotalDurationMs = ms; }
  int InputCount() const override { return static_cast<int>(FInputs.Files.size()); }
  std::vector<AVRational> InputVideoFrameRates() const override;
  int OutputCount() const override { return static_cast<int>(FOutputs.Files.size()); }
  void NewStream(AVMediaType type, int output) override;

private:
  // File setup steps.
  const struct AVCodec *LookupCodec(const std::string &name, AVMediaType type, bool encoder);
  void ClearInputConsumables();
  struct AVDictionary *DemuxerParameters() const;
  bool FindStreamInfo(AVFormatContext *raw, const std::string &fileName);
  // The file opened by its demuxer with the forced format and codecs; null (FErrorText set) on failure.
  AVFormatContext *OpenDemuxer(const std::string &fileName);
  // Seeks to the start time, used up; the input's time that becomes 0.
  int64_t SeekToStart(TOpenedInput &file);
  void ReadInputStreams(TOpenedInput &file, std::vector<const struct AVCodec *> &slots);
  void ReadVideoStream(AVStream *st, unsigned index, AVCodecContext *decoder,
                       std::vector<const struct AVCodec *> &slots);
  const struct AVCodec *DecoderNamed(const std::string &name, AVMediaType type);
  // Output file steps: a failing step sets FErrorText. The file being opened is the last one.
  struct TStreamKinds {
    bool Video = false, Audio = false, Subtitles = false;
  };
  AVFormatContext *AllocOutputContext(const std::string &fileName);
  // The kinds the file gets: those its format or the settings ask for, the inputs have and no
  // option disables.
  bool ChooseStreamKinds(const AVOutputFormat &format, TStreamKinds &kinds);
  // The failure's text, or nothing when every stream was added.
  std::string AddOutputStreams(int output, const TStreamKinds &kinds);
  int OpenOutputIo(const std::string &fileName, AVFormatContext &context);
  // Takes the half-made last file out again; -1 for the caller to return.
  int DropLastOutput(const std::string &errorText);
  TOutputStream &AddOutputStream(int output, AVMediaType type, const TCodecChoice &choice,
                                 std::vector<std::string> &filters);
  // The input's stream (a file attached to it or an attached picture) as an attachment of the output.
  void AddAttachment(int output, int source);

  TTaskConfig FConfig;
  TTaskSettings &S = FConfig.Settings;
  TTaskOptions FOptions{FConfig, *this};
  std::string FErrorText;
  TInputSet FInputs;
  TOutputSet FOutputs; // declared after the inputs: closed before them
  TTaskRunner FRunner;
};

// A task as the engine component holds it: with the option records it was configured from.
class TFFmpeg : public TCustomFFmpeg {
public:
  TInputOptions InputOptions;
  TOutputOptions OutputOptions;
  int ThreadId = 0;

  // The component's side of the task's events: once cut (when the component gives up waiting for
  // the worker), events no longer reach the component. Events hold the lock shared while they run.
  struct TComponentLink {
    std::shared_timed_mutex Lock;
    std::atomic<bool> Cut{false};
  };
  std::shared_ptr<TComponentLink> Link = std::make_shared<TComponentLink>();

  ~TFFmpeg() override;

  // Applies an input record in the fixed order (first pass of its option lines, forced format,
  // start time, program) and opens the input; without a record the copy is reset.
  bool OpenInput(const std::string &fileName, const TInputOptions *options);
  // Applies an output record (preset, first pass, typed fields, hook ranges), opens the output and
  // then adds the extra streams of the second pass.
  bool OpenOutput(const std::string &fileName, const TOutputOptions *options);
};
