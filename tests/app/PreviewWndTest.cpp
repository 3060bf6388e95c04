// The engine's preview window: it shows the frame at its size under the time caption, follows the
// mouse that drags its picture, and tells the engine once the user has closed it.
#include "app/PreviewWnd.h"

#include <QApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

namespace {

void Fill(TBitmap &bitmap, uint8_t blue, uint8_t green, uint8_t red) {
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) {
      uint8_t *pixel = bitmap.ScanLine(y) + 3 * x;
      pixel[0] = blue;
      pixel[1] = green;
      pixel[2] = red;
    }
}

void SendMouse(QWidget &window, QEvent::Type type, const QPoint &global, Qt::MouseButtons buttons) {
  const QPointF local = window.mapFromGlobal(global);
  QMouseEvent event(type, local, local, global, Qt::LeftButton, buttons, Qt::NoModifier);
  QApplication::sendEvent(&window, &event);
}

TEST(PreviewWndTest, ShowsTheFrameAtItsSizeUnderTheCaption) {
  TPreviewWnd window;
  TBitmap first(37, 21); // rows padded to four bytes: a stride ignored would skew the picture
  Fill(first, 0x10, 0x80, 0xF0);
  window.Paint(first, "00:00:01.000");
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(window.size(), QSize(37, 21));
  EXPECT_EQ(window.windowTitle(), "00:00:01.000");
  const QImage shown = window.grab().toImage();
  EXPECT_EQ(shown.pixelColor(0, 0), QColor(0xF0, 0x80, 0x10));
  EXPECT_EQ(shown.pixelColor(36, 20), QColor(0xF0, 0x80, 0x10));

  // The engine draws the next frame into the same bitmap; the window keeps what it was given.
  first.ScanLine(0)[0] = 0;
  EXPECT_EQ(window.Picture().pixelColor(0, 0), QColor(0xF0, 0x80, 0x10));

  TBitmap second(37, 21);
  Fill(second, 0xFF, 0, 0);
  window.Paint(second, "N/A");
  EXPECT_EQ(window.windowTitle(), "N/A");
  EXPECT_EQ(window.grab().toImage().pixelColor(10, 10), QColor(0, 0, 0xFF));
  EXPECT_FALSE(window.Closed());
}

TEST(PreviewWndTest, IsDraggedByItsPicture) {
  TPreviewWnd window;
  TBitmap frame(40, 30);
  Fill(frame, 0, 0, 0);
  window.Paint(frame, "N/A");
  const QPoint start = window.pos();
  const QPoint grab = window.mapToGlobal(QPoint(5, 5));
  SendMouse(window, QEvent::MouseButtonPress, grab, Qt::LeftButton);
  SendMouse(window, QEvent::MouseMove, grab + QPoint(25, 12), Qt::LeftButton);
  EXPECT_EQ(window.pos(), start + QPoint(25, 12));
  SendMouse(window, QEvent::MouseButtonRelease, grab + QPoint(25, 12), Qt::NoButton);
  SendMouse(window, QEvent::MouseMove, grab + QPoint(60, 60), Qt::NoButton);
  EXPECT_EQ(window.pos(), start + QPoint(25, 12)); // the button is up: the window stays
}

TEST(PreviewWndTest, ClosingIsReported) {
  TPreviewWnd window;
  TBitmap frame(8, 8);
  Fill(frame, 0, 0, 0);
  window.Paint(frame, "N/A");
  EXPECT_FALSE(window.Closed());
  EXPECT_TRUE(window.close());
  EXPECT_TRUE(window.Closed());
}

} // namespace
