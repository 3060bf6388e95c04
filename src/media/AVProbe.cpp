#include "media/AVProbe.h"

#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"
#include "media/InputFileKind.h"

#include <charconv>
#include <filesystem>
#include <stdexcept>

namespace {

int64_t TimeOrMinusOne(int64_t value) {
  return value == AV_NOPTS_VALUE ? -1 : value;
}

// A missing metadata key gives an empty text.
std::string Tag(const AVFormatContext *context, const char *key) {
  const AVDictionaryEntry *entry = AVUtil.av_dict_get(context->metadata, key, nullptr, 0);
  return entry && entry->value ? entry->value : std::string();
}

// The leading decimal number of a tag ("2009-05-01" gives 2009, "3/12" gives 3), or -1.
int32_t LeadingNumber(const std::string &text) {
  int32_t value = -1;
  const char *first = text.data();
  while (first < text.data() + text.size() && *first == ' ')
    ++first;
  const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
  return error == std::errc() && end != first && value >= 0 ? value : -1;
}

void LogNotLoaded() {
  if (AVUtil.av_log)
    AVUtil.av_log(nullptr, 1, "file not loaded.\n");
}

} // namespace

TCustomAVProbe::~TCustomAVProbe() {
  TCustomAVProbe::Close();
}

void TCustomAVProbe::CheckLibraries() {
  if (!FFLoader.LibraryLoaded(LibAVCodec))
    throw std::runtime_error("LibAVCodec not loaded.");
  if (!FFLoader.LibraryLoaded(LibAVFormat))
    throw std::runtime_error("LibAVFormat not loaded.");
  if (!FFLoader.LibraryLoaded(LibAVUtil))
    throw std::runtime_error("LibAVUtil not loaded.");
  if (!FFLoader.LibraryLoaded(LibSwScale))
    throw std::runtime_error("LibSwScale not loaded.");
}

bool TCustomAVProbe::LoadFile(const std::string &fileName, const std::string &formatName) {
  CheckLibraries();
  Close();
  if (std::string refusal = NotRegularFileText(fileName); !refusal.empty()) {
    FLastError = std::move(refusal);
    return false;
  }
  const AVInputFormat *format = nullptr;
  if (!formatName.empty()) {
    format = AVFormat.av_find_input_format(formatName.c_str());
    if (!format) {
      FLastError = "Unknown input format: " + formatName;
      return false;
    }
  }
  FFormatContext = AVFormat.avformat_alloc_context();
  FOwnsContext = true;
  if (!FFormatContext) {
    FLastError = OpenErrorText(fileName, AVERROR(ENOMEM));
    return false;
  }
  FGiveUpAt = std::chrono::steady_clock::now() + OpenBound;
  FFormatContext->interrupt_callback = AVIOInterruptCB{Interrupted, this};
  // On failure the library frees the context and nulls the pointer.
  const int opened = AVFormat.avformat_open_input(&FFormatContext, fileName.c_str(), format, nullptr);
  if (opened < 0) {
    FLastError = OpenErrorText(fileName, opened);
    Close();
    return false;
  }
  int found;
  {
    std::lock_guard lock(CodecLock());
    found = AVFormat.avformat_find_stream_info(FFormatContext, nullptr);
  }
  if (found < 0) {
    FLastError = fileName + ": could not find codec parameters";
    Close();
    return false;
  }
  // The bound is the opening's: later questions to the file (its size) are not cut short.
  FGiveUpAt = std::chrono::steady_clock::time_point::max();
  Recount();
  FFormatName = formatName;
  return true;
}

int TCustomAVProbe::Interrupted(void *probe) {
  const auto *self = static_cast<const TCustomAVProbe *>(probe);
  return (self->FStop && self->FStop->load()) || std::chrono::steady_clock::now() > self->FGiveUpAt ? 1 : 0;
}

void TCustomAVProbe::AttachContext(AVFormatContext *context) {
  CheckLibraries();
  Close();
  FOwnsContext = false;
  FFormatContext = context;
  Recount();
}

void TCustomAVProbe::Close() {
  FFormatName.clear();
  if (FFormatContext && FOwnsContext)
    AVFormat.avformat_close_input(&FFormatContext);
  FFormatContext = nullptr;
  Recount();
}

void TCustomAVProbe::Recount() {
  FStreamCount = FProgramCount = FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = -1;
  FFirstAudioStream = FFirstVideoStream = FFirstSubtitleStream = -1;
  if (!FFormatContext)
    return;
  FStreamCount = static_cast<int>(FFormatContext->nb_streams);
  FProgramCount = static_cast<int>(FFormatContext->nb_programs);
  FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = 0;
  for (int i = 0; i < FStreamCount; ++i) {
    const AVCodecParameters *par = FFormatContext->streams[i]->codecpar;
    switch (par ? par->codec_type : AVMEDIA_TYPE_UNKNOWN) {
    case AVMEDIA_TYPE_AUDIO:
      ++FAudioStreamCount;
      if (FFirstAudioStream < 0)
        FFirstAudioStream = i;
      break;
    case AVMEDIA_TYPE_VIDEO:
      ++FVideoStreamCount;
      if (FFirstVideoStream < 0)
        FFirstVideoStream = i;
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      ++FSubtitleStreamCount;
      if (FFirstSubtitleStream < 0)
        FFirstSubtitleStream = i;
      break;
    default:
      break;
    }
  }
}

void TCustomAVProbe::GetStreamInfo(TFileStreamInfo &info) const {
  info = TFileStreamInfo();
  if (!FFormatContext) {
    LogNotLoaded();
    return;
  }
  info.StartTime = TimeOrMinusOne(FFormatContext->start_time);
  info.Duration = TimeOrMinusOne(FFormatContext->duration);
  info.BitRate = FFormatContext->bit_rate;
  info.Title = Tag(FFormatContext, "title");
  info.Author = Tag(FFormatContext, "author");
  info.Copyright = Tag(FFormatContext, "copyright");
  info.Comment = Tag(FFormatContext, "comment");
  info.Album = Tag(FFormatContext, "album");
  info.Genre = Tag(FFormatContext, "genre");
  // The container no longer carries year, track and timestamp fields; the tags that replaced them
  // are read when present.
  std::string year = Tag(FFormatContext, "year");
  info.Year = LeadingNumber(year.empty() ? Tag(FFormatContext, "date") : year);
  info.Track = LeadingNumber(Tag(FFormatContext, "track"));
  const std::string created = Tag(FFormatContext, "creation_time");
  int64_t timestamp = 0;
  if (!created.empty() && AVUtil.av_parse_time(&timestamp, created.c_str(), 0) >= 0)
    info.Timestamp = timestamp;
}

int64_t TCustomAVProbe::GetFileSize() const {
  if (!FFormatContext) {
    LogNotLoaded();
    return -1;
  }
  const int64_t size = FFormatContext->pb ? AVFormat.avio_size(FFormatContext->pb) : 0;
  if (size > 0)
    return size;
  std::error_code ec;
  const char *url = FFormatContext->url;
  if (url && std::filesystem::is_regular_file(url, ec)) {
    const auto onDisk = std::filesystem::file_size(url, ec);
    return ec ? -1 : static_cast<int64_t>(onDisk);
  }
  return size;
}
