// The 24-bit bitmap and the picture converter.
#include <fstream>
#include <iterator>

#include "PathFixture.h"
#include "engine/Bitmap.h"
#include "engine/PictureConverter.h"

#include "../TempFolder.h"

namespace {

class BitmapTest : public TPathTest {};

TEST_F(BitmapTest, BmpFileIsBottomUpWithPaddedRows) {
  TBitmap bitmap(3, 2); // 9 bytes of pixels per row, padded to 12
  ASSERT_EQ(bitmap.Stride(), 12);
  bitmap.ScanLine(0)[0] = 0x11; // top-left blue
  bitmap.ScanLine(1)[2] = 0x22; // bottom-left red
  TTempFolder temp;
  const std::string file = temp.File("b.bmp");
  ASSERT_TRUE(bitmap.SaveToFile(file));
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 54u + 24u);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<uint8_t>(bytes[28]), 24);
  EXPECT_EQ(static_cast<uint8_t>(bytes[54 + 2]), 0x22);      // the bottom row comes first
  EXPECT_EQ(static_cast<uint8_t>(bytes[54 + 12]), 0x11);
  EXPECT_FALSE(bitmap.SaveToFile(temp.File("missing/b.bmp")));
}

TEST_F(BitmapTest, YuvPictureRoundTripsThroughTheBitmap) {
  TPictureConverter converter;
  auto picture = Picture(33, 17, [](int x, int) { return x < 16 ? 40 : 200; });
  ASSERT_TRUE(PictureToBitmap(converter, picture->data, picture->linesize, AV_PIX_FMT_YUV420P, 33, 17));
  TBitmap *bitmap = converter.Bitmap();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width(), 33);
  EXPECT_EQ(bitmap->Stride(), 100);
  EXPECT_LT(bitmap->ScanLine(8)[3 * 2], 50);  // dark grey on the left
  EXPECT_GT(bitmap->ScanLine(8)[3 * 30], 200); // light grey on the right

  // Drawn white in the bitmap, written back: the luma there turns white, elsewhere it stays.
  for (int x = 0; x < 8; ++x)
    for (int b = 0; b < 3; ++b)
      bitmap->ScanLine(4)[3 * x + b] = 255;
  ASSERT_TRUE(BitmapToPicture(converter, picture->data, picture->linesize, AV_PIX_FMT_YUV420P, 33, 17));
  EXPECT_GT(picture->data[0][4 * picture->linesize[0] + 2], 220);
  EXPECT_NEAR(picture->data[0][12 * picture->linesize[0] + 2], 40, 4);

  // Another size remakes the bitmap; a size unlike the bitmap's cannot be written back.
  auto small = Picture(8, 8, [](int, int) { return 128; });
  ASSERT_TRUE(PictureToBitmap(converter, small->data, small->linesize, AV_PIX_FMT_YUV420P, 8, 8));
  EXPECT_EQ(converter.Bitmap()->Width(), 8);
  EXPECT_FALSE(BitmapToPicture(converter, picture->data, picture->linesize, AV_PIX_FMT_YUV420P, 33, 17));
}

TEST_F(BitmapTest, BgrPicturesAreCopiedAsTheyAre) {
  TPictureConverter converter;
  TFramePtr frame = NewFrame();
  frame->format = AV_PIX_FMT_BGR24;
  frame->width = 5;
  frame->height = 3;
  ASSERT_EQ(AVUtil.av_frame_get_buffer(frame.get(), 0), 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 15; ++x)
      frame->data[0][y * frame->linesize[0] + x] = static_cast<uint8_t>(y * 15 + x);
  ASSERT_TRUE(PictureToBitmap(converter, frame->data, frame->linesize, AV_PIX_FMT_BGR24, 5, 3));
  EXPECT_EQ(converter.Bitmap()->ScanLine(2)[14], 44);
  converter.Bitmap()->ScanLine(1)[0] = 0xEE;
  ASSERT_TRUE(BitmapToPicture(converter, frame->data, frame->linesize, AV_PIX_FMT_BGR24, 5, 3));
  EXPECT_EQ(frame->data[0][frame->linesize[0]], 0xEE);
  EXPECT_EQ(frame->data[0][frame->linesize[0] + 1], 16);
}

TEST_F(BitmapTest, UnusablePicturesAreRefused) {
  TPictureConverter converter;
  auto picture = Picture(8, 8, [](int, int) { return 0; });
  EXPECT_FALSE(PictureToBitmap(converter, picture->data, picture->linesize, AV_PIX_FMT_YUV420P, 0, 8));
  EXPECT_FALSE(PictureToBitmap(converter, picture->data, picture->linesize, AV_PIX_FMT_NONE, 8, 8));
  EXPECT_EQ(converter.Bitmap(), nullptr);
}

} // namespace
