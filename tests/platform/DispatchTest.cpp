#include "platform/HeadlessDispatch.h"
#include "platform/SingleInstance.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

TEST(HeadlessDispatch, SynchronizeRunsOnTheMainThreadWhileTheCallerWaits) {
  platform::THeadlessDispatch dispatch;
  std::atomic<bool> ranOnMain{false}, workerDone{false};
  std::thread worker([&] {
    dispatch.Synchronize([&] { ranOnMain = dispatch.IsMainThread(); });
    workerDone = true;
  });
  EXPECT_TRUE(dispatch.ProcessUntil([&] { return workerDone.load(); }, 10s));
  worker.join();
  EXPECT_TRUE(ranOnMain);
}

TEST(HeadlessDispatch, SynchronizeCarriesExceptionsBackToTheCaller) {
  platform::THeadlessDispatch dispatch;
  std::atomic<bool> caught{false}, done{false};
  std::thread worker([&] {
    try {
      dispatch.Synchronize([] { throw std::runtime_error("boom"); });
    } catch (const std::runtime_error &) {
      caught = true;
    }
    done = true;
  });
  EXPECT_TRUE(dispatch.ProcessUntil([&] { return done.load(); }, 10s));
  worker.join();
  EXPECT_TRUE(caught);
}

TEST(HeadlessDispatch, DelayedPostsRunInDueOrder) {
  platform::THeadlessDispatch dispatch;
  std::vector<int> order;
  dispatch.PostDelayed(40, [&] { order.push_back(2); });
  dispatch.Post([&] { order.push_back(1); });
  dispatch.ProcessPending();
  EXPECT_EQ(order, std::vector<int>{1});
  EXPECT_TRUE(dispatch.ProcessUntil([&] { return order.size() == 2; }, 10s));
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(SingleInstance, SecondHolderOfTheNameSeesItExisting) {
  const std::string name = "TVLTest" + std::to_string(::getpid());
  {
    platform::SingleInstance first(name);
    EXPECT_FALSE(first.AlreadyExists());
    platform::SingleInstance second(name); // a second open file description conflicts like a second process
    EXPECT_TRUE(second.AlreadyExists());
  }
  platform::SingleInstance again(name); // released with its holder: never a stale block
  EXPECT_FALSE(again.AlreadyExists());
}
