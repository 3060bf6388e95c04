// The engine's preview window: its caption, its window provider and closing.
#include <gtest/gtest.h>

#include "engine/feedback/Previewer.h"

extern "C" {
#include <libavutil/avutil.h>
}

namespace {

struct TFakeWindow : TPreviewWindow {
  std::vector<std::string> *Captions;
  bool *ClosedFlag;
  TFakeWindow(std::vector<std::string> *captions, bool *closed) : Captions(captions), ClosedFlag(closed) {}
  void Paint(const TBitmap &, const std::string &caption) override { Captions->push_back(caption); }
  bool Closed() const override { return *ClosedFlag; }
};

// Runs the call at once, as the task does on the main thread.
bool CallHere(const std::function<void()> &fn) {
  fn();
  return true;
}

TEST(PreviewTest, CaptionShowsTheTime) {
  EXPECT_EQ(PreviewCaption(AV_NOPTS_VALUE), "N/A");
  EXPECT_EQ(PreviewCaption(((1 * 60 + 2) * 60 + 3) * 1000000LL + 4000), "01:02:03.004");
  EXPECT_EQ(PreviewCaption(0), "00:00:00.000");
}

TEST(PreviewTest, WindowComesFromTheProviderAndEndsWhenClosed) {
  TBitmap bitmap(4, 4);
  SetPreviewWindowFactory(nullptr);
  EXPECT_FALSE(TPreviewer(CallHere).Show(bitmap, 0)); // no provider: the preview turns itself off

  std::vector<std::string> captions;
  bool closed = false;
  int made = 0;
  SetPreviewWindowFactory([&] {
    ++made;
    return std::make_unique<TFakeWindow>(&captions, &closed);
  });
  {
    TPreviewer previewer(CallHere);
    EXPECT_TRUE(previewer.Show(bitmap, 1000000));
    EXPECT_TRUE(previewer.Show(bitmap, AV_NOPTS_VALUE));
    closed = true;
    EXPECT_FALSE(previewer.Show(bitmap, 3000000));
    EXPECT_FALSE(previewer.Show(bitmap, 4000000)); // closed for good
  }
  EXPECT_EQ(made, 1);
  EXPECT_EQ(captions, (std::vector<std::string>{"00:00:01.000", "N/A"}));
  SetPreviewWindowFactory(nullptr);
}

} // namespace
