// The playback machinery's own rules: packet queue accounting and shutdown, and the picture pacing
// against the audio clock.
#include <gtest/gtest.h>

#include <future>
#include <memory>

#include "media/AVCodecStubs.h"
#include "media/FFmpegLoader.h"
#include "player/PlayCore.h"

namespace {

class TPlayCoreTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(FFLoader.LoadLibraries(PlayerLibraries)) << FFLoader.LastError(); }

  static AVPacket *Packet(int size) {
    AVPacket *packet = AVCodecLib.av_packet_alloc();
    AVCodecLib.av_new_packet(packet, size);
    return packet;
  }
};

TEST_F(TPlayCoreTest, QueueChargesEachPacketItsNodeAndWakesOnAbort) {
  AVPacket *marker = AVCodecLib.av_packet_alloc();
  {
    TPacketQueue queue(marker);
    queue.Put(Packet(100));
    queue.Put(marker);
    queue.Put(Packet(200));
    EXPECT_EQ(queue.Count(), 3);
    EXPECT_EQ(queue.Size(), 300 + 3 * 72);
    AVPacket *got = nullptr;
    ASSERT_EQ(queue.Get(got, false), 1);
    EXPECT_EQ(got->size, 100);
    AVCodecLib.av_packet_free(&got);
    ASSERT_EQ(queue.Get(got, false), 1);
    EXPECT_TRUE(queue.IsFlushMarker(got));
    queue.Flush(); // frees the 200-byte packet, never the marker
    EXPECT_EQ(queue.Size(), 0);
    EXPECT_EQ(queue.Get(got, false), 0);
    // A decoder blocked on an empty queue is released by the abort.
    auto blocked = std::async(std::launch::async, [&] {
      AVPacket *none = nullptr;
      return queue.Get(none, true);
    });
    queue.Abort();
    EXPECT_EQ(blocked.get(), -1);
    queue.Put(Packet(10)); // left for the destructor
  }
  AVCodecLib.av_packet_free(&marker);
}

TEST_F(TPlayCoreTest, FramePacingFollowsTheAudioClock) {
  auto context = std::make_unique<PlayContext>(nullptr, nullptr);
  context->FrameLastDelay = 0.04;
  const auto step = [&](double pts) {
    const double before = context->FrameTimer;
    ComputeFrameDelay(context.get(), pts);
    return context->FrameTimer - before;
  };
  // Without sound: the pictures' own pace; implausible gaps reuse the last plausible one.
  EXPECT_NEAR(step(0.04), 0.04, 1e-9);
  EXPECT_NEAR(step(0.10), 0.06, 1e-9);
  EXPECT_NEAR(step(3.00), 0.06, 1e-9);  // 2.9 s gap
  EXPECT_NEAR(step(2.50), 0.06, 1e-9);  // backwards
  EXPECT_NEAR(step(2.54), 0.04, 1e-9);
  // With sound the picture catches up or waits; the device buffer counts as not yet heard.
  context->AudioStreamIndex = 0;
  context->AudioChannels = 2;
  context->AudioRate = 48000;
  context->AudioDeviceBufferBytes = 4 * 4800; // 0.1 s
  context->AudioClockValue = 2.58 + 0.1 + 0.2; // heard: 2.78, the picture 0.2 s behind
  EXPECT_NEAR(step(2.58), 0, 1e-9);
  context->AudioClockValue = 2.62 + 0.1 - 0.2; // the picture 0.2 s ahead
  EXPECT_NEAR(step(2.62), 0.08, 1e-9);
  context->AudioClockValue = 2.66 + 0.1 + 20; // 20 s apart: no correction
  EXPECT_NEAR(step(2.66), 0.04, 1e-9);
  context->AudioClockValue = 2.70 + 0.1 + 0.005; // within the threshold
  EXPECT_NEAR(step(2.70), 0.04, 1e-9);
}

} // namespace
