// Playing files through the component: the events a host sees, pause, seek, stop and bad input.
#include "PlayerFixture.h"

#include <algorithm>

#include "player/LibSDL.h"

namespace {

TEST_F(TPlayerTest, PlaysToTheEndThenStops) {
  ASSERT_TRUE(Player.Open(Media("short.mp4"), &Host)) << Player.LastError();
  EXPECT_EQ(Player.FileName(), Media("short.mp4"));
  ASSERT_TRUE(PumpUntil([&] { return Count(psEnd) >= 1 && !Positions.empty() && Positions.back() == Duration; }));
  // An ended playback reports its end once, not at every refresh.
  Dispatch->ProcessUntil([] { return false; }, std::chrono::milliseconds(300));
  {
    std::lock_guard guard(Lock);
    EXPECT_EQ(Count(psEnd), 1);
    EXPECT_EQ(FrameWidth, 160);
    EXPECT_EQ(FrameHeight, 120);
    EXPECT_NEAR(static_cast<double>(Duration), 400000, 50000);
    EXPECT_EQ(States.front(), psPlay);
    // Positions rise from the first picture on (a late picture under load may step back a little).
    EXPECT_EQ(*std::min_element(Positions.begin(), Positions.end()), Positions.front())
        << ::testing::PrintToString(Positions);
    EXPECT_LT(Positions.front(), 40000);
    EXPECT_EQ(std::count(Positions.begin(), Positions.end(), Duration), 1) << "the end is reported once";
  }
  EXPECT_GT(Host.PictureCount(), 0);
  EXPECT_EQ(Host.LastPicture().Width, 160); // no screen size: the video's own
  Player.Stop(true);
  EXPECT_EQ(StatesNow().back(), psStop);
  EXPECT_EQ(Player.CurrentContext(), nullptr);
}

TEST_F(TPlayerTest, PauseAndResumeReportOnlyRealChanges) {
  ASSERT_TRUE(Player.Open(Media("clip25.avi"), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return Positions.size() >= 2; }));
  Player.Resume(); // not paused: nothing
  Player.Pause();
  Player.Pause(); // already paused: nothing
  const int64_t paused = [&] {
    std::lock_guard guard(Lock);
    return Positions.back();
  }();
  // While paused the position stands; wait out a few refreshes.
  Dispatch->ProcessUntil([] { return false; }, std::chrono::milliseconds(300));
  Player.Resume();
  ASSERT_TRUE(PumpUntil([&] { return Count(psEnd) > 0; }));
  std::lock_guard guard(Lock);
  EXPECT_EQ(Count(psPause), 1);
  EXPECT_EQ(Count(psResume), 1);
  const auto pause = std::find(States.begin(), States.end(), psPause);
  ASSERT_NE(pause, States.end());
  EXPECT_EQ(*(pause + 1), psResume);
  // The first position after the pause follows on from the one before it: the pause is no playing time.
  const auto after = std::upper_bound(Positions.begin(), Positions.end(), paused);
  ASSERT_NE(after, Positions.end());
  EXPECT_LT(*after - paused, 200000);
}

// A thumb dragged while paused shows the picture at its place: the decoder makes that one picture.
TEST_F(TPlayerTest, ASeekWhilePausedShowsThePictureThere) {
  ASSERT_TRUE(Player.Open(Media("clip25.avi"), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return Positions.size() >= 2; }));
  Player.Pause();
  Dispatch->ProcessUntil([] { return false; }, std::chrono::milliseconds(200));
  Player.Seek(1500000);
  EXPECT_TRUE(PumpUntil([&] { return Positions.back() > 1000000; }, 10)) << Positions.back();
  EXPECT_EQ(StatesNow().back(), psPause);
}

TEST_F(TPlayerTest, SeekBeyondTheDurationLandsOnIt) {
  ASSERT_TRUE(Player.Open(Media("clip25.avi"), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return !Positions.empty(); }));
  Player.Seek(Duration + 5000000);
  ASSERT_TRUE(PumpUntil([&] { return !Positions.empty() && Positions.back() == Duration; }));
  std::lock_guard guard(Lock);
  // Landed near the end straight away rather than playing through the middle.
  const auto middle = std::count_if(Positions.begin(), Positions.end(),
                                    [&](int64_t p) { return p > 600000 && p < Duration - 700000; });
  EXPECT_EQ(middle, 0);
  EXPECT_TRUE(std::all_of(Positions.begin(), Positions.end(), [&](int64_t p) { return p >= 0 && p <= Duration; }));
}

TEST_F(TPlayerTest, SeekWithoutDurationGoesToTheRequestedTime) {
  ASSERT_TRUE(Player.Open(Media("noduration.m4v"), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return !Positions.empty(); }));
  EXPECT_LE(Duration, 0);
  Player.Seek(1500000);
  ASSERT_TRUE(PumpUntil([&] { return !Positions.empty() && Positions.back() >= 1400000; }));
}

TEST_F(TPlayerTest, ImageSequenceHasNoDurationAndNoPositions) {
  ASSERT_TRUE(Player.Open(Media("still.jpg"), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return Host.PictureCount() > 0; }));
  Dispatch->ProcessUntil([] { return false; }, std::chrono::milliseconds(300)); // past its end
  std::lock_guard guard(Lock);
  EXPECT_EQ(Duration, 0);
  EXPECT_EQ(FrameWidth, 160);
  EXPECT_TRUE(Positions.empty());
  EXPECT_TRUE(Logs.empty()) << "no end-of-file message for image sequences";
}

TEST_F(TPlayerTest, VideoBehindASubtitleStreamPlays) {
  ASSERT_TRUE(Player.Open(Media("subtitlefirst.mkv"), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return Host.PictureCount() > 0; }));
  std::lock_guard guard(Lock);
  EXPECT_EQ(FrameWidth, 160);
}

TEST_F(TPlayerTest, StopWithoutWaitFromTheStateHandler) {
  Player.OnState = [this](TCustomPlayer *sender, TPlayState state) {
    if (state == psPlay)
      sender->Stop(false); // on the play thread
    std::lock_guard guard(Lock);
    States.push_back(state);
  };
  ASSERT_TRUE(Player.Open(Media("clip25.avi"), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return Reported(psStop); }));
  Player.Stop(true);
  EXPECT_EQ(Player.CurrentContext(), nullptr);
}

TEST_F(TPlayerTest, SecondOpenStopsTheFirst) {
  ASSERT_TRUE(Player.Open(Media("clip25.avi"), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return Reported(psPlay); }));
  ASSERT_TRUE(Player.Open(Media("clip15.mkv"), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return Count(psPlay) == 2; }));
  const std::vector<TPlayState> states = StatesNow();
  const auto stop = std::find(states.begin(), states.end(), psStop);
  ASSERT_NE(stop, states.end());
  EXPECT_EQ(std::find(stop, states.end(), psPlay) - states.begin(), states.size() - 1) << "stopped before the next";
  EXPECT_EQ(Player.FileName(), Media("clip15.mkv"));
}

TEST_F(TPlayerTest, BadFilesAreRefusedWithoutLeavingThreads) {
  Player.Open(Media("short.mp4"), &Host); // SDL's own threads started once
  Player.Stop(true);
  const int threads = ThreadCount();
  const std::pair<const char *, const char *> cases[] = {
      {"empty.avi", ": Unknown format"},
      {"text.avi", ": Unknown format"},
      {"truncated.mp4", ""},
      {"missing.avi", ": no such file or directory"},
  };
  for (const auto &[name, text] : cases) {
    EXPECT_FALSE(Player.Open(Media(name), &Host)) << name;
    EXPECT_EQ(Player.LastError().rfind(Media(name) + text, 0), 0u) << Player.LastError();
  }
  EXPECT_TRUE(Dispatch->ProcessUntil([&] { return ThreadCount() <= threads; }, std::chrono::seconds(5)))
      << ThreadCount() << " threads, " << threads << " before";
  EXPECT_EQ(Player.CurrentContext(), nullptr);
  EXPECT_TRUE(StatesNow().empty() || StatesNow().back() == psStop);
}

TEST_F(TPlayerTest, OverlongPathIsRefusedNotCut) {
  // Cut at 1023 bytes, this name would be the existing short.mp4.
  std::string existing = Media("");
  while (existing.size() + std::string("short.mp4").size() < 1023)
    existing += existing.size() % 2 ? "/" : "./";
  existing.resize(1023 - 9, '/');
  existing += "short.mp4";
  ASSERT_EQ(existing.size(), 1023u);
  ASSERT_TRUE(std::filesystem::exists(existing));
  const std::string path = existing + ".gone";
  EXPECT_FALSE(Player.Open(path, &Host));
  EXPECT_NE(Player.LastError().find("longer than 1023 bytes"), std::string::npos);
  EXPECT_EQ(Player.CurrentContext(), nullptr);
}

TEST_F(TPlayerTest, RefusesBeforeTheLibrariesAreBound) {
  TFFPlayer unbound;
  // Bound in this process already; the check is on the binding, so unbinding SDL shows the refusal.
  UnloadSDL();
  std::string message;
  unbound.OnLog = [&](TCustomPlayer *, TLogType type, const std::string &text) {
    EXPECT_EQ(type, ltError);
    message = text;
  };
  EXPECT_FALSE(unbound.Open(Media("short.mp4"), nullptr));
  EXPECT_EQ(message, "libsdl not loaded.");
  EXPECT_EQ(unbound.LastError(), "libsdl not loaded.");
  ASSERT_TRUE(unbound.LoadLibraries(""));
}

} // namespace
