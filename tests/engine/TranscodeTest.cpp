// Transcodes of generated media: stream copies compared packet by packet with the input, the
// limits that end the loop, stream maps and automatic stream selection, and decoded streams that
// go straight to their encoders (no frame-rate sync, resampling or hooks on that path yet).
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>

#include "EngineFixture.h"
#include "engine/task/TaskThread.h"
#include "media/AVInline.h"

namespace {

struct TPacketInfo {
  int64_t DtsMs; // relative to the stream's first packet
  int Size;
  uint64_t Hash;
  bool Key;
};

struct TStreamPackets {
  AVMediaType Type;
  AVCodecID Codec;
  std::vector<TPacketInfo> Packets;
  uint64_t AllBytes = 0; // hash of the stream's bytes in order, whatever the packets
  int64_t FirstDtsMs = 0;
  double Turn = 0; // degrees of the display matrix; 0 without one
};

uint64_t HashOn(uint64_t h, const uint8_t *data, int size) {
  for (int i = 0; i < size; ++i)
    h = (h ^ data[i]) * 1099511628211ull;
  return h;
}

uint64_t Hash(const uint8_t *data, int size) { return HashOn(1469598103934665603ull, data, size); }

// Raw samples: how a container cuts them into packets is its own business.
bool IsPcm(AVCodecID id) { return id >= AV_CODEC_ID_PCM_S16LE && id < AV_CODEC_ID_ADPCM_IMA_QT; }

// Every packet of a file, by stream.
std::vector<TStreamPackets> ReadPackets(const std::string &file) {
  AVFormatContext *context = nullptr;
  std::vector<TStreamPackets> streams;
  if (AVFormat.avformat_open_input(&context, file.c_str(), nullptr, nullptr) < 0)
    return streams;
  AVFormat.avformat_find_stream_info(context, nullptr);
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    const AVStream *stream = context->streams[i];
    streams.push_back({stream->codecpar->codec_type, stream->codecpar->codec_id, {}, 1469598103934665603ull, 0});
    size_t size = 0;
    const auto *matrix = reinterpret_cast<const int32_t *>(
        AVFormat.av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size));
    if (matrix && size >= 9 * sizeof(int32_t))
      streams.back().Turn = AVUtil.av_display_rotation_get(matrix);
  }
  std::vector<int64_t> first(context->nb_streams, AV_NOPTS_VALUE);
  AVPacket *pkt = AVCodecLib.av_packet_alloc();
  while (AVFormat.av_read_frame(context, pkt) >= 0) {
    const auto index = static_cast<size_t>(pkt->stream_index);
    int64_t dts = pkt->dts == AV_NOPTS_VALUE ? 0
                                              : AVUtil.av_rescale_q(pkt->dts, context->streams[index]->time_base,
                                                                    AVRational{1, 1000});
    if (first[index] == AV_NOPTS_VALUE)
      streams[index].FirstDtsMs = first[index] = dts;
    streams[index].AllBytes = HashOn(streams[index].AllBytes, pkt->data, pkt->size);
    streams[index].Packets.push_back(
        {dts - first[index], pkt->size, Hash(pkt->data, pkt->size), (pkt->flags & AV_PKT_FLAG_KEY) != 0});
    AVCodecLib.av_packet_unref(pkt);
  }
  AVCodecLib.av_packet_free(&pkt);
  AVFormat.avformat_close_input(&context);
  return streams;
}

const TStreamPackets *StreamOf(const std::vector<TStreamPackets> &streams, AVMediaType type) {
  for (const auto &stream : streams)
    if (stream.Type == type)
      return &stream;
  return nullptr;
}

class TranscodeTest : public TEngineTest {
protected:
  // Opens input and output with the options given before each, runs the task on this thread.
  void Convert(const std::string &input, const std::string &output,
               const std::vector<std::pair<std::string, std::string>> &outputOptions,
               const std::function<void()> &afterOutput = {}) {
    ASSERT_TRUE(Task.OpenInputFile(input)) << Task.ErrorText();
    for (const auto &[name, value] : outputOptions)
      Task.SetOption(name, value);
    ASSERT_GE(Task.OpenOutputFile(output), 0) << Task.ErrorText();
    if (afterOutput)
      afterOutput();
    Task.Start(false, tpNormal);
  }

  std::string Failure() const { return Task.Failed ? Task.EndMessage : ""; }
};

TEST_F(TranscodeTest, StreamCopyIsExactInEveryContainerThatTakesTheCodecs) {
  const char *inputs[] = {"clip25.avi", "clip2997.mp4", "clip15.mkv", "clip.mpg",  "clip.flv",
                          "clip.3gp",   "tone.mp3",     "tone.wav",   "tone.m4a", "phone.mp4"};
  const char *outputs[] = {"mkv", "mp4", "mov", "avi"};
  int compared = 0;
  for (const char *input : inputs) {
    const auto source = ReadPackets(Media(input));
    for (const char *extension : outputs) {
      const AVOutputFormat *format = AVFormat.av_guess_format(nullptr, (std::string("x.") + extension).c_str(), nullptr);
      bool accepted = format != nullptr;
      for (const auto &stream : source)
        accepted = accepted && AVFormat.avformat_query_codec(format, stream.Codec, FF_COMPLIANCE_NORMAL) == 1;
      // Matroska wants a pts on every packet; MPEG-PS leaves it out on reordered video.
      if (!accepted || (std::string(input) == "clip.mpg" && std::string(extension) == "mkv"))
        continue;
      SCOPED_TRACE(std::string(input) + " -> " + extension);
      Task.Reset();
      Task.OnLog = nullptr;
      const std::string output = Temp.File(std::string("copy-") + input + "." + extension);
      Convert(Media(input), output, {{"vcodec", "copy"}, {"acodec", "copy"}});
      EXPECT_EQ(Failure(), "");
      if (Task.Failed)
        continue;
      EXPECT_TRUE(Task.Finished);
      const auto copied = ReadPackets(output);
      ASSERT_EQ(copied.size(), source.size());
      for (const auto &in : source) {
        const TStreamPackets *out = StreamOf(copied, in.Type);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(out->AllBytes, in.AllBytes);
        // A phone's turned picture stays turned where the container can say so (5.1 writes no turn
        // into Matroska or AVI).
        if (std::string(extension) == "mp4" || std::string(extension) == "mov") {
          EXPECT_EQ(out->Turn, in.Turn);
        }
        if (IsPcm(in.Codec))
          continue;
        ASSERT_EQ(out->Packets.size(), in.Packets.size());
        // AVI keeps no timestamps (times are chunk counts on reading): there the packets are what counts.
        const bool timed = std::string(extension) != "avi";
        for (size_t i = 0; i < in.Packets.size(); ++i) {
          EXPECT_EQ(out->Packets[i].Hash, in.Packets[i].Hash) << "packet " << i;
          if (timed) {
            EXPECT_NEAR(static_cast<double>(out->Packets[i].DtsMs), static_cast<double>(in.Packets[i].DtsMs), 1.5)
                << "packet " << i;
          }
        }
      }
      ++compared;
    }
  }
  EXPECT_GE(compared, 20);
}

TEST_F(TranscodeTest, LimitsEndTheLoopWithTrailersWritten) {
  struct TCase {
    const char *Name;
    const char *Value;
    std::function<void(const std::vector<TStreamPackets> &)> Check;
  };
  const auto full = ReadPackets(Media("clip2997.mp4"));
  const TCase cases[] = {
      {"vframes", "10", [](const auto &out) { EXPECT_EQ(StreamOf(out, AVMEDIA_TYPE_VIDEO)->Packets.size(), 10u); }},
      {"t", "1",
       [](const auto &out) {
         const auto &video = StreamOf(out, AVMEDIA_TYPE_VIDEO)->Packets;
         EXPECT_NEAR(static_cast<double>(video.size()), 30.0, 2.0);
       }},
      {"fs", "20000",
       [&](const auto &out) {
         EXPECT_LT(StreamOf(out, AVMEDIA_TYPE_VIDEO)->Packets.size(),
                   StreamOf(full, AVMEDIA_TYPE_VIDEO)->Packets.size());
       }},
      {"shortest", "",
       [&](const auto &out) {
         EXPECT_LE(StreamOf(out, AVMEDIA_TYPE_AUDIO)->Packets.size(),
                   StreamOf(full, AVMEDIA_TYPE_AUDIO)->Packets.size());
       }},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    Task.Reset();
    const std::string output = Temp.File(std::string("limit-") + c.Name + ".mkv");
    Convert(Media("clip2997.mp4"), output, {{"vcodec", "copy"}, {"acodec", "copy"}, {c.Name, c.Value}});
    ASSERT_EQ(Failure(), "");
    EXPECT_TRUE(Task.Finished);
    const auto out = ReadPackets(output); // readable to its end: the trailer is there
    ASSERT_EQ(out.size(), 2u);
    c.Check(out);
  }
}

TEST_F(TranscodeTest, CopyWaitsForAKeyFrameUnlessToldOtherwise) {
  // Starting at 0.5 s lands the input between key frames (one key frame per 12 frames).
  Task.SetOption("ss", "0.5");
  Convert(Media("clip25.avi"), Temp.File("keyed.mkv"), {{"vcodec", "copy"}, {"an", ""}});
  ASSERT_EQ(Failure(), "");
  const auto keyed = ReadPackets(Temp.File("keyed.mkv"));
  ASSERT_EQ(keyed.size(), 1u);
  ASSERT_FALSE(keyed[0].Packets.empty());
  EXPECT_TRUE(keyed[0].Packets.front().Key);
}

TEST_F(TranscodeTest, MapsSelectAndValidateSources) {
  // Two audio outputs without maps take the first and the second audio stream of the input.
  Convert(Media("databetweenaudio.ts"), Temp.File("two.mkv"), {{"acodec", "copy"}}, [this] {
    Task.SetOption("acodec", "copy");
    Task.SetOption("newaudio", "");
  });
  ASSERT_EQ(Failure(), "");
  EXPECT_TRUE(Logged("  Stream #0.0 -> #0.0"));
  EXPECT_TRUE(Logged("  Stream #0.2 -> #0.1"));

  struct TCase {
    std::vector<std::pair<std::string, std::string>> Options;
    std::string Message;
  };
  const TCase cases[] = {
      {{{"map", "0.1"}}, "Number of stream maps must match number of output streams"},
      {{{"map", "0.0"}, {"map", "0.7"}}, "Could not find input stream #0.7"},
      {{{"map", "0.0"}, {"map", "0.1:1.0"}}, "Could not find sync stream #1.0"},
      {{{"map", "0.1"}, {"map", "0.0"}}, "Codec type mismatch for mapping #0.1 -> #0.0"},
      {{{"acodec", "copy"}, {"vol", "512"}}, "-acodec copy and -vol are incompatible (frames are not decoded)"},
      {{{"sburn", "0.7"}}, "Could not find input stream #0.7"},
      {{{"sburn", "0:1"}}, "Input stream #0.1 holds no picture subtitles to draw"},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Message);
    Task.Reset();
    auto options = c.Options;
    options.emplace_back("vcodec", "copy");
    if (options.front().first == "map")
      options.emplace_back("acodec", "copy");
    Convert(Media("clip25.avi"), Temp.File("map.mkv"), options);
    EXPECT_EQ(Failure(), c.Message);
    EXPECT_FALSE(Task.Finished);
  }

  // A copied picture cannot take burned subtitles.
  Task.Reset();
  Convert(Media("dvdsubs.mkv"), Temp.File("burned.mkv"), {{"vcodec", "copy"}, {"sburn", "0:2"}});
  EXPECT_EQ(Failure(), "-vcodec copy and sburn are incompatible (frames are not decoded)");

  // A map with its own sync stream is named in the mapping.
  Task.Reset();
  Logs.clear();
  Convert(Media("clip25.avi"), Temp.File("sync.mkv"),
          {{"map", "0.0"}, {"map", "0.1:0.0"}, {"vcodec", "copy"}, {"acodec", "copy"}});
  ASSERT_EQ(Failure(), "");
  EXPECT_TRUE(Logged("  Stream #0.1 -> #0.1"));
  EXPECT_TRUE(Logged(" [sync #0.0]"));
}

std::string Tag(const std::string &file, const char *key) {
  AVFormatContext *context = nullptr;
  if (AVFormat.avformat_open_input(&context, file.c_str(), nullptr, nullptr) < 0)
    return "";
  const AVDictionaryEntry *entry = AVUtil.av_dict_get(context->metadata, key, nullptr, 0);
  std::string value = entry ? entry->value : "";
  AVFormat.avformat_close_input(&context);
  return value;
}

TEST_F(TranscodeTest, SettingsShapeTheOutput) {
  // An input offset moves every timestamp; a metadata map carries the input's tags over.
  Task.SetOption("itsoffset", "1");
  Convert(Media("clip2997.mp4"), Temp.File("shifted.mkv"),
          {{"vcodec", "copy"}, {"acodec", "copy"}, {"map_meta_data", "0:0"}, {"metadata", "album=Mine"}});
  ASSERT_EQ(Failure(), "");
  const auto shifted = ReadPackets(Temp.File("shifted.mkv"));
  ASSERT_EQ(shifted.size(), 2u);
  const auto source = ReadPackets(Media("clip2997.mp4"));
  EXPECT_NEAR(static_cast<double>(StreamOf(shifted, AVMEDIA_TYPE_AUDIO)->FirstDtsMs),
              static_cast<double>(StreamOf(source, AVMEDIA_TYPE_AUDIO)->FirstDtsMs) + 1000.0, 2.0);
  EXPECT_EQ(Tag(Temp.File("shifted.mkv"), "title"), Tag(Media("clip2997.mp4"), "title"));
  EXPECT_NE(Tag(Temp.File("shifted.mkv"), "title"), "");
  EXPECT_EQ(Tag(Temp.File("shifted.mkv"), "album"), "Mine") << "a tag set outright beats the source's";

  // Pass 1 writes the encoder's statistics under the given prefix, numbered by output stream.
  Task.Reset();
  Convert(Media("clip25.avi"), Temp.File("pass1.mkv"),
          {{"vcodec", "mpeg4"}, {"an", ""}, {"pass", "1"}, {"passlogfile", Temp.File("stats")}});
  ASSERT_EQ(Failure(), "");
  ASSERT_TRUE(std::filesystem::exists(Temp.File("stats-0.log")));
  EXPECT_GT(std::filesystem::file_size(Temp.File("stats-0.log")), 0u);

  // Pass 2 reads them back; without them it cannot start.
  Task.Reset();
  Convert(Media("clip25.avi"), Temp.File("pass2.mkv"),
          {{"vcodec", "mpeg4"}, {"an", ""}, {"pass", "2"}, {"passlogfile", Temp.File("stats")}});
  EXPECT_EQ(Failure(), "");
  Task.Reset();
  Convert(Media("clip25.avi"), Temp.File("nopass.mkv"),
          {{"vcodec", "mpeg4"}, {"an", ""}, {"pass", "2"}, {"passlogfile", Temp.File("none")}});
  EXPECT_EQ(Failure(), "Cannot read log file " + Temp.File("none") + "-0.log for pass-2 encoding");
}

TEST_F(TranscodeTest, CopiedVideoRefusesPreviews) {
  Convert(Media("clip25.avi"), Temp.File("preview.mkv"), {{"vcodec", "copy"}, {"acodec", "copy"}},
          [this] { Task.PreviewFlags = 1; });
  EXPECT_EQ(Failure(), "-vcodec copy and PostHooks are incompatible (frames are not decoded)");
}

TEST_F(TranscodeTest, DecodedStreamsReachTheirEncoders) {
  // Video and audio decoded and encoded again (MPEG-4 and MP2 at the input's size and rate):
  // every frame arrives, and the audio lasts as long as the input's.
  Convert(Media("clip25.avi"), Temp.File("encoded.mkv"), {{"vcodec", "mpeg4"}, {"acodec", "mp2"}});
  ASSERT_EQ(Failure(), "");
  EXPECT_TRUE(Task.Finished);
  const auto in = ReadPackets(Media("clip25.avi"));
  const auto out = ReadPackets(Temp.File("encoded.mkv"));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(StreamOf(out, AVMEDIA_TYPE_VIDEO)->Codec, AV_CODEC_ID_MPEG4);
  EXPECT_EQ(StreamOf(out, AVMEDIA_TYPE_VIDEO)->Packets.size(), StreamOf(in, AVMEDIA_TYPE_VIDEO)->Packets.size());
  const auto &audio = StreamOf(out, AVMEDIA_TYPE_AUDIO)->Packets;
  ASSERT_FALSE(audio.empty());
  EXPECT_NEAR(static_cast<double>(audio.back().DtsMs), 2000.0, 150.0);

  // A different sample format and rate go through the converter; a different size through the scaler.
  Task.Reset();
  Convert(Media("clip2997.mp4"), Temp.File("converted.mkv"),
          {{"vcodec", "mpeg4"}, {"s", "80x60"}, {"acodec", "pcm_s16le"}, {"ar", "8000"}});
  ASSERT_EQ(Failure(), "");
  const auto converted = ReadPackets(Temp.File("converted.mkv"));
  ASSERT_EQ(converted.size(), 2u);
  const auto source = ReadPackets(Media("clip2997.mp4"));
  EXPECT_EQ(StreamOf(converted, AVMEDIA_TYPE_VIDEO)->Packets.size(),
            StreamOf(source, AVMEDIA_TYPE_VIDEO)->Packets.size());
  size_t bytes = 0;
  for (const auto &packet : StreamOf(converted, AVMEDIA_TYPE_AUDIO)->Packets)
    bytes += static_cast<size_t>(packet.Size);
  EXPECT_NEAR(static_cast<double>(bytes), 2 * 8000 * 2, 2 * 8000 * 2 * 0.1); // 2 s of mono 16-bit samples
}

// The file's duration in milliseconds as the demuxer probes it, or -1 when it cannot be opened.
int64_t ProbedMs(const std::string &file) {
  AVFormatContext *context = nullptr;
  if (AVFormat.avformat_open_input(&context, file.c_str(), nullptr, nullptr) < 0)
    return -1;
  AVFormat.avformat_find_stream_info(context, nullptr);
  const int64_t ms = context->duration == AV_NOPTS_VALUE ? -1 : context->duration / 1000;
  AVFormat.avformat_close_input(&context);
  return ms;
}

TEST_F(TranscodeTest, EncodersOpenWithTheirOwnDefaults) {
  // libx264 refuses the generic codec defaults; with its own it opens in MP4 beside AAC and in
  // Matroska beside Vorbis (as the shipped H.264 profiles use them), and the whole clip arrives.
  const int64_t sourceMs = ProbedMs(Media("clip25.avi"));
  ASSERT_GT(sourceMs, 0);
  const auto source = ReadPackets(Media("clip25.avi"));
  const std::pair<const char *, AVCodecID> cases[] = {{"h264.mp4", AV_CODEC_ID_AAC},
                                                       {"h264.mkv", AV_CODEC_ID_VORBIS}};
  for (const auto &[name, audioCodec] : cases) {
    SCOPED_TRACE(name);
    Task.Reset();
    Convert(Media("clip25.avi"), Temp.File(name),
            {{"vcodec", "libx264"}, {"acodec", audioCodec == AV_CODEC_ID_AAC ? "aac" : "libvorbis"}, {"vb", "300000"}, {"ar", "44100"}, {"ac", "2"}});
    ASSERT_EQ(Failure(), "");
    const auto out = ReadPackets(Temp.File(name));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(StreamOf(out, AVMEDIA_TYPE_VIDEO)->Codec, AV_CODEC_ID_H264);
    // MP4 keeps a constant rate: the frames the source skips come back as duplicates.
    EXPECT_GE(StreamOf(out, AVMEDIA_TYPE_VIDEO)->Packets.size(), StreamOf(source, AVMEDIA_TYPE_VIDEO)->Packets.size());
    EXPECT_EQ(StreamOf(out, AVMEDIA_TYPE_AUDIO)->Codec, audioCodec);
    EXPECT_NEAR(static_cast<double>(ProbedMs(Temp.File(name))), static_cast<double>(sourceMs), 120.0);
  }
}

TEST_F(TranscodeTest, MpegVideoTakesTheNearestStandardRate) {
  // 15 fps is not an MPEG-1 rate (only an unofficial one): the source's rate becomes the nearest
  // standard rate, and the clip keeps its length.
  Convert(Media("clip15.mkv"), Temp.File("rate.mpg"), {{"vcodec", "mpeg1video"}});
  ASSERT_EQ(Failure(), "");
  AVFormatContext *context = nullptr;
  ASSERT_GE(AVFormat.avformat_open_input(&context, Temp.File("rate.mpg").c_str(), nullptr, nullptr), 0);
  AVFormat.avformat_find_stream_info(context, nullptr);
  const AVStream *video = nullptr;
  for (unsigned i = 0; i < context->nb_streams; ++i)
    if (context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
      video = context->streams[i];
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->codecpar->codec_id, AV_CODEC_ID_MPEG1VIDEO);
  EXPECT_EQ(av_cmp_q(video->r_frame_rate, AVRational{24000, 1001}), 0) << video->r_frame_rate.num << "/" << video->r_frame_rate.den;
  AVFormat.avformat_close_input(&context);
  EXPECT_NEAR(static_cast<double>(ProbedMs(Temp.File("rate.mpg"))), static_cast<double>(ProbedMs(Media("clip15.mkv"))),
              150.0);
}

// Frames and samples of one stream of a file: packets, and the end of the last one in ms.
struct TStreamTotals {
  size_t Packets = 0;
  int64_t EndMs = 0;
  bool operator==(const TStreamTotals &) const = default;
};

std::ostream &operator<<(std::ostream &out, const TStreamTotals &t) {
  return out << t.Packets << " packets ending at " << t.EndMs << " ms";
}

TStreamTotals Totals(const std::vector<TStreamPackets> &streams, AVMediaType type) {
  const TStreamPackets *stream = StreamOf(streams, type);
  if (!stream || stream->Packets.empty())
    return {};
  return {stream->Packets.size(), stream->Packets.back().DtsMs};
}

// An encoder's own options (constant quality) reach the encoder that has them: a finer crf gives a
// bigger picture stream.
TEST_F(TranscodeTest, EncoderPrivateOptionsReachTheirEncoder) {
  std::vector<int64_t> bytes;
  for (const char *crf : {"10", "45"}) {
    Task.Reset();
    const std::string output = Temp.File(std::string("crf") + crf + ".mp4");
    Convert(Media("clip25.avi"), output, {{"vcodec", "libx264"}, {"an", ""}, {"crf", crf}});
    ASSERT_EQ(Failure(), "") << crf;
    bytes.push_back(static_cast<int64_t>(std::filesystem::file_size(output)));
  }
  EXPECT_GT(bytes[0], 2 * bytes[1]);
}

TEST_F(TranscodeTest, CodecThreadsChangeNothingButTheSpeed) {
  // Frame-threaded decoders and encoders hold pictures back; draining at the end of the file must
  // give every one of them up, so one thread and every core write the same frames and samples.
  struct TCase {
    const char *Source, *Output;
    std::vector<std::pair<std::string, std::string>> Options;
  };
  const TCase cases[] = {
      {"bframes.mp4", "mkv", {{"vcodec", "mpeg4"}, {"acodec", "mp2"}}},
      {"bframes.mp4", "mp4", {{"vcodec", "libx264"}, {"acodec", "aac"}, {"s", "320x240"}}},
      {"clip25.avi", "avi", {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}, {"ar", "44100"}}},
      {"clip2997.mp4", "webm", {{"vcodec", "libvpx"}, {"acodec", "libvorbis"}}},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(std::string(c.Source) + " -> " + c.Output);
    const auto source = ReadPackets(Media(c.Source));
    std::vector<std::vector<TStreamPackets>> results;
    for (const char *threads : {"1", "0"}) {
      const std::string output = Temp.File(std::string("threads") + threads + "." + c.Output);
      Task.Reset();
      Task.SetOption("threads", threads);
      Convert(Media(c.Source), output, c.Options);
      ASSERT_EQ(Failure(), "") << threads;
      results.push_back(ReadPackets(output));
    }
    for (AVMediaType type : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO})
      EXPECT_EQ(Totals(results[1], type), Totals(results[0], type)) << AVUtil.av_get_media_type_string(type);
    // No picture of the source is lost on the way.
    EXPECT_GE(Totals(results[1], AVMEDIA_TYPE_VIDEO).Packets, Totals(source, AVMEDIA_TYPE_VIDEO).Packets);
  }
}

} // namespace

// Sources whose audio timestamps repeat (films in Matroska) and whose video runs on a fine clock
// (phones, MPEG-TS, Matroska): what the muxers get moves forward and keeps the pictures' rate.
TEST_F(TranscodeTest, CopiedTimestampsMoveForwardAndKeepTheFrameRate) {
  Convert(Media("surround.mkv"), Temp.File("surround.mp4"), {{"vcodec", "copy"}, {"acodec", "copy"}});
  ASSERT_EQ(Failure(), "");
  int corrections = 0;
  for (const auto &line : Logs)
    corrections += line.second.find("timestamps out of order") != std::string::npos ? 1 : 0;
  EXPECT_EQ(corrections, 1) << "logged for the first packet moved only";
  const auto copied = ReadPackets(Temp.File("surround.mp4"));
  const TStreamPackets *audio = StreamOf(copied, AVMEDIA_TYPE_AUDIO);
  ASSERT_NE(audio, nullptr);
  EXPECT_EQ(audio->Packets.size(), StreamOf(ReadPackets(Media("surround.mkv")), AVMEDIA_TYPE_AUDIO)->Packets.size());

  for (const auto &[source, seconds] : {std::pair{"phone.mp4", 1.0}, std::pair{"clip15.mkv", 2.0}}) {
    SCOPED_TRACE(source);
    Task.Reset();
    const std::string output = Temp.File(std::string(source) + ".avi");
    Convert(Media(source), output, {{"vcodec", "copy"}, {"an", ""}});
    ASSERT_EQ(Failure(), "");
    AVFormatContext *context = nullptr;
    ASSERT_GE(AVFormat.avformat_open_input(&context, output.c_str(), nullptr, nullptr), 0);
    AVFormat.avformat_find_stream_info(context, nullptr);
    // AVI counts time in frames: at the clock's rate, the copy would last a fraction of a second.
    EXPECT_LE(av_q2d(context->streams[0]->avg_frame_rate), 100);
    EXPECT_NEAR(static_cast<double>(context->duration) / AV_TIME_BASE, seconds, 0.15);
    AVFormat.avformat_close_input(&context);
  }
}

// A trim with stream copy cuts the copied audio and the encoded video at the same start.
TEST_F(TranscodeTest, CopyAndEncodeAfterAStartOffsetStayAligned) {
  Task.SetOption("ss", "0.5");
  Convert(Media("clip15.mkv"), Temp.File("aligned.mkv"), {{"acodec", "copy"}, {"vcodec", "mpeg4"}});
  ASSERT_EQ(Failure(), "");
  const auto out = ReadPackets(Temp.File("aligned.mkv"));
  const TStreamPackets *video = StreamOf(out, AVMEDIA_TYPE_VIDEO), *audio = StreamOf(out, AVMEDIA_TYPE_AUDIO);
  ASSERT_TRUE(video && audio);
  EXPECT_NEAR(static_cast<double>(audio->FirstDtsMs), static_cast<double>(video->FirstDtsMs), 80);
}
