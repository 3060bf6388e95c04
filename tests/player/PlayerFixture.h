#pragma once
// A player bound to the system's libraries, playing headless into a recording host, with every
// event it reports collected. Events that reach the main thread are pumped by the test's thread.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media/AVUtilStubs.h"
#include "platform/HeadlessDispatch.h"
#include "platform/MainThread.h"
#include "player/FFPlay.h"
#include "player/HeadlessVideoHost.h"

#include "../TempFolder.h"

inline std::string Media(const std::string &name) { return std::string(TVL_TEST_MEDIA_DIR) + name; }

// Threads of this process, from /proc.
inline int ThreadCount() {
  int count = 0;
  for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/task"))
    ++count;
  return count;
}

class TPlayerTest : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    Dispatch = dynamic_cast<platform::THeadlessDispatch *>(&platform::MainThread());
    ASSERT_NE(Dispatch, nullptr);
    if (!Player.LibrariesLoaded()) {
      ASSERT_TRUE(Player.LoadLibraries("")) << Player.LastError();
    }
    AVUtil.av_log_set_level(AV_LOG_QUIET);
    Player.OnFileOpen = [this](TCustomPlayer *, int64_t duration, int width, int height, int &, int &) {
      std::lock_guard guard(Lock);
      Duration = duration;
      FrameWidth = width;
      FrameHeight = height;
    };
    Player.OnState = [this](TCustomPlayer *, TPlayState state) {
      std::lock_guard guard(Lock);
      States.push_back(state);
    };
    Player.OnPosition = [this](TCustomPlayer *, int64_t position) {
      std::lock_guard guard(Lock);
      Positions.push_back(position);
    };
    Player.OnLog = [this](TCustomPlayer *, TLogType, const std::string &text) {
      std::lock_guard guard(Lock);
      Logs.push_back(text);
    };
  }

  void TearDown() override { Player.Stop(true); }

  // Pumps the main-thread queue until pred holds; false after the timeout.
  bool PumpUntil(const std::function<bool()> &pred, int seconds = 20) {
    return Dispatch->ProcessUntil(
        [&] {
          std::lock_guard guard(Lock);
          return pred();
        },
        std::chrono::seconds(seconds));
  }
  bool Reported(TPlayState state) const { return std::count(States.begin(), States.end(), state) > 0; }
  int Count(TPlayState state) const { return static_cast<int>(std::count(States.begin(), States.end(), state)); }
  bool Logged(const std::string &text) const { return std::find(Logs.begin(), Logs.end(), text) != Logs.end(); }
  std::vector<TPlayState> StatesNow() {
    std::lock_guard guard(Lock);
    return States;
  }

  platform::THeadlessDispatch *Dispatch = nullptr;
  TFFPlayer Player;
  THeadlessVideoHost Host;
  std::mutex Lock; // guards what the handlers record
  int64_t Duration = -2;
  int FrameWidth = 0;
  int FrameHeight = 0;
  std::vector<TPlayState> States;
  std::vector<int64_t> Positions;
  std::vector<std::string> Logs;
};
