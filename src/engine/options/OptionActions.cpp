// Option actions that parse a value of their own or check it against the current settings.
#include <charconv>
#include <ctime>
#include <limits>

#include "engine/options/TaskOptions.h"
#include "engine/FFmpegException.h"
#include "engine/options/OptionValues.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "platform/ExeFolder.h"

namespace {

// A number where invalid text counts as 0.
int IntOrZero(const std::string &text) {
  const std::string t = Trim(text);
  int v = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  return ec == std::errc() && end == t.data() + t.size() ? v : 0;
}

double DecimalOrZero(const std::string &text) {
  const std::string t = Trim(text);
  double v = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  return ec == std::errc() && end == t.data() + t.size() ? v : 0;
}

// C's atoi: the leading decimal digits of a text, 0 when there are none.
int LeadingInt(const std::string &text) {
  std::string t = Trim(text);
  if (!t.empty() && t[0] == '+')
    t.erase(0, 1);
  int v = 0;
  std::from_chars(t.data(), t.data() + t.size(), v);
  return v;
}

// "croptop" -> "Top", "padleft" -> "Left".
std::string SideName(const std::string &option, size_t prefixLength) {
  std::string side = option.substr(prefixLength);
  if (!side.empty())
    side[0] = static_cast<char>(side[0] - 'a' + 'A');
  return side;
}

int ClampToInt(int64_t value) {
  return value > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(value);
}

} // namespace

void TTaskOptions::SetFormat(const std::string &value) {
  std::string name = value;
  if (name == "pgmyuv") {
    name = "image2";
    S.PgmyuvMode = true;
    FHost.LogOption(1, "pgmyuv format is deprecated, use image2");
  }
  S.InputFormat = AVFormat.av_find_input_format(name.c_str());
  S.OutputFormat = AVFormat.av_guess_format(name.c_str(), nullptr, nullptr);
  if (!S.InputFormat && !S.OutputFormat)
    throw FFmpegException("Unknown input or output format: " + name);
}

void TTaskOptions::SetInputFormat(const std::string &name) {
  if (name.empty())
    return;
  S.InputFormat = AVFormat.av_find_input_format(name.c_str());
  if (!S.InputFormat)
    throw FFmpegException("Unknown input format: " + name);
}

void TTaskOptions::SetOutputFormat(const std::string &name) {
  if (name.empty())
    return;
  S.OutputFormat = AVFormat.av_guess_format(name.c_str(), nullptr, nullptr);
  if (!S.OutputFormat)
    throw FFmpegException("Unknown output format: " + name);
}

int64_t TTaskOptions::ParseTime(const std::string &name, const std::string &value, bool duration) const {
  int64_t t = std::numeric_limits<int64_t>::min();
  if (AVUtil.av_parse_time(&t, value.c_str(), duration ? 1 : 0) < 0 || t == std::numeric_limits<int64_t>::min())
    throw FFmpegException("Invalid " + std::string(duration ? "duration" : "date") + " specification for " +
                          name + ": " + value);
  return t;
}

void TTaskOptions::SetRecordingTimeMs(int64_t ms) {
  if (ms > 0 && ms <= std::numeric_limits<int64_t>::max() / 1000) {
    S.RecordingTime = ms * 1000;
    FHost.SetTotalDurationMs(ClampToInt(ms));
  }
}

void TTaskOptions::SetRecordingTimeUs(int64_t us) {
  if (us > 0) {
    S.RecordingTime = us;
    FHost.SetTotalDurationMs(ClampToInt(us / 1000));
  }
}

void TTaskOptions::SetStartTimeUs(int64_t us) {
  if (us > 0)
    S.StartTime = us;
}

void TTaskOptions::SetProgramId(int id) {
  if (id >= 0)
    S.ProgramId = id;
}

void TTaskOptions::SetStreamMap(const std::string &value) {
  if (S.StreamMaps.size() >= MaxStreamMaps)
    throw FFmpegException("Too many stream maps (at most 400)");
  TNumberReader reader(value);
  TStreamMap map;
  map.FileIndex = static_cast<int>(reader.Integer());
  reader.Skip();
  map.StreamIndex = static_cast<int>(reader.Integer());
  if (reader.Skip()) {
    map.SyncFileIndex = static_cast<int>(reader.Integer());
    reader.Skip();
    map.SyncStreamIndex = static_cast<int>(reader.Integer());
  } else {
    map.SyncFileIndex = map.FileIndex;
    map.SyncStreamIndex = map.StreamIndex;
  }
  S.StreamMaps.push_back(map);
}

void TTaskOptions::SetBurnSubtitle(const std::string &value) {
  TNumberReader reader(value);
  S.BurnSubtitle.File = static_cast<int>(reader.Integer());
  reader.Skip();
  S.BurnSubtitle.Stream = static_cast<int>(reader.Integer());
}

void TTaskOptions::SetMetaDataMap(const std::string &value) {
  if (S.MetaDataMaps.size() >= MaxMetaDataMaps)
    throw FFmpegException("Too many metadata maps (at most 20)");
  TNumberReader reader(value);
  TMetaDataMap map;
  map.OutFile = static_cast<int>(reader.Integer());
  reader.Skip();
  map.InFile = static_cast<int>(reader.Integer());
  S.MetaDataMaps.push_back(map);
}

void TTaskOptions::SetItsScale(const std::string &value) {
  TNumberReader reader(value);
  const long long stream = reader.Integer();
  reader.Skip();
  const double scale = reader.Decimal();
  if (stream < 0 || stream >= MaxFiles)
    throw FFmpegException("stream index over MAX_STREAMS(" + std::to_string(MaxFiles) + ")");
  // The scale belongs to the input that is opened next; there is none after the last slot.
  const int next = FHost.InputCount();
  if (next >= MaxFiles)
    throw FFmpegException("input file index over MAX_FILES(" + std::to_string(MaxFiles) + ")");
  S.InputTsScale[static_cast<size_t>(next)][static_cast<size_t>(stream)] = scale;
}

void TTaskOptions::SetMetaData(const std::string &value) {
  const size_t eq = value.find('=');
  if (eq == std::string::npos)
    throw FFmpegException("Missing =");
  S.MetaData.emplace_back(value.substr(0, eq), value.substr(eq + 1));
}

void TTaskOptions::SetBitrate(const std::string &name, const std::string &value) {
  if (!SetGenericOption(name, value) || !FHost.LogsOptions())
    return;
  int64_t bitrate = 0;
  AVUtil.av_opt_get_int(CodecTemplate(name[0] == 'a' ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO), "b", 0, &bitrate);
  if (bitrate < 1000)
    FHost.LogOption(1, "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
}

void TTaskOptions::SetFrameSize(const std::string &value) {
  int width = 0, height = 0;
  if (AVUtil.av_parse_video_size(&width, &height, value.c_str()) < 0)
    throw FFmpegException("Incorrect frame size");
  if (width % 2 != 0 || height % 2 != 0)
    throw FFmpegException("Frame size must be a multiple of 2");
  S.FrameWidth = width;
  S.FrameHeight = height;
}

void TTaskOptions::SetAspect(const std::string &value) {
  double aspect = 0;
  const size_t colon = value.find(':');
  if (colon != std::string::npos) {
    const int x = IntOrZero(value.substr(0, colon));
    const int y = IntOrZero(value.substr(colon + 1));
    if (y > 0)
      aspect = static_cast<double>(x) / y;
  } else {
    aspect = DecimalOrZero(value);
  }
  if (static_cast<float>(aspect) == 0.0f)
    throw FFmpegException("Incorrect aspect ratio specification.");
  S.FrameAspectRatio = static_cast<float>(aspect);
}

void TTaskOptions::SetCrop(const std::string &name, int value) {
  if (value < 0)
    return;
  if (value % 2 != 0)
    throw FFmpegException(SideName(name, 4) + " crop size must be a multiple of 2");
  const bool vertical = name == "croptop" || name == "cropbottom";
  int &size = vertical ? S.FrameHeight : S.FrameWidth;
  if (value >= size)
    throw FFmpegException(std::string(vertical ? "Vertical" : "Horizontal") +
                          " crop dimensions are outside the range of the original image.\n"
                          "Remember to crop first and scale second.");
  if (name == "croptop")
    S.FrameTopBand = value;
  else if (name == "cropbottom")
    S.FrameBottomBand = value;
  else if (name == "cropleft")
    S.FrameLeftBand = value;
  else
    S.FrameRightBand = value;
  size -= value;
}

void TTaskOptions::SetPad(const std::string &name, int value) {
  if (value < 0)
    return;
  if (value % 2 != 0)
    throw FFmpegException(SideName(name, 3) + " pad size must be a multiple of 2");
  if (name == "padtop")
    S.FramePadTop = value;
  else if (name == "padbottom")
    S.FramePadBottom = value;
  else if (name == "padleft")
    S.FramePadLeft = value;
  else
    S.FramePadRight = value;
}

void TTaskOptions::SetPadColor(int rgb) {
  const int r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
  S.PadColor[0] = (307 * r + 602 * g + 117 * b + 512) >> 10;
  S.PadColor[1] = ((-173 * r - 340 * g + 512 * b + 511) >> 10) + 128;
  S.PadColor[2] = ((512 * r - 429 * g - 84 * b + 511) >> 10) + 128;
}

void TTaskOptions::ListFormats(bool pixelFormats) const {
  if (!FHost.LogsOptions())
    return;
  char line[128];
  // Index -1 gives the heading line; then every format the library knows.
  for (int i = -1;; ++i) {
    if (pixelFormats) {
      if (i >= 0 && !AVUtil.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(i)))
        break;
      AVUtil.av_get_pix_fmt_string(line, sizeof line, static_cast<AVPixelFormat>(i));
    } else {
      if (i >= 0 && !AVUtil.av_get_sample_fmt_name(static_cast<AVSampleFormat>(i)))
        break;
      AVUtil.av_get_sample_fmt_string(line, sizeof line, static_cast<AVSampleFormat>(i));
    }
    FHost.LogOption(1, Trim(line));
  }
}

void TTaskOptions::SetMatrix(std::vector<uint16_t> &matrix, const std::string &value) {
  matrix.assign(64, 0);
  size_t pos = 0;
  for (int i = 0; i < 64; ++i) {
    const size_t comma = value.find(',', pos);
    matrix[static_cast<size_t>(i)] =
        static_cast<uint16_t>(LeadingInt(value.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos)));
    if (comma == std::string::npos) {
      if (i < 63)
        throw FFmpegException("Syntax error in matrix \"" + value + "\" at coeff " + std::to_string(i));
      break;
    }
    pos = comma + 1;
  }
}

uint32_t TTaskOptions::ParseTag(const std::string &value, const char *assertion) const {
  if (value.size() != 4)
    throw FFmpegException(assertion);
  return static_cast<uint32_t>(static_cast<unsigned char>(value[0])) |
         static_cast<uint32_t>(static_cast<unsigned char>(value[1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(value[2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(value[3])) << 24;
}

void TTaskOptions::SetVStats() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%H%M%S", &local);
  S.VStatsFileName = platform::ExeFolder() + "vstats_" + stamp + ".log";
}

void TTaskOptions::SetVideoHook(const std::string &value) {
  const char separator = value.find('|') != std::string::npos ? '|' : ' ';
  std::vector<std::string> words;
  size_t pos = 0;
  while (pos < value.size() && words.size() < 254) {
    const size_t end = std::min(value.find(separator, pos), value.size());
    if (end > pos)
      words.push_back(value.substr(pos, end - pos));
    pos = end + 1;
  }
  if (words.empty() || FConfig.VideoHooks.size() >= MaxFiles)
    throw FFmpegException("Failed to add video hook function: " + value);
  // The modules are loaded by the frame-hook registry when the transcode sets up.
  FConfig.VideoHooks.push_back(std::move(words));
  S.HooksEnabled = true;
}

void TTaskOptions::SetBitstreamFilter(const std::string &name, const std::string &value) {
  if (value.empty() || value[0] == '=')
    return;
  const std::string filter = value.substr(0, value.find('='));
  if (!AVCodecLib.av_bsf_get_by_name(filter.c_str()))
    throw FFmpegException("Unknown bitstream filter " + Trim(value));
  auto &chain = name[0] == 'v'   ? S.VideoBitstreamFilters
                : name[0] == 'a' ? S.AudioBitstreamFilters
                                 : S.SubtitleBitstreamFilters;
  chain.push_back(filter);
}

void TTaskOptions::NewStreamOption(const std::string &name) {
  const int outputs = FHost.OutputCount();
  if (outputs == 0)
    throw FFmpegException("At least one output file must be specified");
  const AVMediaType type = name == "newvideo"   ? AVMEDIA_TYPE_VIDEO
                           : name == "newaudio" ? AVMEDIA_TYPE_AUDIO
                                                : AVMEDIA_TYPE_SUBTITLE;
  FHost.NewStream(type, outputs - 1);
}
