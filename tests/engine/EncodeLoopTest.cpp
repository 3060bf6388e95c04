// The one encode loop: at end of stream it drains whatever an encoder held back, video or audio.
#include "PathFixture.h"
#include "engine/encode/EncodeLoop.h"

namespace {

class EncodeLoopTest : public TPathTest {
protected:
  // Sends the frames, then the end of stream; the packets handed on before and after the end.
  static std::pair<int, int> Encode(AVCodecContext *enc, const std::vector<TFramePtr> &frames) {
    TPacketPtr packet = NewPacket();
    int before = 0, after = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
      frames[i]->pts = static_cast<int64_t>(i) * (enc->codec_type == AVMEDIA_TYPE_AUDIO ? enc->frame_size : 1);
      EncodeFrame(enc, frames[i].get(), *packet, "failed", [&](AVPacket &) { ++before; });
    }
    EncodeFrame(enc, nullptr, *packet, "failed", [&](AVPacket &) { ++after; });
    // Nothing is left in the encoder.
    EXPECT_EQ(AVCodecLib.avcodec_receive_packet(enc, packet.get()), AVERROR_EOF);
    return {before, after};
  }
};

TEST_F(EncodeLoopTest, EndOfStreamDrainsEveryEncoder) {
  const AVCodec *codec = AVCodecLib.avcodec_find_encoder_by_name("mpeg4");
  ASSERT_NE(codec, nullptr);
  TCodecContextPtr video(AVCodecLib.avcodec_alloc_context3(codec));
  video->width = 64;
  video->height = 48;
  video->pix_fmt = AV_PIX_FMT_YUV420P;
  video->time_base = AVRational{1, 25};
  video->max_b_frames = 2; // holds pictures back
  video->thread_count = 1;
  ASSERT_EQ(AVCodecLib.avcodec_open2(video.get(), codec, nullptr), 0);
  std::vector<TFramePtr> pictures;
  for (int i = 0; i < 10; ++i)
    pictures.push_back(Picture(64, 48, [i](int x, int y) { return static_cast<uint8_t>(x * 3 + y + i * 7); }));
  const auto [videoBefore, videoAfter] = Encode(video.get(), pictures);
  EXPECT_GT(videoAfter, 0);
  EXPECT_EQ(videoBefore + videoAfter, 10);

  TCodecContextPtr audio = AudioEncoder("aac", 48000, 2);
  std::vector<TFramePtr> blocks;
  for (int i = 0; i < 4; ++i)
    blocks.push_back(AudioFrame<float>(audio->sample_fmt, 48000, 2, audio->frame_size,
                                       [](int s, int c) { return static_cast<float>((s + c) % 50) / 100.0f; }));
  const auto [audioBefore, audioAfter] = Encode(audio.get(), blocks);
  EXPECT_GT(audioAfter, 0);
  EXPECT_GE(audioBefore + audioAfter, 4);
}

} // namespace
