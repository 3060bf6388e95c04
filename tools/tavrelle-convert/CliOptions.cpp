#include "CliOptions.h"

#include "convert/Loudness.h"
#include "convert/SizeTarget.h"
#include "convert/SourceTracks.h"

#include <charconv>
#include <functional>
#include <limits>
#include <stdexcept>

const char *const UsageText =
    R"usage(Usage:
  tavrelle-convert [--ini FILE] [--profile INDEX|NAME] [--output DIR] [--trim START-END]
                   [--aspect 0..4] [--audio all|default|LIST] [--subtitles all|none|LIST|burn:N]
                   [--threads N] [--jobs N] [--no-copy] [--loudness LUFS]
                   [--target-size SIZE] [--estimate] FILE...
  tavrelle-convert --list-profiles [--ini FILE]
  tavrelle-convert --engine [--threads N] [--in NAME=VALUE]... [--out NAME=VALUE]... INPUT OUTPUT
  tavrelle-convert --help

Converts files like the Convert command of Tavrelle Video Converter, without windows.

  --ini FILE         settings file (default: the program's own, beside it or in ~/.config/tavrelle)
  --profile P        profile by index or by exact name (default: the settings file's choice)
  --output DIR       output folder, created when missing (default: the settings file's folder,
                     else "output" beside the program, or ~/Videos/Tavrelle for an installed copy)
  --trim START-END   convert only this part of every file; times are [[hh:]mm:]ss[.fff]
  --aspect N         output aspect: 0 keep, 1 4:3, 2 16:9, 3 37:20, 4 47:20
  --audio CHOICE     the sound tracks kept: all (default), default (the track flagged default,
                     else the first) or LIST; containers that hold one track get the default one
  --subtitles CHOICE the subtitle tracks kept: all (default), none or LIST; text subtitles become
                     the container's text form, picture subtitles are kept where it takes them;
                     burn:N draws subtitle track N into the picture and keeps no track
                     LIST: track numbers (1 = the file's first track of the kind) and language
                     codes, comma-separated, e.g. "1,3" or "eng,fre"
  --threads N        codec threads per conversion; 0 uses every core (default: the settings
                     file's Threads key in section Output, else 0)
  --jobs N           files converted at once; 0 decides from the cores and the files: sound and
                     small pictures one per core, big pictures one at a time (default: the
                     settings file's SimultaneousConversions key in section Output, else 0)
  --no-copy          encode every stream; without it, streams that already fit the profile
                     (same codec, size, rate, a bit rate not above it) are copied as they are,
                     unless the settings file's CopyStreams key in section Output is 0
  --loudness LUFS    normalise the sound to this loudness (EBU R128), e.g. -16 or -23, with true
                     peaks at most -1 dBTP; the sound is measured first, then given one gain
                     (default: the profile's Loudness key, else the sound is left as it is)
  --target-size SIZE fit each output to this size, e.g. 8MB (8,000,000 bytes), 700MiB or plain
                     bytes: the video bit rate follows from the length, the sound and the
                     container, encoded in two passes; a size too small for the length is refused
  --estimate         print "Estimate <bytes> <path>" for each file: the expected output size with
                     the profile, its trim and its target size; nothing is converted (a constant
                     quality is measured by encoding three short samples of the file first)
  --list-profiles    print each profile: index, tab, extension, tab, name
  --engine           run one engine task: --in lines are input option lines, --out lines output
                     option lines (NAME=VALUE, as the engine's option names)

For each file one line is printed: "Success <output path>", "Failed <message>", "Canceled" or,
when the cancelled file had started writing, "Canceled (partial output: <output path>)", in the
order of the files. Control characters in paths and messages are escaped so that every result
stays on one line: "\n", "\r", "\t", "\\" for a backslash, "\xHH" for the others; other names
print as they are. Output names follow the program's rule: the source name with the profile's
extension, "_1", "_2"... when taken. A file that fails leaves no output behind. Progress goes to
standard error: a bar on a terminal, plain lines otherwise. Ctrl-C or SIGTERM cancels cleanly.

Exit status: 0 when every file succeeded, 1 when any failed or was cancelled, 2 on a usage error.
)usage";

namespace {

bool ReadNumber(const std::string &text, int64_t &value) {
  const char *end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, value);
  return !text.empty() && ec == std::errc() && stop == end && value >= 0;
}

// The option's value when it is a whole number; a usage error otherwise.
const std::string &WholeNumber(const std::string &option, const std::string &text) {
  int64_t count = 0;
  if (!ReadNumber(text, count) || count > std::numeric_limits<int32_t>::max())
    throw std::invalid_argument(option + " needs a whole number");
  return text;
}

// START-END into the options; a usage error unless START comes before END.
void ReadTrim(const std::string &range, TCliOptions &o) {
  const auto dash = range.find('-');
  const auto start = dash == std::string::npos ? std::nullopt : ParseTimeMs(range.substr(0, dash));
  const auto end = dash == std::string::npos ? std::nullopt : ParseTimeMs(range.substr(dash + 1));
  if (!start || !end || *end <= *start)
    throw std::invalid_argument("--trim needs START-END with START before END, times as [[hh:]mm:]ss[.fff]");
  o.TrimStartMs = start;
  o.TrimEndMs = end;
}

// The option's value when it is a track choice of its kind; a usage error otherwise.
const std::string &TrackChoice(const std::string &option, const std::string &text, bool audio) {
  std::string error;
  if (!ValidTrackChoice(text, audio, error) || (audio && text == "none") || text.empty())
    throw std::invalid_argument(option + (audio ? " needs all, default or" : " needs all, none, burn:N or") +
                                " a comma-separated list of track numbers and language codes" +
                                (error.empty() ? "" : ": " + error));
  return text;
}

} // namespace

std::optional<int64_t> ParseTimeMs(const std::string &text) {
  std::string whole = text;
  int64_t ms = 0;
  if (const auto dot = text.find('.'); dot != std::string::npos) {
    std::string fraction = text.substr(dot + 1);
    if (fraction.empty() || fraction.size() > 3)
      return std::nullopt;
    fraction.resize(3, '0');
    if (!ReadNumber(fraction, ms))
      return std::nullopt;
    whole = text.substr(0, dot);
  }
  // Up to three fields, the last one seconds; fields before the last are below 60.
  int64_t total = 0;
  int fields = 0;
  std::size_t start = 0;
  for (;;) {
    const auto colon = whole.find(':', start);
    int64_t field = 0;
    if (!ReadNumber(whole.substr(start, colon == std::string::npos ? std::string::npos : colon - start), field))
      return std::nullopt;
    if (++fields > 3 || (fields > 1 && field >= 60))
      return std::nullopt;
    total = total * 60 + field;
    if (colon == std::string::npos)
      break;
    start = colon + 1;
  }
  return total * 1000 + ms;
}

namespace {

using TValue = std::function<const std::string &()>;

// The options that shape a conversion; false when the argument is none of them.
bool ReadConvertOption(const std::string &a, const TValue &value, TCliOptions &o) {
  if (a == "--profile") {
    o.Profile = value();
  } else if (a == "--output") {
    o.OutputFolder = value();
  } else if (a == "--trim") {
    ReadTrim(value(), o);
  } else if (a == "--aspect") {
    const std::string &text = value();
    if (text.size() != 1 || text[0] < '0' || text[0] > '4')
      throw std::invalid_argument("--aspect needs a number from 0 to 4");
    o.AspectIndex = text[0] - '0';
  } else if (a == "--audio" || a == "--subtitles") {
    (a == "--audio" ? o.Audio : o.Subtitles) = TrackChoice(a, value(), a == "--audio");
  } else if (a == "--no-copy") {
    o.NoCopy = true;
  } else if (a == "--loudness") {
    o.Loudness = value();
    try {
      LoudnessTarget(o.Loudness);
    } catch (const std::invalid_argument &) {
      throw std::invalid_argument("--loudness needs LUFS from -70 to -5");
    }
  } else if (a == "--target-size") {
    o.TargetBytes = ParseTargetSize(value());
  } else if (a == "--estimate") {
    o.Estimate = true;
  } else if (a == "--jobs") {
    o.Jobs = WholeNumber(a, value());
  } else {
    return false;
  }
  return true;
}

// Each mode takes only its own options.
void CheckMode(const TCliOptions &o, bool convertOptions) {
  switch (o.Mode) {
  case TCliMode::ListProfiles:
    if (!o.Files.empty() || convertOptions || !o.InputLines.empty() || !o.OutputLines.empty())
      throw std::invalid_argument("--list-profiles takes only --ini");
    break;
  case TCliMode::Engine:
    if (o.Files.size() != 2 || convertOptions || !o.IniFile.empty())
      throw std::invalid_argument("--engine needs INPUT and OUTPUT and takes only --in and --out");
    break;
  default:
    if (o.Files.empty())
      throw std::invalid_argument("no file to convert");
    if (!o.InputLines.empty() || !o.OutputLines.empty())
      throw std::invalid_argument("--in and --out belong to --engine");
  }
}

} // namespace

TCliOptions ParseCommandLine(const std::vector<std::string> &args) {
  TCliOptions o;
  bool convertOptions = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    const TValue value = [&]() -> const std::string & {
      if (i + 1 >= args.size())
        throw std::invalid_argument(a + " needs a value");
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      o.Mode = TCliMode::Help;
      return o;
    } else if (a == "--list-profiles") {
      o.Mode = TCliMode::ListProfiles;
    } else if (a == "--engine") {
      o.Mode = TCliMode::Engine;
    } else if (a == "--ini") {
      o.IniFile = value();
    } else if (a == "--threads") {
      o.Threads = WholeNumber(a, value());
    } else if (ReadConvertOption(a, value, o)) {
      convertOptions = true;
    } else if (a == "--in" || a == "--out") {
      const std::string &line = value();
      if (line.find('=') == std::string::npos)
        throw std::invalid_argument(a + " needs NAME=VALUE");
      (a == "--in" ? o.InputLines : o.OutputLines).push_back(line);
    } else if (a.size() > 1 && a[0] == '-' && a != "--") {
      throw std::invalid_argument("unknown option " + a);
    } else {
      o.Files.insert(o.Files.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + (a == "--"), args.end());
      break;
    }
  }
  CheckMode(o, convertOptions);
  return o;
}
