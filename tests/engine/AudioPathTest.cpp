// The audio output path: clock correction, conversion, FIFO framing and the volume rule.
#include <cmath>

#include "PathFixture.h"
#include "engine/FFmpegException.h"
#include "engine/filter/AudioOut.h"

namespace {

class AudioPathTest : public TPathTest {
protected:
  // A path into enc whose packets and log lines land in Out.
  std::unique_ptr<TAudioOut> Path(AVCodecContext *enc, TAudioOutSettings settings = {}) {
    Stream.index = 1;
    Stream.time_base = enc->time_base;
    return std::make_unique<TAudioOut>(
        enc, &Stream, settings, [this](int level, const std::string &text) { Out.Logs.emplace_back(level, text); },
        [this](AVPacket &packet) {
          EXPECT_EQ(packet.stream_index, 1);
          Out.Packets.emplace_back(packet.size, packet.pts);
        },
        Out.Bytes);
  }

  static TFramePtr Tone(int rate, int channels, int samples, AVSampleFormat format = AV_SAMPLE_FMT_S16) {
    return AudioFrame<int16_t>(format, rate, channels, samples, [rate](int s, int) {
      return static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * s / rate));
    });
  }

  int64_t PcmSamples(int channels) const { return Out.Bytes / (2 * channels); }

  AVStream Stream{};
  TCollector Out;
};

TEST_F(AudioPathTest, StereoAt44100BecomesMonoAt22050) {
  auto enc = AudioEncoder("pcm_s16le", 22050, 1);
  auto path = Path(enc.get());
  bool atStart = true;
  // Planar float input, as most decoders give it: converted, resampled and downmixed in one step.
  for (int i = 0; i < 10; ++i) {
    auto frame = AudioFrame<float>(AV_SAMPLE_FMT_FLTP, 44100, 2, 4410, [](int, int) { return 0.25f; });
    path->Out(*frame, i * 100000, atStart);
  }
  path->Flush();
  EXPECT_TRUE(path->AudioResample);
  EXPECT_NEAR(PcmSamples(1), 22050, 30);
  EXPECT_EQ(Out.Packets.size(), 11u); // one per block, and the resampler's tail
}

TEST_F(AudioPathTest, LateAudioIsPrecededByCappedSilence) {
  auto enc = AudioEncoder("pcm_s16le", 44100, 2);
  auto path = Path(enc.get(), {.Async = 1, .Verbose = 3});
  bool atStart = true;
  auto frame = Tone(44100, 2, 1024);
  path->Out(*frame, 2000000, atStart); // audio starts 2 s into the clock
  ASSERT_EQ(Out.Packets.size(), 1u);
  EXPECT_EQ(Out.Packets[0].first, 131072); // silence + block capped at 131072 bytes
  EXPECT_TRUE(atStart);                    // cut short: the rest follows with the next blocks
  EXPECT_TRUE(Out.Logged("adding 88200 audio samples of silence"));

  int64_t pts = 2000000;
  for (int i = 0; i < 10 && atStart; ++i)
    path->Out(*frame, pts += 1024 * 1000000LL / 44100, atStart);
  EXPECT_FALSE(atStart);
  // Once caught up, the output stands where the input clock says.
  EXPECT_NEAR(static_cast<double>(path->SyncPosition), pts * 44100.0 / 1000000 + 1024, 2);
}

TEST_F(AudioPathTest, AClockJumpBeyondTheThresholdIsNeitherFilledNorDropped) {
  for (const int async : {0, 1}) {
    SCOPED_TRACE(async);
    Out = {};
    auto enc = AudioEncoder("pcm_s16le", 44100, 2);
    auto path = Path(enc.get(), {.Async = async, .Verbose = 0});
    bool atStart = false;
    auto frame = Tone(44100, 2, 1024);
    int64_t pts = 0;
    for (const int64_t jump : {0LL, 3600000000LL, -1800000000LL})
      for (int i = 0; i < 4; ++i, pts += 1024 * 1000000LL / 44100)
        path->Out(*frame, pts + jump, atStart);
    EXPECT_EQ(PcmSamples(2), 12 * 1024); // no silence, nothing discarded
    EXPECT_EQ(path->SyncPosition, 12 * 1024);
    EXPECT_TRUE(Out.Logged("timestamp discontinuity "));
  }
}

TEST_F(AudioPathTest, AudioAheadOfTheClockIsDiscarded) {
  auto enc = AudioEncoder("pcm_s16le", 44100, 2);
  auto path = Path(enc.get(), {.Async = 1, .Verbose = 3});
  bool atStart = true;
  auto frame = Tone(44100, 2, 1024);
  // At the start even a small lead is corrected: 500 samples of the first block go.
  path->SyncPosition = 500;
  path->Out(*frame, 0, atStart);
  EXPECT_EQ(PcmSamples(2), 524);
  EXPECT_FALSE(atStart);
  EXPECT_TRUE(Out.Logged("discarding 500 audio samples"));

  // Later, a lead beyond the threshold (0.1 s) swallows whole blocks without output.
  const size_t written = Out.Packets.size();
  path->SyncPosition = 44100 + 1024;
  path->Out(*frame, 0, atStart);
  EXPECT_EQ(Out.Packets.size(), written);
  // Within the threshold and with async 1 nothing is corrected.
  path->SyncPosition = 200;
  path->Out(*frame, 0, atStart);
  EXPECT_EQ(PcmSamples(2), 524 + 1024);
}

TEST_F(AudioPathTest, SmallDriftIsCompensatedWithoutDropping) {
  auto enc = AudioEncoder("pcm_s16le", 44100, 2);
  auto path = Path(enc.get(), {.Async = 100, .Verbose = 3});
  bool atStart = false;
  int64_t pts = 0;
  // The input clock runs 300 samples ahead: more than 50, less than the threshold.
  for (int i = 0; i < 20; ++i) {
    auto frame = Tone(44100, 2, 1024);
    path->Out(*frame, pts + 300 * 1000000LL / 44100, atStart);
    pts += 1024 * 1000000LL / 44100;
  }
  EXPECT_TRUE(path->AudioResample);
  EXPECT_TRUE(Out.Logged("compensating audio timestamp drift:"));
  EXPECT_FALSE(Out.Logged("discarding"));
  EXPECT_FALSE(Out.Logged("adding"));
  bool bounded = false;
  for (const auto &line : Out.Logs)
    bounded |= line.second.find("compensation:100 in:44100") != std::string::npos;
  EXPECT_TRUE(bounded);
  // Stretching adds samples, at most 100 per correction, never a whole block.
  path->Flush();
  EXPECT_GT(PcmSamples(2), 20 * 1024);
  EXPECT_LT(PcmSamples(2), 20 * 1024 + 20 * 100 + 64);
}

TEST_F(AudioPathTest, WithoutAsyncTheClockOnlyMovesThePosition) {
  auto enc = AudioEncoder("pcm_s16le", 44100, 2);
  auto path = Path(enc.get());
  bool atStart = true;
  auto frame = Tone(44100, 2, 1024);
  path->Out(*frame, 0, atStart);
  path->Out(*frame, 5000000, atStart); // a jump of 5 s
  EXPECT_EQ(PcmSamples(2), 2048);
  EXPECT_EQ(path->SyncPosition, 5 * 44100 + 1024);
  EXPECT_TRUE(atStart);
  ASSERT_EQ(Out.Packets.size(), 2u);
  EXPECT_EQ(Out.Packets[1].second, 5 * 44100); // pts follows the position
}

TEST_F(AudioPathTest, FrameCodecsKeepTheRemainderUntilTheFlush) {
  auto enc = AudioEncoder("mp2", 44100, 2);
  ASSERT_EQ(enc->frame_size, 1152);
  auto path = Path(enc.get());
  bool atStart = true;
  auto frame = Tone(44100, 2, 1000);
  path->Out(*frame, 0, atStart);
  EXPECT_TRUE(Out.Packets.empty());
  EXPECT_EQ(path->SyncPosition, 0);
  path->Out(*frame, 1000 * 1000000LL / 44100 + 1, atStart);
  EXPECT_EQ(path->SyncPosition, 1152);
  path->Flush();
  EXPECT_EQ(path->SyncPosition, 2000);
  EXPECT_EQ(Out.Packets.size(), 2u);
  EXPECT_EQ(Out.Bytes, Out.Packets[0].first + Out.Packets[1].first);
  // A flushed path takes nothing more.
  path->Out(*frame, 0, atStart);
  EXPECT_EQ(Out.Packets.size(), 2u);
}

TEST_F(AudioPathTest, VolumeScalesAndClips) {
  auto s16 = AudioFrame<int16_t>(AV_SAMPLE_FMT_S16, 44100, 2, 2, [](int s, int c) {
    return static_cast<int16_t>(s == 0 ? (c == 0 ? 20000 : -20000) : 101);
  });
  ApplyVolume(*s16, 512);
  const auto *v = reinterpret_cast<const int16_t *>(s16->data[0]);
  EXPECT_EQ(v[0], 32767);
  EXPECT_EQ(v[1], -32768);
  EXPECT_EQ(v[2], 202);
  ApplyVolume(*s16, 256);
  EXPECT_EQ(v[2], 202);
  ApplyVolume(*s16, 128); // (202 x 128 + 128) >> 8
  EXPECT_EQ(v[2], 101);

  auto fltp = AudioFrame<float>(AV_SAMPLE_FMT_FLTP, 44100, 2, 1, [](int, int c) { return c ? -0.75f : 0.25f; });
  ApplyVolume(*fltp, 512);
  EXPECT_FLOAT_EQ(reinterpret_cast<float *>(fltp->extended_data[0])[0], 0.5f);
  EXPECT_FLOAT_EQ(reinterpret_cast<float *>(fltp->extended_data[1])[0], -1.0f);
}

} // namespace
