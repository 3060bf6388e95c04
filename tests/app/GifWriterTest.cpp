#include "GifWriter.h"

#include "../TempFolder.h"

#include <QImageReader>
#include <gtest/gtest.h>

namespace {

QImage Filled(int w, int h, QRgb colour) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(colour);
  return image;
}

// Frames larger than one code table and one data sub-block, read back by Qt's own GIF reader.
TEST(GifWriter, FramesReadBackWithTheirColoursTransparencyAndDelay) {
  TTempFolder dir;
  QImage first = Filled(40, 30, qRgb(0x33, 0x66, 0xCC));
  first.setPixel(0, 0, qRgba(0, 0, 0, 0));
  first.setPixel(39, 29, qRgb(0xFF, 0x00, 0x00));
  const QImage second = Filled(40, 30, qRgb(0x99, 0xCC, 0xFF));
  const QString path = QString::fromStdString(dir.File("anim.gif"));
  ASSERT_TRUE(WriteAnimatedGif(path, {first, second, first}, 10));

  QImageReader reader(path, "gif");
  ASSERT_TRUE(reader.supportsAnimation());
  EXPECT_EQ(reader.imageCount(), 3);
  EXPECT_EQ(reader.nextImageDelay(), 100);
  const QImage a = reader.read().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(a.size(), QSize(40, 30)) << reader.errorString().toStdString();
  EXPECT_EQ(a.pixel(5, 5), qRgb(0x33, 0x66, 0xCC));
  EXPECT_EQ(qAlpha(a.pixel(0, 0)), 0);
  EXPECT_EQ(a.pixel(39, 29), qRgb(0xFF, 0x00, 0x00));
  const QImage b = reader.read().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(b.pixel(20, 15), qRgb(0x99, 0xCC, 0xFF));
}

TEST(GifWriter, RefusesNoFramesAndFramesOfDifferentSizes) {
  TTempFolder dir;
  const QString path = QString::fromStdString(dir.File("anim.gif"));
  EXPECT_FALSE(WriteAnimatedGif(path, {}, 10));
  EXPECT_FALSE(WriteAnimatedGif(path, {Filled(4, 4, 0xFF000000), Filled(5, 4, 0xFF000000)}, 10));
}

TEST(GifWriter, TheInstalledProgressAnimationIsReadable) {
  QImageReader reader(TVL_INSTALL_DIR "/MKVRes/Converting.gif", "gif");
  EXPECT_GT(reader.imageCount(), 1);
  EXPECT_FALSE(reader.read().isNull()) << reader.errorString().toStdString();
}

} // namespace
