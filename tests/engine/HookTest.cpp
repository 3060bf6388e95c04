// Pre-processing of decoded pictures: hook ranges, the before-hook decision, the custom hook on a
// bitmap, and frame-hook modules.
#include <stdexcept>

#include "PathFixture.h"
#include "engine/filter/VideoHooks.h"

namespace {

class HookTest : public TPathTest {
protected:
  void SetUp() override {
    TPathTest::SetUp();
    Hooks.Log = [this](int level, const std::string &text) { Out.Logs.emplace_back(level, text); };
  }

  // Pre-processes a fresh dark picture at pts; whether the module painted it.
  bool Painted(int64_t pts) {
    auto picture = Picture(32, 32, [](int, int) { return 16; });
    Hooks.PreProcessVideo(*picture, pts);
    return picture->data[0][0] == 250;
  }

  void AddModule(const char *argument = "250") {
    ASSERT_EQ(Hooks.Chain.Add({TVL_TEST_HOOK_MODULE, argument}, [this](const std::string &t) { Logged.push_back(t); }), 0);
    Hooks.HooksEnabled = true;
  }

  TVideoHooks Hooks;
  TCollector Out;
  std::vector<std::string> Logged;
};

TEST_F(HookTest, ModuleProblemsAreReportedWithTheirCodes) {
  auto log = [this](const std::string &t) { Logged.push_back(t); };
  TFrameHookChain chain;
  EXPECT_EQ(chain.Add({}, log), -2);
  EXPECT_EQ(chain.Add({"/nonexistent/hook.so"}, log), -1);
  EXPECT_EQ(chain.Add({"libm.so.6"}, log), -2);
  EXPECT_EQ(Logged.back(), "Failed to find Process entrypoint in libm.so.6\n");
  EXPECT_EQ(chain.Add({TVL_TEST_HOOK_MODULE, "refuse"}, log), -22);
  EXPECT_EQ(Logged.back(), std::string("Failed to Configure ") + TVL_TEST_HOOK_MODULE + "\n");
  EXPECT_TRUE(chain.Empty());
  EXPECT_EQ(chain.Add({TVL_TEST_HOOK_MODULE, "7"}, log), 0); // the cached module serves again
  EXPECT_FALSE(chain.Empty());
}

TEST_F(HookTest, RangesGateTheModulesAndEndThem) {
  AddModule();
  Hooks.Ranges = {{1000000, 2000000}, {5000000, 6000000}};
  EXPECT_FALSE(Painted(500000));
  EXPECT_TRUE(Painted(1500000));
  EXPECT_FALSE(Painted(3000000));
  EXPECT_TRUE(Painted(5500000));
  EXPECT_EQ(Hooks.CurrentRange, 1u);
  EXPECT_FALSE(Painted(7000000));
  EXPECT_FALSE(Hooks.HooksEnabled);
  EXPECT_FALSE(Painted(5500000)); // never again
  EXPECT_EQ(Hooks.HookFrameNumber, 6);
}

TEST_F(HookTest, BeforeHookDecidesPerFrame) {
  AddModule();
  std::vector<THookAction> seen;
  int calls = 0;
  Hooks.BeforeHook = [&](int64_t, THookAction &action) {
    seen.push_back(action);
    action = ++calls == 2 ? haIgnore : calls == 4 ? haStop : haContinue;
  };
  EXPECT_TRUE(Painted(0));
  EXPECT_FALSE(Painted(0)); // ignored for this frame only
  EXPECT_TRUE(Painted(0));
  EXPECT_FALSE(Painted(0)); // stopped
  EXPECT_FALSE(Painted(0));
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(seen[2], haIgnore); // the handler sees the last decision

  // A handler that raises stops the modules too.
  TVideoHooks other;
  other.HooksEnabled = true;
  other.Log = Hooks.Log;
  other.BeforeHook = [](int64_t, THookAction &) { throw std::runtime_error("boom"); };
  auto picture = Picture(8, 8, [](int, int) { return 0; });
  other.PreProcessVideo(*picture, 0);
  EXPECT_FALSE(other.HooksEnabled);
  EXPECT_TRUE(Out.Logged("Error occurs OnBeforeHook: boom"));
}

TEST_F(HookTest, CustomHookDrawsIntoThePicture) {
  int calls = 0;
  Hooks.CustomHook = [&](TBitmap &bitmap, int frame, int64_t pts, bool &update, bool &stop) {
    ++calls;
    EXPECT_EQ(frame, calls);
    EXPECT_EQ(pts, 40000 * calls);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 3 * 4; ++x)
        bitmap.ScanLine(y)[x] = 255;
    update = calls != 2;
    stop = calls == 3;
  };
  auto picture = Picture(32, 32, [](int, int) { return 16; });
  Hooks.PreProcessVideo(*picture, 40000);
  EXPECT_GT(picture->data[0][1], 200);        // drawn white
  EXPECT_NEAR(picture->data[0][20 * picture->linesize[0] + 20], 16, 2);

  auto second = Picture(32, 32, [](int, int) { return 16; });
  Hooks.PreProcessVideo(*second, 80000);
  EXPECT_EQ(second->data[0][1], 16); // update false
  Hooks.PreProcessVideo(*second, 120000);
  Hooks.PreProcessVideo(*second, 160000);
  EXPECT_EQ(calls, 3); // stopped after the third
  EXPECT_FALSE(static_cast<bool>(Hooks.CustomHook));
  EXPECT_EQ(Hooks.HookAction, haStop);
}

TEST_F(HookTest, DeinterlacingBlendsTheFields) {
  Hooks.Deinterlace = true;
  // Alternate bright and dark lines: the two fields disagree everywhere.
  auto picture = Picture(64, 32, [](int, int y) { return y % 2 ? 16 : 235; });
  Hooks.PreProcessVideo(*picture, 0);
  EXPECT_FALSE(Out.Logged("Deinterlacing failed."));
  const int row = picture->data[0][10 * picture->linesize[0] + 10], next = picture->data[0][11 * picture->linesize[0] + 10];
  EXPECT_LT(std::abs(row - next), 150);
  EXPECT_EQ(picture->width, 64);
}

} // namespace
