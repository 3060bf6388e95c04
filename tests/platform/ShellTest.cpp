#include "platform/Shell.h"

#include "../TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <future>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

// A program that keeps running until the test lets it go, as xdg-open does on desktops that run the
// opened program in the foreground.
TEST(Shell, StartingAProgramNeverWaitsForItsEnd) {
  TTempFolder dir;
  const std::string fifo = dir.File("release"), marker = dir.File("ended");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto started = std::async(std::launch::async, [&] {
    return platform::SpawnDetached({"sh", "-c", "read line < \"$0\"; echo > \"$1\"", fifo, marker});
  });
  const bool returned = started.wait_for(20s) == std::future_status::ready;
  // Let the program end either way, so that a failing test does not hang. Opened for both ends, the
  // pipe never blocks and keeps the line until the program reads it.
  const int writer = ::open(fifo.c_str(), O_RDWR);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(::write(writer, "go\n", 3), 3);
  for (int i = 0; i < 2000 && !std::filesystem::exists(marker); ++i)
    std::this_thread::sleep_for(10ms);
  ::close(writer);
  EXPECT_TRUE(std::filesystem::exists(marker));
  EXPECT_TRUE(returned) << "the start waited for the program to end";
  EXPECT_TRUE(started.get());
  EXPECT_FALSE(platform::SpawnDetached({"tvl-no-such-program-here"}));
  EXPECT_FALSE(platform::SpawnDetached({}));
}
