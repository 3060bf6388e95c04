#pragma once
// A file's container facts as the tracks tests compare them: each stream's kind, codec, language,
// title and flags, the chapters, the tags, the times of the subtitle lines and the attachments.
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"

struct TTrackFacts {
  AVMediaType Type = AVMEDIA_TYPE_UNKNOWN;
  std::string Codec, Language, Title;
  int Disposition = 0;
  std::vector<double> Lines; // subtitles: the start of each line in seconds
  // Attachments and attached pictures: the attached file's name, type and size in bytes.
  std::string FileName, MimeType;
  int Bytes = 0;
};

struct TChapterFacts {
  double Start = 0, End = 0;
  std::string Title;
};

struct TFileFacts {
  std::vector<TTrackFacts> Streams;
  std::vector<TChapterFacts> Chapters;
  std::map<std::string, std::string> Tags;

  int Count(AVMediaType type) const {
    int n = 0;
    for (const TTrackFacts &s : Streams)
      n += s.Type == type;
    return n;
  }
  // The n-th stream of the type (0 = its first); a blank record when there is none.
  TTrackFacts Of(AVMediaType type, int n = 0) const {
    for (const TTrackFacts &s : Streams)
      if (s.Type == type && n-- == 0)
        return s;
    return {};
  }
};

inline std::string DictValue(const AVDictionary *dict, const char *key) {
  const AVDictionaryEntry *entry = AVUtil.av_dict_get(dict, key, nullptr, 0);
  return entry ? entry->value : "";
}

inline std::string LowerKey(std::string key) {
  for (char &c : key)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

// Empty when the file cannot be opened.
inline TFileFacts ReadFileFacts(const std::string &path) {
  TFileFacts facts;
  AVFormatContext *input = nullptr;
  if (AVFormat.avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0)
    return facts;
  if (AVFormat.avformat_find_stream_info(input, nullptr) >= 0) {
    for (unsigned i = 0; i < input->nb_streams; ++i) {
      const AVStream *st = input->streams[i];
      // MP4 names tracks by their handler.
      const std::string title = DictValue(st->metadata, "title");
      const bool attached = st->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT;
      facts.Streams.push_back({st->codecpar->codec_type, AVCodecLib.avcodec_get_name(st->codecpar->codec_id),
                               DictValue(st->metadata, "language"),
                               title.empty() ? DictValue(st->metadata, "handler_name") : title, st->disposition, {},
                               DictValue(st->metadata, "filename"), DictValue(st->metadata, "mimetype"),
                               attached ? st->codecpar->extradata_size : st->attached_pic.size});
    }
    for (unsigned i = 0; i < input->nb_chapters; ++i) {
      const AVChapter *c = input->chapters[i];
      facts.Chapters.push_back({static_cast<double>(c->start) * av_q2d(c->time_base),
                                static_cast<double>(c->end) * av_q2d(c->time_base), DictValue(c->metadata, "title")});
    }
    // Ogg keeps the tags with its stream.
    for (const AVDictionary *dict : {input->metadata, input->nb_streams ? input->streams[0]->metadata : nullptr}) {
      const AVDictionaryEntry *tag = nullptr;
      while ((tag = AVUtil.av_dict_get(dict, "", tag, AV_DICT_IGNORE_SUFFIX)))
        facts.Tags.emplace(LowerKey(tag->key), tag->value);
    }
    AVPacket *pkt = AVCodecLib.av_packet_alloc();
    while (pkt && AVFormat.av_read_frame(input, pkt) >= 0) {
      const AVStream *st = input->streams[pkt->stream_index];
      // MP4 fills the gaps between lines with empty ones (two bytes: a length of 0).
      if (st->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE && pkt->pts != AV_NOPTS_VALUE && pkt->size > 2)
        facts.Streams[static_cast<size_t>(pkt->stream_index)].Lines.push_back(static_cast<double>(pkt->pts) *
                                                                              av_q2d(st->time_base));
      AVCodecLib.av_packet_unref(pkt);
    }
    AVCodecLib.av_packet_free(&pkt);
  }
  AVFormat.avformat_close_input(&input);
  return facts;
}
