// The player's life cycle under the calls a window makes at awkward moments: a Stop inside another
// Stop's wait, pause and seek on an input that stalls, two players in one process.
#include "PlayerFixture.h"

#include "../BrokenSource.h"
#include "../Watchdog.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Ends a test that deadlocked: no later check could run.
void AbortHung() {
  std::fputs("the player hung\n", stderr);
  std::abort();
}

TEST_F(TPlayerTest, AStopInsideAnotherStopsWaitFreesNothingAndTheNextOpenPlays) {
  TWatchdog watchdog(30s, AbortHung);
  bool stopping = false, reentered = false, outerReturned = false, postedAfterOuter = false;
  Player.OnPosition = [&](TCustomPlayer *sender, int64_t position) {
    if (stopping && !reentered) {
      reentered = true;
      sender->Stop(true); // a handler the wait serves stops again
      // What a user does meanwhile waits for the main thread's own turn.
      platform::MainThread().Post([&] { postedAfterOuter = outerReturned; });
    }
    std::lock_guard guard(Lock);
    Positions.push_back(position);
  };
  ASSERT_TRUE(Player.Open(Media("clip25.avi"), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return !Positions.empty(); }));
  // Not pumping, the play thread soon waits with a position for the main thread.
  std::this_thread::sleep_for(200ms);
  stopping = true;
  Player.Stop(true);
  outerReturned = true;
  EXPECT_TRUE(reentered);
  EXPECT_EQ(Player.CurrentContext(), nullptr);
  Dispatch->ProcessUntil([&] { return postedAfterOuter; }, 5s);
  EXPECT_TRUE(postedAfterOuter) << "the wait delivered other main-thread work";

  stopping = false;
  const std::size_t before = Positions.size();
  ASSERT_TRUE(Player.Open(Media("clip25.avi"), &Host)) << Player.LastError();
  EXPECT_TRUE(PumpUntil([&] { return Positions.size() > before + 2; }));
  Player.Stop(true);
  EXPECT_EQ(StatesNow().back(), psStop);
}

// A FIFO fed half a file, then nothing: reads block as on a stalled network share.
class TStalledInput {
public:
  explicit TStalledInput(const std::string &source) : FPath(FDir.File("stalled.avi")) {
    ::mkfifo(FPath.c_str(), 0600);
    FWriter = std::thread([this, source] {
      FFd = ::open(FPath.c_str(), O_WRONLY); // meets the player's open
      const std::string data = TTempFolder::ReadFile(source);
      const std::size_t half = data.size() / 2;
      for (std::size_t put = 0; put < half && FFd >= 0;) {
        const ssize_t n = ::write(FFd, data.data() + put, half - put);
        if (n <= 0)
          break;
        put += static_cast<std::size_t>(n);
      }
    });
  }
  ~TStalledInput() { Resume(); }
  const std::string &Path() const { return FPath; }
  // The writer goes away: the reader sees the end.
  void Resume() {
    if (FWriter.joinable())
      FWriter.join();
    if (FFd >= 0)
      ::close(FFd);
    FFd = -1;
  }

private:
  TTempFolder FDir;
  std::string FPath;
  int FFd = -1;
  std::thread FWriter;
};

TEST_F(TPlayerTest, PauseAndSeekOnAStalledInputReturnAtOnce) {
  TStalledInput input(Media("clip25.avi"));
  ASSERT_TRUE(Player.Open(input.Path(), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return Reported(psPlay); }));
  const auto start = std::chrono::steady_clock::now();
  {
    TWatchdog watchdog(20s, AbortHung);
    Player.Seek(100000); // never taken up: the read thread waits for data
    Player.Pause();
    Player.Seek(200000); // the slider pressed again
    Player.Resume();
    Player.Pause();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  input.Resume();
  TWatchdog watchdog(20s, AbortHung);
  Player.Stop(true);
  EXPECT_EQ(Player.CurrentContext(), nullptr);
}

// A source that stops being readable halfway: the playback ends with the error logged.
TEST_F(TPlayerTest, AReadErrorHalfwayEndsThePlaybackWithTheErrorLogged) {
  TBrokenSource source(Media("clip25.avi"));
  ASSERT_TRUE(source.Ready());
  ASSERT_TRUE(Player.Open(source.Url(), &Host)) << Player.LastError();
  EXPECT_TRUE(PumpUntil([&] { return Reported(psEnd); }));
  source.Finish();
  std::lock_guard guard(Lock);
  EXPECT_TRUE(std::any_of(Logs.begin(), Logs.end(), [](const std::string &text) {
    return text.find(": read error: ") != std::string::npos;
  })) << ::testing::PrintToString(Logs);
}

TEST_F(TPlayerTest, TwoPlayersInOneProcessKeepTheirOwnEvents) {
  ASSERT_TRUE(Player.Open(Media("clip25.avi"), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return !Positions.empty(); }));
  {
    TFFPlayer other;
    THeadlessVideoHost otherHost;
    EXPECT_FALSE(other.Open(Media("empty.avi"), &otherHost)); // fails while the first plays
    ASSERT_TRUE(other.Open(Media("short.mp4"), &otherHost)) << other.LastError();
    EXPECT_TRUE(Dispatch->ProcessUntil([&] { return otherHost.PictureCount() > 0; }, 20s));
    TWatchdog watchdog(20s, AbortHung);
    other.Stop(true);
  }
  // The first plays on to its end, after the other has stopped and quit.
  EXPECT_TRUE(PumpUntil([&] { return Reported(psEnd); }));
  EXPECT_FALSE(Reported(psStop)) << "stopped by the other player";
  TWatchdog watchdog(20s, AbortHung);
  Player.Stop(true);
  EXPECT_EQ(StatesNow().back(), psStop);
}

} // namespace
