// The video output path: frame-rate sync, frame limit, crop, scale and pad; burned subtitles.
#include <cstring>

#include "PathFixture.h"
#include "engine/FFmpegException.h"
#include "engine/filter/SubtitleOverlay.h"
#include "engine/filter/VideoFilters.h"
#include "engine/filter/VideoOut.h"
#include "media/AVFilterStubs.h"

namespace {

class VideoPathTest : public TPathTest {
protected:
  // A path into enc; raw-video packets are kept whole so their pictures can be inspected.
  std::unique_ptr<TVideoOut> Path(AVCodecContext *enc, bool variableFps = false) {
    Stream.index = 0;
    Stream.time_base = enc->time_base;
    auto path = std::make_unique<TVideoOut>(
        enc, &Stream, S, variableFps, [this](int level, const std::string &text) { Out.Logs.emplace_back(level, text); },
        [this](AVPacket &packet) {
          Out.Packets.emplace_back(packet.size, packet.pts);
          Last.assign(packet.data, packet.data + packet.size);
        },
        Out.Bytes);
    return path;
  }

  // Frames of a 25 fps input, n of them, each at its own time.
  int Feed(TVideoOut &path, int n, int width = 160, int height = 120) {
    auto picture = Picture(width, height, [](int x, int y) { return (x + y) & 0xff; });
    int written = 0;
    for (int i = 0; i < n; ++i)
      written += path.Out(*picture, i * 40000LL, 0) > 0;
    return written;
  }

  TTaskSettings S;
  AVStream Stream{};
  TCollector Out;
  std::vector<uint8_t> Last; // the last packet's bytes
};

TEST_F(VideoPathTest, ConstantRateDropsAndDuplicates) {
  S.VideoSyncMethod = 1;
  auto half = VideoEncoder("rawvideo", 160, 120, AVRational{2, 25});
  auto slow = Path(half.get());
  Feed(*slow, 50);
  EXPECT_NEAR(slow->DropFrames, 25, 1);
  EXPECT_EQ(slow->DupFrames, 0);
  EXPECT_EQ(slow->FrameCount, 50 - slow->DropFrames);

  Out = {};
  auto twice = VideoEncoder("rawvideo", 160, 120, AVRational{1, 50});
  auto fast = Path(twice.get());
  Feed(*fast, 20);
  EXPECT_EQ(fast->DropFrames, 0);
  EXPECT_EQ(fast->DupFrames, 18); // every frame after the first two is written twice
  EXPECT_EQ(fast->FrameCount, 38);
  EXPECT_EQ(Out.Packets.size(), 38u);
  EXPECT_EQ(Out.Packets.back().second, 37);
}

TEST_F(VideoPathTest, AClockJumpBeyondTheThresholdIsNeitherFilledNorDropped) {
  // The first pictures of a damaged file can stand an hour away from the clock's start, where no
  // earlier frame tells the input side of the jump.
  S.VideoSyncMethod = 1;
  auto enc = VideoEncoder("rawvideo", 160, 120, AVRational{1, 25});
  auto path = Path(enc.get());
  auto picture = Picture(160, 120, [](int x, int y) { return (x ^ y) & 0xff; });
  for (const int64_t start : {3600000000LL, 0LL, 7200000000LL})
    for (int i = 0; i < 5; ++i)
      path->Out(*picture, start + i * 40000LL, 0);
  EXPECT_EQ(path->DupFrames, 0);
  EXPECT_EQ(path->DropFrames, 0);
  ASSERT_EQ(Out.Packets.size(), 15u);
  EXPECT_EQ(Out.Packets.back().second, 14); // the output runs on without a gap
  EXPECT_TRUE(Out.Logged("timestamp discontinuity "));

  // A gap within the threshold is still kept in step by copies.
  Out = {};
  auto steady = Path(enc.get());
  steady->Out(*picture, 0, 0);
  steady->Out(*picture, 2000000, 0);
  EXPECT_EQ(steady->DupFrames, 48);
}

TEST_F(VideoPathTest, WithoutSyncTheClockSetsThePosition) {
  S.VideoSyncMethod = 0;
  auto enc = VideoEncoder("rawvideo", 160, 120, AVRational{1, 50});
  auto path = Path(enc.get());
  Feed(*path, 10);
  EXPECT_EQ(path->DropFrames + path->DupFrames, 0);
  EXPECT_EQ(path->FrameCount, 10);
  EXPECT_EQ(Out.Packets.back().second, 18); // 0.36 s at 1/50

  // Automatic sync leaves fine time bases alone as well.
  S.VideoSyncMethod = -1;
  Out = {};
  auto fine = VideoEncoder("rawvideo", 160, 120, AVRational{1, 2000});
  auto automatic = Path(fine.get());
  Feed(*automatic, 10);
  EXPECT_EQ(automatic->DupFrames, 0);
  EXPECT_EQ(Out.Packets.back().second, 720);
}

TEST_F(VideoPathTest, FrameLimitCutsADuplication) {
  S.VideoSyncMethod = 1;
  S.MaxVideoFrames = 10;
  auto enc = VideoEncoder("rawvideo", 160, 120, AVRational{1, 25});
  auto path = Path(enc.get());
  auto picture = Picture(160, 120, [](int, int) { return 50; });
  for (int i = 0; i < 8; ++i)
    path->Out(*picture, i * 40000LL, 0);
  path->Out(*picture, 11 * 40000LL, 0); // three copies due, two allowed
  EXPECT_EQ(path->DupFrames, 2);
  EXPECT_EQ(path->FrameCount, 10);
  EXPECT_EQ(Out.Packets.size(), 10u);
  EXPECT_EQ(path->Out(*picture, 12 * 40000LL, 0), 0);
  EXPECT_EQ(path->FrameCount, 10);
}

TEST_F(VideoPathTest, CropScaleAndPadGiveTheEncoderSizeAndPadColour) {
  S.VideoSyncMethod = 0;
  S.FrameTopBand = 20;
  S.FrameBottomBand = 20; // 160 x 80 of picture left
  S.FramePadTop = 16;
  S.FramePadBottom = 16;
  S.PadColor = {200, 60, 90};
  auto enc = VideoEncoder("rawvideo", 320, 192, AVRational{1, 25});
  auto path = Path(enc.get());
  // The cropped rows are dark, the kept rows bright.
  auto picture = Picture(160, 120, [](int, int y) { return y < 20 || y >= 100 ? 16 : 235; });
  path->Out(*picture, 0, 0);
  ASSERT_EQ(Last.size(), 320u * 192 * 3 / 2);
  const uint8_t *luma = Last.data(), *u = luma + 320 * 192, *v = u + 160 * 96;
  EXPECT_EQ(luma[0], 200);                  // pad colour above
  EXPECT_EQ(luma[191 * 320 + 319], 200);    // and below
  EXPECT_EQ(u[0], 60);
  EXPECT_EQ(v[95 * 160], 90);
  EXPECT_NEAR(luma[16 * 320 + 5], 235, 3);  // the scaled picture starts right under the band
  EXPECT_NEAR(luma[175 * 320 + 300], 235, 3);

  // Without scaling the picture is copied into the padded frame.
  S.FrameTopBand = S.FrameBottomBand = 0;
  S.FramePadTop = S.FramePadBottom = 0;
  S.FramePadLeft = S.FramePadRight = 8;
  auto same = VideoEncoder("rawvideo", 176, 120, AVRational{1, 25});
  auto padded = Path(same.get());
  padded->Out(*picture, 0, 0);
  ASSERT_EQ(Last.size(), 176u * 120 * 3 / 2);
  EXPECT_EQ(Last[50 * 176 + 3], 200);
  EXPECT_EQ(Last[50 * 176 + 8], 235);
  EXPECT_EQ(Last[50 * 176 + 170], 200);
  EXPECT_EQ(Last[10 * 176 + 100], 16);
}

TEST_F(VideoPathTest, ChangedInputSizeIsScaledNotOverrun) {
  S.VideoSyncMethod = 0;
  auto enc = VideoEncoder("rawvideo", 160, 120, AVRational{1, 25});
  auto path = Path(enc.get());
  path->Setup(160, 120, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(Feed(*path, 2, 64, 48), 2);
  EXPECT_EQ(Last.size(), 160u * 120 * 3 / 2);
  EXPECT_EQ(Feed(*path, 2, 160, 120), 2);
}

TEST_F(VideoPathTest, ImpossibleScalingIsRefusedAtSetup) {
  S.FrameLeftBand = 100;
  S.FrameRightBand = 100;
  auto enc = VideoEncoder("rawvideo", 160, 120, AVRational{1, 25});
  auto path = Path(enc.get());
  try {
    path->Setup(160, 120, AV_PIX_FMT_YUV420P);
    FAIL();
  } catch (const FFmpegException &e) {
    EXPECT_STREQ(e.what(), "Cannot get resampling context");
  }
}

} // namespace

namespace {

class VideoFilterTest : public TPathTest {
protected:
  TTaskSettings S;
  TVideoFilter Filter;
  std::string Error;
};

TEST_F(VideoFilterTest, DescriptionRunsIntoTheEncoderFormat) {
  S.VFilters = "hflip,scale=80:60";
  auto enc = VideoEncoder("rawvideo", 160, 120, AVRational{1, 25});
  ASSERT_EQ(ConfigureFilters(Filter, 160, 120, AV_PIX_FMT_YUV420P, AVRational{1, 1}, "", enc.get(), S, Error), 0);
  EXPECT_EQ(enc->width, 80);
  EXPECT_EQ(enc->height, 60);
  auto picture = Picture(160, 120, [](int x, int) { return x < 80 ? 16 : 235; });
  TFramePtr held = NewFrame();
  int64_t pts = 0;
  EXPECT_EQ(TakeFilteredPicture(Filter, *held, pts), -1); // nothing yet
  ASSERT_TRUE(AddFilterPicture(Filter, *picture, 40000));
  ASSERT_EQ(TakeFilteredPicture(Filter, *held, pts), 1);
  EXPECT_EQ(pts, 40000);
  EXPECT_EQ(held->width, 80);
  EXPECT_EQ(held->format, AV_PIX_FMT_YUV420P);
  EXPECT_GT(held->data[0][30 * held->linesize[0] + 5], 200); // flipped: bright on the left
  EXPECT_LT(held->data[0][30 * held->linesize[0] + 75], 40);

  // Without a description the graph only scales to the encoder's size, less the pads.
  S.VFilters.clear();
  S.FramePadTop = S.FramePadBottom = 10;
  S.FrameWidth = 100; // the picture's size; the pads come on top of it
  S.FrameHeight = 60;
  auto padded = VideoEncoder("rawvideo", 100, 80, AVRational{1, 25});
  padded->pix_fmt = AV_PIX_FMT_GRAY8;
  ASSERT_EQ(ConfigureFilters(Filter, 160, 120, AV_PIX_FMT_YUV420P, AVRational{0, 1}, "", padded.get(), S, Error), 0);
  EXPECT_EQ(AVFilterLib.av_buffersink_get_w(Filter.FilterOut), 100);
  EXPECT_EQ(AVFilterLib.av_buffersink_get_h(Filter.FilterOut), 60);
  EXPECT_EQ(AVFilterLib.av_buffersink_get_format(Filter.FilterOut), AV_PIX_FMT_GRAY8);
}

TEST_F(VideoFilterTest, RefusedCombinations) {
  auto enc = VideoEncoder("rawvideo", 160, 120, AVRational{1, 25});
  S.VFilters = "hflip";
  S.FrameTopBand = 8;
  EXPECT_EQ(ConfigureFilters(Filter, 160, 120, AV_PIX_FMT_YUV420P, AVRational{1, 1}, "", enc.get(), S, Error), -1);
  EXPECT_EQ(Error, "Cannot enable crop options and filters at the same time.");

  S.FrameTopBand = 0;
  S.FramePadLeft = 8;
  S.VFilters = "scale=64:48";
  Error.clear();
  EXPECT_EQ(ConfigureFilters(Filter, 160, 120, AV_PIX_FMT_YUV420P, AVRational{1, 1}, "", enc.get(), S, Error), -1);
  EXPECT_EQ(Error.rfind("Cannot enable pad options and the filters which resize frame", 0), 0u);

  S.FramePadLeft = 0;
  S.VFilters = "nosuchfilter";
  Error.clear();
  EXPECT_EQ(ConfigureFilters(Filter, 160, 120, AV_PIX_FMT_YUV420P, AVRational{1, 1}, "", enc.get(), S, Error), -1);
  EXPECT_EQ(Error, "");
}

} // namespace

namespace {

// A line of one square bitmap in one colour (0xAARRGGBB), shown from pts for endMs (0: no end).
struct TSquareLine {
  TSquareLine(int x, int y, int side, uint32_t colour, uint32_t endMs) : Pixels(side * side, 1) {
    Palette[1] = colour;
    Rect.x = x;
    Rect.y = y;
    Rect.w = Rect.h = Rect.linesize[0] = side;
    Rect.nb_colors = 2;
    Rect.data[0] = Pixels.data();
    Rect.data[1] = reinterpret_cast<uint8_t *>(Palette);
    Rect.type = SUBTITLE_BITMAP;
    Sub.num_rects = 1;
    Sub.rects = Rects;
    Sub.end_display_time = endMs;
  }
  std::vector<uint8_t> Pixels;
  uint32_t Palette[256] = {};
  AVSubtitleRect Rect{};
  AVSubtitleRect *Rects[1] = {&Rect};
  AVSubtitle Sub{};
};

class SubtitleOverlayTest : public TPathTest {
protected:
  // The luma at (x, y) after drawing at pts onto a flat grey picture.
  int LumaAt(int64_t pts, int x, int y) {
    auto picture = Picture(160, 120, [](int, int) { return 100; });
    Overlay.Draw(*picture, pts);
    return picture->data[0][y * picture->linesize[0] + x];
  }
  TSubtitleOverlay Overlay;
};

// Each line shows from its start to its end (the decoder's, else the packet's, else until the next
// line), clipped to the picture; broken rects and lines before their time leave it alone.
TEST_F(SubtitleOverlayTest, LinesShowInTheirTimeInsideThePicture) {
  TSquareLine white(150, 110, 20, 0xFFFFFFFF, 500);
  Overlay.Add(white.Sub, 1000000, 0, 0, 0);
  EXPECT_EQ(LumaAt(900000, 155, 115), 100);
  EXPECT_EQ(LumaAt(1200000, 155, 115), 235);
  EXPECT_EQ(LumaAt(1200000, 100, 100), 100);
  EXPECT_EQ(LumaAt(1600000, 155, 115), 100);

  TSquareLine half(0, 0, 8, 0x80000000, 0), broken(0, 0, 8, 0xFFFFFFFF, 0);
  broken.Rect.nb_colors = 0;
  Overlay.Add(half.Sub, 2000000, 1000000, 160, 120);
  Overlay.Add(broken.Sub, 4000000, 0, 0, 0);
  const int halfBlack = LumaAt(2500000, 4, 4);
  EXPECT_GT(halfBlack, 16);
  EXPECT_LT(halfBlack, 100);
  EXPECT_EQ(LumaAt(3100000, 4, 4), 100); // the packet's end
  TSquareLine open(0, 0, 8, 0xFFFFFFFF, 0), clear(0, 0, 8, 0xFFFFFFFF, 0);
  clear.Sub.num_rects = 0;
  Overlay.Add(open.Sub, 5000000, 0, 0, 0);
  Overlay.Add(clear.Sub, 6000000, 0, 0, 0);
  EXPECT_EQ(LumaAt(5900000, 4, 4), 235);
  EXPECT_EQ(LumaAt(6000000, 4, 4), 100);
  // Bitmaps made for a bigger canvas (a film scaled down before its subtitles were kept) shrink with it.
  TSquareLine big(200, 200, 40, 0xFFFFFFFF, 0);
  Overlay.Add(big.Sub, 6500000, 0, 320, 240);
  EXPECT_EQ(LumaAt(6500000, 105, 105), 235);
  EXPECT_EQ(LumaAt(6500000, 99, 105), 100);
  EXPECT_EQ(LumaAt(6500000, 120, 105), 100);

  // Deeper samples take the colour at their depth; pictures without planar YUV are refused.
  Overlay.Add(open.Sub, 7000000, 0, 0, 0);
  TFramePtr deep = NewFrame(), rgb = NewFrame();
  for (auto [frame, format] : {std::pair{deep.get(), AV_PIX_FMT_YUV420P10LE}, {rgb.get(), AV_PIX_FMT_RGB24}}) {
    frame->format = format;
    frame->width = 16;
    frame->height = 16;
    ASSERT_EQ(AVUtil.av_frame_get_buffer(frame, 0), 0);
  }
  std::memset(deep->data[0], 0, static_cast<size_t>(deep->linesize[0]) * 16);
  Overlay.Draw(*deep, 7000000);
  EXPECT_EQ(reinterpret_cast<const uint16_t *>(deep->data[0])[0], 940);
  EXPECT_THROW(Overlay.Draw(*rgb, 7000000), FFmpegException);
}

} // namespace
