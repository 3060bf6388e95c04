#include "convert/QueueStore.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <unistd.h>

#include "platform/IniFile.h"
#include "platform/WholeFile.h"

namespace {

constexpr const char *StatusTexts[] = {"-", "Success", "Failed", "Canceled", "Missing"};
constexpr const char *RunningText = "Converting";
// A default no written value can equal: control characters are always escaped.
constexpr const char *Absent = "\x01";

// Blanks at the ends and a quote at the start are written as codes too: readers of such files drop
// the first and take the second for quoting.
std::string Escape(const std::string &text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto u = static_cast<unsigned char>(c);
    const bool end = i == 0 || i + 1 == text.size();
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else if (u < 0x20 || u == 0x7f || (end && c == ' ') || (i == 0 && (c == '"' || c == '\''))) {
      constexpr const char *Hex = "0123456789ABCDEF";
      out += {'\\', 'x', Hex[u >> 4], Hex[u & 15]};
    } else
      out += c;
  }
  return out;
}

// False for a text Escape never writes.
bool Unescape(const std::string &text, std::string &out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    const char next = i + 1 < text.size() ? text[++i] : '\0';
    if (next == '\\' || next == 'n' || next == 'r' || next == 't') {
      out += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : '\\';
      continue;
    }
    unsigned value = 0;
    if (next != 'x' || i + 2 >= text.size() ||
        std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr != text.data() + i + 3)
      return false;
    out += static_cast<char>(value);
    i += 2;
  }
  return true;
}

// Reads one section of the queue file; a value that is present but unreadable marks the file damaged.
class TSectionReader {
public:
  TSectionReader(const platform::IniFile &ini, std::string section, bool &damaged)
      : FIni(ini), FSection(std::move(section)), FDamaged(damaged) {}

  std::string Text(const char *key) const {
    std::string value;
    if (!Unescape(FIni.ReadString(FSection, key, ""), value))
      FDamaged = true;
    return value;
  }

  int64_t Number(const char *key, int64_t def) const {
    const std::string text = FIni.ReadString(FSection, key, Absent);
    if (text == Absent)
      return def;
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
      FDamaged = true;
    return value;
  }

private:
  const platform::IniFile &FIni;
  std::string FSection;
  bool &FDamaged;
};

std::string FileSection(int position) { return "File" + std::to_string(position); }

// The reason a source can no longer be converted, or "" while it can be read.
std::string Unreadable(const std::string &path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    return "The file no longer exists.";
  if (!std::filesystem::is_regular_file(path, ec))
    return "The path no longer names a file.";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return std::string("The file can no longer be read: ") + std::strerror(errno) + ".";
  ::close(fd);
  return "";
}

// One record as it was saved; null when the section is damaged.
std::unique_ptr<TInputFile> ReadFile(const TSectionReader &in, bool &running, bool &damaged) {
  auto file = std::make_unique<TInputFile>();
  ResetInputOptions(file->InputOptions);
  const std::string status = in.Text("Status");
  running = status == RunningText;
  file->Status = running ? csNone : StatusOfText(status);
  file->FileName = in.Text("Path");
  if (file->FileName.empty() || file->Status < 0)
    damaged = true;
  file->InputOptions.FileName = file->FileName;
  file->StatusText = running ? "The conversion of this file was interrupted." : in.Text("Reason");
  file->OutputOptions.FileName = in.Text("Output");
  file->FileType = in.Text("Type");
  file->FileSize = in.Number("Size", 0);
  file->Duration = static_cast<int32_t>(in.Number("Duration", -1));
  file->DurationMs = in.Number("DurationMs", -1);
  file->HasVideo = in.Number("HasVideo", 1) != 0;
  file->TrimStart = in.Number("TrimStart", -1);
  file->TrimDuration = in.Number("TrimDuration", file->DurationMs);
  file->AspectIndex = static_cast<int32_t>(in.Number("Aspect", 0));
  // Queues saved before the choice existed keep every track.
  file->AudioChoice = in.Text("Audio");
  file->SubtitleChoice = in.Text("Subtitles");
  std::string wrong;
  if (!ValidTrackChoice(file->AudioChoice, true, wrong) || !ValidTrackChoice(file->SubtitleChoice, false, wrong))
    damaged = true;
  file->TargetBytes = std::max<int64_t>(in.Number("TargetSize", 0), 0);
  if (const std::string reason = Unreadable(file->FileName); !reason.empty()) {
    file->Status = csMissing;
    file->StatusText = reason;
  } else if (file->Status == csMissing) {
    file->Status = csNone;
    file->StatusText.clear();
  }
  return damaged ? nullptr : std::move(file);
}

TRestoredQueue Damaged(const std::string &path, const std::string &why) {
  TRestoredQueue restored;
  const std::string aside = path + ".bad";
  std::error_code ec;
  std::filesystem::rename(path, aside, ec);
  restored.Problem = "The saved queue could not be read (" + why + "); the program starts with an empty queue." +
                     (ec ? "" : " The damaged file was kept as \"" + aside + "\".");
  return restored;
}

} // namespace

std::string StatusText(int32_t status) {
  return status >= 0 && status < static_cast<int32_t>(std::size(StatusTexts)) ? StatusTexts[status] : "-";
}

int32_t StatusOfText(const std::string &text) {
  for (int32_t s = 0; s < static_cast<int32_t>(std::size(StatusTexts)); ++s)
    if (text == StatusTexts[s])
      return s;
  return -1;
}

TRestoredQueue TQueueStore::Load() const {
  const platform::IniFile ini(FPath);
  if (!ini.Exists())
    return {};
  std::string reason;
  if (!ini.Readable(&reason))
    return Damaged(FPath, reason);
  bool damaged = false;
  const TSectionReader queue(ini, "Queue", damaged);
  const int64_t count = queue.Number("Count", -1);
  if (damaged || count < 0 || count > 1000000)
    return Damaged(FPath, "it has no valid file count");
  TRestoredQueue restored;
  restored.Run.Profile = static_cast<int32_t>(queue.Number("Profile", -1));
  restored.Run.Folder = queue.Text("Folder");
  for (int p = 0; p < count; ++p) {
    bool running = false;
    auto file = ReadFile(TSectionReader(ini, FileSection(p), damaged), running, damaged);
    if (!file)
      return Damaged(FPath, "the entry of file " + std::to_string(p + 1) + " is damaged");
    if (running)
      restored.Run.Running = p;
    // Whatever a run cut off left half-written goes now.
    if (!file->OutputOptions.FileName.empty())
      OutputNameClaimed(file->OutputOptions.FileName);
    restored.Files.push_back(std::move(file));
  }
  return restored;
}

namespace {

struct TEntry {
  std::string Section, Key, Value;
};

// Every entry of the queue in file order.
std::vector<TEntry> Entries(const TInputFileList &files, const TQueueRun &run) {
  std::vector<TEntry> entries{{"Queue", "Count", std::to_string(files.Count())}};
  if (run.Running >= 0) {
    entries.push_back({"Queue", "Profile", std::to_string(run.Profile)});
    entries.push_back({"Queue", "Folder", Escape(run.Folder)});
  }
  for (int p = 0; p < files.Count(); ++p) {
    const TInputFile &f = files[p];
    const std::string section = FileSection(p);
    const auto add = [&](const char *key, const std::string &value) { entries.push_back({section, key, value}); };
    add("Path", Escape(f.FileName));
    add("Status", p == run.Running ? RunningText : StatusText(f.Status));
    add("Reason", Escape(f.StatusText));
    add("Output", Escape(f.OutputOptions.FileName));
    add("Type", Escape(f.FileType));
    add("Size", std::to_string(f.FileSize));
    add("Duration", std::to_string(f.Duration));
    add("DurationMs", std::to_string(f.DurationMs));
    add("HasVideo", f.HasVideo ? "1" : "0");
    add("TrimStart", std::to_string(f.TrimStart));
    add("TrimDuration", std::to_string(f.TrimDuration));
    add("Aspect", std::to_string(f.AspectIndex));
    add("Audio", Escape(f.AudioChoice));
    add("Subtitles", Escape(f.SubtitleChoice));
    if (f.TargetBytes > 0)
      add("TargetSize", std::to_string(f.TargetBytes));
  }
  return entries;
}

// The file's text: the queue file is always written whole, so no earlier content is kept. The values
// need no quotes: Escape codes whatever a reader would take apart.
std::string IniText(const std::vector<TEntry> &entries) {
  std::string text, section;
  for (const TEntry &e : entries) {
    if (e.Section != section) {
      section = e.Section;
      text += "[" + section + "]\n";
    }
    text += e.Key + "=" + e.Value + "\n";
  }
  return text;
}

} // namespace

bool TQueueStore::Save(const TInputFileList &files, const TQueueRun &run, std::string &error) const {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(FPath).parent_path(), ec);
  return platform::WriteWholeFile(FPath, IniText(Entries(files, run)), error);
}
