// tavrelle-convert: the conversion driver, the job builder and the engine without windows, for
// scripts and machines without a display. `tavrelle-convert --help` documents the command line.
#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <unistd.h>

#include "CliOptions.h"
#include "convert/ShownName.h"
#include "ConsoleProgress.h"
#include "convert/ConvertUnt.h"
#include "platform/DataFolders.h"
#include "platform/Dialogs.h"
#include "platform/ExeFolder.h"

namespace {

volatile std::sig_atomic_t Interrupted = 0;

void OnInterrupt(int) { Interrupted = 1; }

// What the driver would show in a message box goes to standard error; questions get No.
class TConsoleDialogs : public platform::TDialogs {
public:
  platform::TMsgResult MessageBox(const std::string &text, const std::string &, platform::TMsgIcon,
                                  platform::TMsgButtons buttons) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    return buttons == platform::TMsgButtons::Ok ? platform::TMsgResult::Ok : platform::TMsgResult::No;
  }
  std::vector<std::string> OpenFiles(const platform::TOpenFileRequest &) override { return {}; }
  std::string SelectFolder(const std::string &, const std::string &) override { return {}; }
};

using TTaskEnded = std::function<void(int task, bool finished, bool failed, const std::string &message)>;

// Starts the engine's tasks, that many at once, and waits for the run's end report, showing progress
// on standard error. Ctrl-C or SIGTERM stops the tasks; they then report themselves cancelled.
void RunTasks(TFFmpegVCL &engine, int simultaneous, const TTaskEnded &taskEnded,
              const std::function<std::string(int)> &taskName) {
  std::mutex lock;
  std::condition_variable ended;
  bool done = false; // guarded by lock
  TConsoleProgress progress(engine.TaskTotal(), simultaneous, isatty(STDERR_FILENO), taskName);
  engine.OnProgress = [&](int index, int, int, int current, float, float, int64_t, int total) {
    progress.Report(index, current, total);
  };
  engine.OnTerminate = [&](int index, bool finished, bool failed, const std::string &message) {
    if (index >= 0) {
      taskEnded(index, finished, failed, message);
      progress.Ended(index);
      return;
    }
    std::lock_guard guard(lock);
    done = true;
    ended.notify_all();
  };

  bool stopped = false;
  engine.StartTasks(simultaneous);
  std::unique_lock guard(lock);
  while (!ended.wait_for(guard, std::chrono::milliseconds(200), [&] { return done; })) {
    guard.unlock();
    if (Interrupted && !stopped) {
      stopped = true;
      engine.StopTasks();
    }
    progress.Show();
    guard.lock();
  }
  // The end's handler takes the lock under the engine's end lock; clearing it takes the end lock.
  guard.unlock();
  progress.Clear();
  engine.OnProgress = nullptr;
  engine.OnTerminate = nullptr;
}

std::string JoinLines(const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &line : lines)
    text += line + "\n";
  return text;
}

int ListProfiles(const TIniOptions &options) {
  for (int i = 0; i < static_cast<int>(options.Formats.size()); ++i) {
    const TFormatRec &f = options.Formats[static_cast<std::size_t>(i)];
    std::printf("%d\t%s\t%s\n", i, f.Ext.c_str(), f.Name.c_str());
  }
  return 0;
}

int ProfileIndexOf(const TIniOptions &options, const std::string &profile) {
  if (profile.empty())
    return options.OutputFormat;
  int index = -1;
  const auto [stop, ec] = std::from_chars(profile.data(), profile.data() + profile.size(), index);
  if (ec == std::errc() && stop == profile.data() + profile.size())
    return index;
  for (int i = 0; i < static_cast<int>(options.Formats.size()); ++i)
    if (options.Formats[static_cast<std::size_t>(i)].Name == profile)
      return i;
  return -1;
}

// The line printed for a queued file once the run is over.
std::string ResultOf(const TInputFile &file) {
  if (file.Status == csSuccess)
    return "Success " + file.OutputOptions.FileName;
  if (const std::string partial = TTvlConvert::PartialOutput(file); !partial.empty())
    return "Canceled (partial output: " + partial + ")";
  if (file.Status == csCanceled)
    return "Canceled";
  return "Failed " + (file.StatusText.empty() ? std::string("the file was not converted") : file.StatusText);
}

// Builds a run of the queued files the filter takes and converts it into the folder; the refusal of
// the build, or "".
std::string RunQueue(TTvlConvert &driver, int profile, const std::string &folder,
                     const TTvlConvert::TRunFilter &include = {}) {
  if (driver.Files.Count() == 0)
    return "";
  if (!driver.BuildRun(profile, folder, include))
    return driver.BuildError();
  if (driver.Engine.TaskTotal() > 0)
    RunTasks(
        driver.Engine, driver.Shape().Simultaneous,
        [&](int task, bool finished, bool failed, const std::string &message) {
          driver.TaskEnded(task, finished, failed, message);
        },
        [&](int task) {
          const TInputFile *file = driver.FileOfTask(task);
          return file ? file->FileName : std::string();
        });
  return "";
}

// Files with a target size: the first pass writes each file's statistics (its output goes to a
// scratch folder, removed after), the second the output the statistics shape. A file whose first
// pass failed keeps that result.
std::string RunInTwoPasses(TTvlConvert &driver, int profile, const std::string &folder) {
  std::error_code ec;
  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path(ec) / ("tavrelle-passes-" + std::to_string(getpid()));
  std::filesystem::create_directories(scratch, ec);
  driver.PassLogPrefix = (scratch / "stats-").string();
  driver.SizePass = 1;
  const TTvlConvert::TRunFilter second = driver.SecondPassFilter({});
  std::string error = RunQueue(driver, profile, scratch.string());
  driver.EndRun();
  if (error.empty() && !Interrupted) {
    driver.SizePass = 2;
    error = RunQueue(driver, profile, folder, second);
  }
  driver.SizePass = 0;
  std::filesystem::remove_all(scratch, ec);
  return error;
}

// Constant-quality outputs are measured by encoding a few short samples of each file first.
int PrintEstimates(TTvlConvert &driver, int profile, const std::vector<std::string> &results,
                   const std::vector<int> &positions) {
  for (std::size_t i = 0; i < positions.size(); ++i) {
    if (positions[i] < 0) {
      std::printf("%s\n", EscapeControls(results[i]).c_str());
      continue;
    }
    const TInputFile &file = driver.Files[positions[i]];
    try {
      if (!driver.SampleSize(positions[i], profile))
        std::fprintf(stderr, "tavrelle-convert: the samples of %s could not be encoded; its estimate is a guess\n",
                     EscapeControls(file.FileName).c_str());
      const int64_t bytes = driver.EstimatedBytes(positions[i], profile);
      std::printf("Estimate %lld %s\n", static_cast<long long>(bytes), EscapeControls(file.FileName).c_str());
    } catch (const std::exception &e) {
      std::printf("Failed %s\n", EscapeControls(e.what()).c_str());
    }
  }
  return 0;
}

int Convert(const TCliOptions &o, const TIniOptions &options) {
  const int profile = ProfileIndexOf(options, o.Profile);
  if (profile < 0 || profile >= static_cast<int>(options.Formats.size())) {
    std::fprintf(stderr, "tavrelle-convert: no profile \"%s\" (see --list-profiles)\n", o.Profile.c_str());
    return 2;
  }
  std::string folder = !o.OutputFolder.empty()         ? o.OutputFolder
                       : !options.OutputFolder.empty() ? options.OutputFolder
                                                       : platform::DataFolders().OutputFolder;
  std::error_code ec;
  folder = std::filesystem::absolute(folder, ec).string();
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder, ec)) {
    std::fprintf(stderr, "The output folder does not exist, please select another output folder.\n");
    return 1;
  }

  TTvlConvert driver(options);
  driver.AllowSimultaneous = true;
  if (!driver.LoadLibraries())
    return 1;
  // One result per named file, in the order named; refused files have theirs now.
  std::vector<std::string> results(o.Files.size());
  std::vector<int> positions(o.Files.size(), -1);
  for (std::size_t i = 0; i < o.Files.size(); ++i) {
    const std::string path = std::filesystem::absolute(o.Files[i], ec).string();
    const int position = driver.AddFile(path);
    if (position == TTvlConvert::AlreadyQueued) {
      results[i] = "Failed \"" + path + "\" is already existing.";
    } else if (position < 0) {
      const TAVProbe &probe = driver.Engine.Probe();
      results[i] = "Failed " + (probe.FormatContext() || probe.LastError().empty()
                                    ? "Load failed.\"" + path + "\" is unsupported."
                                    : probe.LastError());
    } else {
      positions[i] = position;
      TInputFile &file = driver.Files[position];
      if (o.TrimStartMs) {
        file.TrimStart = *o.TrimStartMs;
        file.TrimDuration = *o.TrimEndMs - *o.TrimStartMs;
      }
      if (o.AspectIndex)
        file.AspectIndex = *o.AspectIndex;
      file.AudioChoice = o.Audio;
      file.SubtitleChoice = o.Subtitles;
      file.TargetBytes = o.TargetBytes;
    }
  }

  if (o.Estimate)
    return PrintEstimates(driver, profile, results, positions);
  const std::string buildError =
      o.TargetBytes > 0 ? RunInTwoPasses(driver, profile, folder) : RunQueue(driver, profile, folder);

  bool allSucceeded = true;
  for (std::size_t i = 0; i < o.Files.size(); ++i) {
    if (positions[i] >= 0) {
      results[i] = !buildError.empty() ? "Failed " + buildError : ResultOf(driver.Files[positions[i]]);
    }
    allSucceeded = allSucceeded && results[i].starts_with("Success ");
    std::printf("%s\n", EscapeControls(results[i]).c_str());
  }
  driver.EndRun();
  return allSucceeded ? 0 : 1;
}

int RunEngineTask(const TCliOptions &o) {
  TFFmpegVCL engine;
  if (!engine.BindLibraries(platform::ExeFolder() + "Lib")) {
    std::fprintf(stderr, "Please reinstall Tavrelle Video Converter.\n%s\n", engine.ErrorText().c_str());
    return 1;
  }
  TInputOptions input;
  ResetInputOptions(input);
  std::vector<std::string> lines = o.InputLines;
  // First, so that the files the task opens take it; a later --in line still wins.
  if (!o.Threads.empty())
    lines.insert(lines.begin(), "threads=" + o.Threads);
  input.ExtOptions = JoinLines(lines);
  TOutputOptions output;
  ResetOutputOptions(output);
  output.ExtOptions = JoinLines(o.OutputLines);
  const std::string &in = o.Files[0], &out = o.Files[1];
  // A file output is written under a temporary name, as the Convert command writes: the name given
  // holds a finished file or nothing. A device or protocol is written directly.
  output.FileFormat = OutputMuxer(out);
  TOutputClaim claim;
  std::string error;
  if (!output.FileFormat.empty() && !claim.Claim(out, error)) {
    std::printf("Failed %s\n", EscapeControls(error).c_str());
    return 1;
  }
  const int task = engine.CreateTask(in, &input);
  if (task < 0 || !engine.OpenTaskOutput(task, claim.Held() ? claim.TemporaryName() : out, &output)) {
    std::printf("Failed %s\n", EscapeControls(engine.ErrorText()).c_str());
    return 1;
  }
  std::string result = "Failed the task did not report its end";
  RunTasks(
      engine, 1,
      [&](int, bool finished, bool failed, const std::string &message) {
        if (!claim.Finish(!failed, error))
          result = "Failed " + error;
        else
          result = finished             ? "Success " + out
                   : failed             ? "Failed " + message
                   : IsPartialOutput(out) ? "Canceled (partial output: " + out + ")"
                                          : "Canceled";
      },
      [&](int) { return in; });
  engine.DeleteAllTasks();
  std::printf("%s\n", EscapeControls(result).c_str());
  return result.starts_with("Success ") ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
  TCliOptions o;
  try {
    o = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::invalid_argument &e) {
    std::fprintf(stderr, "tavrelle-convert: %s\n\n%s", e.what(), UsageText);
    return 2;
  }
  if (o.Mode == TCliMode::Help) {
    std::printf("%s", UsageText);
    return 0;
  }
  platform::SetDialogs(std::make_unique<TConsoleDialogs>());
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  // Reads and writes of the running task go on after the signal: an interrupted call would end
  // the input early or fail the output instead of cancelling.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  if (o.Mode == TCliMode::Engine)
    return RunEngineTask(o);

  const std::string ini = o.IniFile.empty() ? platform::SettingsFile() : o.IniFile;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(ini, ec)) {
    std::fprintf(stderr, "tavrelle-convert: cannot read the settings file %s\n", ini.c_str());
    return 2;
  }
  TIniOptions options;
  options.LoadFromFile(ini);
  if (!o.Threads.empty())
    options.Threads = o.Threads;
  if (!o.Jobs.empty())
    options.Simultaneous = o.Jobs;
  if (o.NoCopy)
    options.CopyStreams = false;
  if (!o.Loudness.empty())
    for (TFormatRec &format : options.Formats)
      format.Loudness = o.Loudness;
  return o.Mode == TCliMode::ListProfiles ? ListProfiles(options) : Convert(o, options);
}
