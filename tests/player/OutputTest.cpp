// What the host receives: picture placement, the waveform, current-frame pictures and their colours.
#include "PlayerFixture.h"

#include <SDL2/SDL_rect.h>

#include "player/PlayCore.h"

namespace {

struct TRgb {
  int R, G, B;
};
TRgb FromHost(uint32_t pixel) {
  return {static_cast<int>(pixel >> 16 & 0xFF), static_cast<int>(pixel >> 8 & 0xFF), static_cast<int>(pixel & 0xFF)};
}
TRgb FromBitmap(const TBitmap &bitmap, int x, int y) {
  const uint8_t *p = bitmap.ScanLine(y) + 3 * x; // BGR
  return {p[2], p[1], p[0]};
}
void ExpectRed(const TRgb &c, const char *where) {
  EXPECT_GE(c.R, 235) << where;
  EXPECT_LE(c.G, 20) << where;
  EXPECT_LE(c.B, 20) << where;
}

TEST(PictureRectTest, FitsTheAspectInsideTheArea) {
  const SDL_Rect wide = PictureRect(400, 300, 16.0f / 9.0f);
  EXPECT_EQ(wide.x, 0);
  EXPECT_EQ(wide.y, 38);
  EXPECT_EQ(wide.w, 400);
  EXPECT_EQ(wide.h, 224);
  const SDL_Rect standard = PictureRect(400, 300, 4.0f / 3.0f);
  EXPECT_EQ(standard.w, 400);
  EXPECT_EQ(standard.h, 300);
  const SDL_Rect tall = PictureRect(400, 300, 1.0f); // pillar box, even width
  EXPECT_EQ(tall.w, 300);
  EXPECT_EQ(tall.x, 50);
}

TEST_F(TPlayerTest, ScreenSizeFromTheOpenHandlerAndFromResizes) {
  Player.OnFileOpen = [](TCustomPlayer *, int64_t, int, int, int &screenWidth, int &screenHeight) {
    screenWidth = 400;
    screenHeight = 300;
  };
  ASSERT_TRUE(Player.Open(Media("anamorphic.mp4"), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return Host.PictureCount() > 0; }));
  THeadlessVideoHost::TPicture picture = Host.LastPicture();
  ASSERT_EQ(picture.Width, 400);
  ASSERT_EQ(picture.Height, 300);
  // 720 × 576 at 16:11 is wider than 4:3: black bars above and below, picture across the width.
  EXPECT_EQ(picture.Pixel(200, 2), 0u);
  EXPECT_NE(picture.Pixel(200, 150), 0u);
  Host.NotifyResized(320, 200);
  ASSERT_TRUE(PumpUntil([&] { return Host.LastPicture().Width == 320; }));
  EXPECT_EQ(Player.ScreenWidth(), 320);
  EXPECT_EQ(Player.ScreenHeight(), 200);
}

TEST_F(TPlayerTest, AudioWithoutPicturesDrawsTheWaveform) {
  struct TCase {
    const char *Name;
    bool DisableVideo;
    bool FullLineInTheMiddle; // the line between two bands
  };
  for (const TCase &c : {TCase{"tone.wav", false, false}, TCase{"stereo.m4a", false, true},
                         TCase{"clip25.avi", true, false}}) {
    SCOPED_TRACE(c.Name);
    Player.SetDisableVideo(c.DisableVideo);
    Host.OnPicture = nullptr;
    ASSERT_TRUE(Player.Open(Media(c.Name), &Host)) << Player.LastError();
    const int before = Host.PictureCount();
    ASSERT_TRUE(PumpUntil([&] { return Host.PictureCount() > before + 5; }));
    {
      std::lock_guard guard(Lock);
      EXPECT_EQ(FrameWidth, -1);
      EXPECT_EQ(FrameHeight, -1);
    }
    const THeadlessVideoHost::TPicture picture = Host.LastPicture();
    ASSERT_EQ(picture.Width, 640);
    ASSERT_EQ(picture.Height, 480);
    int whiteInMiddleRow = 0;
    for (int x = 0; x < picture.Width; ++x)
      whiteInMiddleRow += picture.Pixel(x, 240) == 0xFFFFFF;
    if (c.FullLineInTheMiddle)
      EXPECT_EQ(whiteInMiddleRow, 640);
    else
      EXPECT_LT(whiteInMiddleRow, 640);
    EXPECT_GT(whiteInMiddleRow, 0); // the trace crosses the middle of a single band
    Player.Stop(true);
  }
  // Nothing drawn when the display is off.
  Player.SetDisableVideo(false);
  Player.SetDisableDisplay(true);
  const int before = Host.PictureCount();
  ASSERT_TRUE(Player.Open(Media("tone.wav"), &Host));
  ASSERT_TRUE(PumpUntil([&] { return Reported(psEnd); }));
  EXPECT_EQ(Host.PictureCount(), before);
  EXPECT_TRUE(Player.DisableVideo());
}

TEST_F(TPlayerTest, CurrentFrameHasTheDecodedSizeAndColours) {
  TBitmap *none = Player.GetCurrentFrame();
  EXPECT_EQ(none->Width(), 0);
  EXPECT_EQ(none->Height(), 0);
  // SD pictures are BT.601, HD pictures BT.709: both show red, in the host and in the bitmap.
  for (const auto &[name, width, height] : {std::tuple{"redsd.mp4", 320, 240}, std::tuple{"redhd.mp4", 1280, 720}}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(Player.Open(Media(name), &Host)) << Player.LastError();
    const int before = Host.PictureCount();
    ASSERT_TRUE(PumpUntil([&] { return Host.PictureCount() > before; }));
    const TBitmap *frame = Player.GetCurrentFrame();
    ASSERT_EQ(frame->Width(), width);
    ASSERT_EQ(frame->Height(), height);
    ExpectRed(FromBitmap(*frame, width / 2, height / 2), "bitmap");
    const THeadlessVideoHost::TPicture picture = Host.LastPicture();
    ExpectRed(FromHost(picture.Pixel(picture.Width / 2, picture.Height / 2)), "host");
    Player.Stop(true);
  }
  EXPECT_EQ(Player.GetCurrentFrame()->Width(), 0);
}

TEST_F(TPlayerTest, HookSeesEveryPictureAndChangesWhatIsShown) {
  int hooked = 0;
  Player.SetHook(true);
  Player.OnHook = [&](TCustomPlayer *, TBitmap *bitmap, int64_t) {
    ++hooked; // the video decoder thread only
    for (int y = 0; y < bitmap->Height(); ++y)
      std::fill_n(bitmap->ScanLine(y), bitmap->Width() * 3, 0xFF);
  };
  ASSERT_TRUE(Player.Open(Media("redsd.mp4"), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return Reported(psEnd); }));
  Player.Stop(true);
  EXPECT_GE(hooked, 9);
  const THeadlessVideoHost::TPicture picture = Host.LastPicture();
  const TRgb c = FromHost(picture.Pixel(picture.Width / 2, picture.Height / 2));
  EXPECT_GE(std::min({c.R, c.G, c.B}), 235) << "the hooked picture is white";
}

TEST_F(TPlayerTest, HookFailureShowsThePictureUnchanged) {
  Player.SetHook(true);
  Player.OnHook = [](TCustomPlayer *, TBitmap *, int64_t) { throw std::runtime_error("broken filter"); };
  ASSERT_TRUE(Player.Open(Media("redsd.mp4"), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return Reported(psEnd) && Logged("Error occurs OnHook: broken filter"); }));
  const THeadlessVideoHost::TPicture picture = Host.LastPicture();
  ExpectRed(FromHost(picture.Pixel(picture.Width / 2, picture.Height / 2)), "host");
}

} // namespace
