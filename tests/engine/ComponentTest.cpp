// The engine component: task queue, worker threads, pausing, stopping and the events.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/FFmpegVCL.h"
#include "engine/feedback/LibraryLog.h"
#include "media/AVUtilStubs.h"
#include "platform/HeadlessDispatch.h"

#include "../TempFolder.h"

namespace {

using namespace std::chrono_literals;

std::string Media(const std::string &name) { return std::string(TVL_TEST_MEDIA_DIR) + name; }

struct TTerminateCall {
  int Index;
  bool Finished;
  bool Exception;
  std::string Message;
  int ThreadId;
};

class ComponentTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dispatch = dynamic_cast<platform::THeadlessDispatch *>(&platform::MainThread());
    ASSERT_NE(Dispatch, nullptr);
    Engine = std::make_unique<TFFmpegVCL>();
    ASSERT_TRUE(Engine->BindLibraries("")) << Engine->ErrorText();
    Engine->SetLogLevel(llError);
    Engine->OnTerminate = [this](int index, bool finished, bool failed, const std::string &message) {
      std::lock_guard guard(Lock);
      Calls.push_back({index, finished, failed, message, static_cast<int>(gettid())});
    };
  }

  // A task copying both streams of clip25.avi into a Matroska file; its index.
  int AddCopyTask(const std::string &name, const std::string &extra = "") {
    TOutputOptions options;
    ResetOutputOptions(options);
    options.VideoCodec = "copy";
    options.AudioCodec = "copy";
    options.ExtOptions = extra;
    const int index = Engine->CreateTask(Media("clip25.avi"), nullptr);
    EXPECT_GE(index, 0) << Engine->ErrorText();
    EXPECT_TRUE(Engine->OpenTaskOutput(index, Temp.File(name), &options)) << Engine->ErrorText();
    return index;
  }

  bool WaitForEnd() {
    return Dispatch->ProcessUntil(
        [this] {
          std::lock_guard guard(Lock);
          return !Calls.empty() && Calls.back().Index == -1;
        },
        30s);
  }

  std::vector<TTerminateCall> TakeCalls() {
    std::lock_guard guard(Lock);
    return Calls;
  }

  platform::THeadlessDispatch *Dispatch = nullptr;
  TTempFolder Temp;
  std::mutex Lock;
  std::vector<TTerminateCall> Calls; // guarded by Lock
  std::unique_ptr<TFFmpegVCL> Engine;
};

TEST_F(ComponentTest, PropertiesKeepTheirRules) {
  Engine->SetProgressInterval(50);
  EXPECT_EQ(Engine->ProgressInterval(), 100);
  Engine->SetProgressInterval(101);
  EXPECT_EQ(Engine->ProgressInterval(), 101);
  EXPECT_EQ(TFFmpegVCL::Version(), "2.3a");
  EXPECT_EQ(Engine->CreateTask(Media("text.avi"), nullptr), -1);
  EXPECT_NE(Engine->ErrorText(), "");
  EXPECT_EQ(Engine->TaskTotal(), 0);
  EXPECT_FALSE(Engine->OpenTaskOutput(3, Temp.File("x.mkv"), nullptr));
}

TEST_F(ComponentTest, OneAtATimeRunsTheQueueInOrderOnWorkers) {
  for (int i = 0; i < 3; ++i)
    AddCopyTask("out" + std::to_string(i) + ".mkv");
  Engine->StartTasks(1);
  ASSERT_TRUE(WaitForEnd());
  const auto calls = TakeCalls();
  ASSERT_EQ(calls.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(calls[static_cast<size_t>(i)].Index, i);
    EXPECT_TRUE(calls[static_cast<size_t>(i)].Finished);
    EXPECT_FALSE(calls[static_cast<size_t>(i)].Exception);
    EXPECT_NE(calls[static_cast<size_t>(i)].ThreadId, static_cast<int>(gettid()));
    EXPECT_GT(std::filesystem::file_size(Temp.File("out" + std::to_string(i) + ".mkv")), 10000u);
  }
  EXPECT_TRUE(calls[3].Finished);
  EXPECT_FALSE(calls[3].Exception);
}

TEST_F(ComponentTest, ConcurrencyZeroRunsOnTheMainThreadFromTimers) {
  for (int i = 0; i < 3; ++i)
    AddCopyTask("out" + std::to_string(i) + ".mkv");
  Engine->StartTasks(0);
  EXPECT_TRUE(TakeCalls().empty()); // nothing runs before the first timer
  ASSERT_TRUE(WaitForEnd());
  const auto calls = TakeCalls();
  ASSERT_EQ(calls.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(calls[static_cast<size_t>(i)].Index, i);
    EXPECT_TRUE(calls[static_cast<size_t>(i)].Finished);
    EXPECT_EQ(calls[static_cast<size_t>(i)].ThreadId, static_cast<int>(gettid()));
  }
}

TEST_F(ComponentTest, TwoAtOnceStartTheThirdWhenOneEnds) {
  std::atomic<int> running{0}, most{0};
  for (int i = 0; i < 3; ++i)
    AddCopyTask("out" + std::to_string(i) + ".mkv");
  Engine->OnProgress = [&](int, int, int, int, float, float, int64_t, int) {
    const int now = ++running;
    int seen = most.load();
    while (now > seen && !most.compare_exchange_weak(seen, now)) {
    }
    --running;
  };
  Engine->StartTasks(2);
  ASSERT_TRUE(WaitForEnd());
  const auto calls = TakeCalls();
  ASSERT_EQ(calls.size(), 4u);
  std::vector<int> ended;
  for (size_t i = 0; i < 3; ++i) {
    ended.push_back(calls[i].Index);
    EXPECT_TRUE(calls[i].Finished);
  }
  std::sort(ended.begin(), ended.end());
  EXPECT_EQ(ended, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(calls[3].Index, -1);
  EXPECT_LE(most.load(), 1); // progress events never overlap: they run under the event lock
}

TEST_F(ComponentTest, EmptyQueueStartsAndReportsNothing) {
  Engine->StartTasks(1);
  Engine->StartTasks(0);
  Dispatch->ProcessUntil([] { return false; }, 300ms);
  EXPECT_TRUE(TakeCalls().empty());
}

TEST_F(ComponentTest, StopBeforeStartEndsEachTaskOnItsOwnThread) {
  AddCopyTask("a.mkv");
  AddCopyTask("b.mkv");
  Engine->StopTasks();
  ASSERT_TRUE(WaitForEnd());
  const auto calls = TakeCalls();
  ASSERT_EQ(calls.size(), 3u);
  std::vector<int> ended{calls[0].Index, calls[1].Index};
  std::sort(ended.begin(), ended.end());
  EXPECT_EQ(ended, (std::vector<int>{0, 1}));
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_FALSE(calls[i].Finished);
    EXPECT_FALSE(calls[i].Exception);
    EXPECT_EQ(calls[i].Message, "");
  }
  EXPECT_EQ(calls[2].Index, -1);
  EXPECT_TRUE(calls[2].Finished);
  Engine->DeleteAllTasks();
  EXPECT_FALSE(std::filesystem::exists(Temp.File("a.mkv"))); // nothing written, nothing left behind
}

// The worker logs "Stream mapping:" during its setup: a handler there acts while it runs.
void OnMapping(TFFmpegVCL &engine, std::function<void()> action) {
  engine.SetLogLevel(llInfo);
  engine.OnLog = [action = std::move(action)](int, TLogLevel, const std::string &text) {
    if (text == "Stream mapping:")
      action();
  };
}

TEST_F(ComponentTest, StopRequestEndsAfterTheCurrentPacketWithTrailers) {
  AddCopyTask("out.mkv");
  OnMapping(*Engine, [this] { Engine->StopTasks(); });
  Engine->StartTasks(1);
  ASSERT_TRUE(WaitForEnd());
  const auto calls = TakeCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_FALSE(calls[0].Finished);
  EXPECT_FALSE(calls[0].Exception);
  EXPECT_TRUE(calls[1].Finished);
  // The header and trailer were written even though no packet was.
  EXPECT_GT(std::filesystem::file_size(Temp.File("out.mkv")), 0u);
}

TEST_F(ComponentTest, PausedTaskWaitsUntilResumedOrStopped) {
  AddCopyTask("resumed.mkv");
  AddCopyTask("stopped.mkv");
  std::atomic<int> paused{0};
  OnMapping(*Engine, [&] {
    Engine->PauseTasks();
    ++paused;
  });
  Engine->StartTasks(1);
  ASSERT_TRUE(Dispatch->ProcessUntil([&] { return paused == 1; }, 30s));
  EXPECT_TRUE(TakeCalls().empty());
  Engine->ResumeTasks(); // the first runs to its end, the second starts and pauses in turn
  ASSERT_TRUE(Dispatch->ProcessUntil([&] { return paused == 2; }, 30s));
  Engine->StopTasks(); // a paused task is resumed to see the stop
  ASSERT_TRUE(WaitForEnd());
  const auto calls = TakeCalls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].Index, 0);
  EXPECT_TRUE(calls[0].Finished);
  EXPECT_EQ(calls[1].Index, 1);
  EXPECT_FALSE(calls[1].Finished);
  EXPECT_FALSE(calls[1].Exception);
}

// A pause made between two tasks (here from the first task's end) holds for the task started next.
TEST_F(ComponentTest, PauseBetweenTasksHoldsForTheNextTask) {
  AddCopyTask("first.mkv");
  AddCopyTask("second.mkv");
  std::atomic<int> mapped{0};
  OnMapping(*Engine, [&] { ++mapped; });
  Engine->OnTerminate = [this](int index, bool finished, bool failed, const std::string &message) {
    if (index == 0)
      Engine->PauseTasks();
    std::lock_guard guard(Lock);
    Calls.push_back({index, finished, failed, message, static_cast<int>(gettid())});
  };
  Engine->StartTasks(1);
  ASSERT_TRUE(Dispatch->ProcessUntil([&] { return mapped == 2; }, 30s));
  Engine->StopTasks(); // the second never ran a packet: it ends unfinished
  ASSERT_TRUE(WaitForEnd());
  const auto calls = TakeCalls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_TRUE(calls[0].Finished);
  EXPECT_EQ(calls[1].Index, 1);
  EXPECT_FALSE(calls[1].Finished);
}

TEST_F(ComponentTest, DeletingATaskRenumbersTheRest) {
  AddCopyTask("gone.mkv");
  AddCopyTask("b.mkv");
  AddCopyTask("c.mkv");
  Engine->DeleteTask(0);
  EXPECT_EQ(Engine->TaskTotal(), 2);
  Engine->StartTasks(1);
  ASSERT_TRUE(WaitForEnd());
  const auto calls = TakeCalls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].Index, 0);
  EXPECT_EQ(calls[1].Index, 1);
  EXPECT_FALSE(std::filesystem::exists(Temp.File("gone.mkv")));
  EXPECT_TRUE(std::filesystem::exists(Temp.File("c.mkv")));
}

TEST_F(ComponentTest, FailuresReachTheLogAndTheTerminateEvent) {
  std::vector<std::pair<TLogLevel, std::string>> quiet;
  Engine->OnLog = [&](int, TLogLevel level, const std::string &text) {
    if (level == llQuiet)
      quiet.emplace_back(level, text);
  };
  // A task without an output cannot start; one whose output device fills up fails mid-file.
  ASSERT_EQ(Engine->CreateTask(Media("clip25.avi"), nullptr), 0);
  TOutputOptions options;
  ResetOutputOptions(options);
  options.VideoCodec = "copy";
  options.AudioCodec = "copy";
  options.FileFormat = "matroska";
  ASSERT_EQ(Engine->CreateTask(Media("clip25.avi"), nullptr), 1);
  ASSERT_TRUE(Engine->OpenTaskOutput(1, "/dev/full", &options)) << Engine->ErrorText();
  Engine->StartTasks(1);
  ASSERT_TRUE(WaitForEnd());
  const auto calls = TakeCalls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].Index, 0);
  EXPECT_FALSE(calls[0].Finished);
  EXPECT_TRUE(calls[0].Exception);
  EXPECT_EQ(calls[0].Message, "At least one output file must be specified");
  EXPECT_EQ(calls[1].Index, 1);
  EXPECT_FALSE(calls[1].Finished);
  EXPECT_TRUE(calls[1].Exception);
  EXPECT_NE(calls[1].Message, "");
  ASSERT_EQ(quiet.size(), 2u);
  EXPECT_EQ(quiet[0].second, calls[0].Message);
  EXPECT_EQ(quiet[1].second, calls[1].Message);
}

TEST_F(ComponentTest, DestroyedWhileATaskRunsStopsAndWaitsForIt) {
  AddCopyTask("a.mkv");
  AddCopyTask("b.mkv");
  std::atomic<bool> started{false};
  OnMapping(*Engine, [&] { started = true; });
  Engine->StartTasks(2);
  ASSERT_TRUE(Dispatch->ProcessUntil([&] { return started.load(); }, 30s));
  Engine.reset();
  for (const auto &call : TakeCalls())
    EXPECT_FALSE(call.Exception);
}

// A context the library can name in its log lines.
struct TNamedContext {
  const AVClass *Class;
};

TEST_F(ComponentTest, LibraryLinesAreAssembledPerThreadAndBounded) {
  AVClass testClass{};
  testClass.class_name = "TestContext";
  testClass.item_name = AVUtil.av_default_item_name;
  testClass.version = LIBAVUTIL_VERSION_INT;
  TNamedContext context{&testClass};
  std::vector<std::pair<int, std::string>> lines;
  Engine->OnLog = [&](int index, TLogLevel level, const std::string &text) {
    if (level == llError)
      lines.emplace_back(index, text);
  };
  AVUtil.av_log(&context, AV_LOG_ERROR, "first %d ", 1);
  AVUtil.av_log(&context, AV_LOG_ERROR, "second\nthird");
  AVUtil.av_log(&context, AV_LOG_ERROR, "\n");
  AVUtil.av_log(&context, AV_LOG_INFO, "above the threshold\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].first, -1);
  const std::string prefix = "[TestContext @ ";
  EXPECT_EQ(lines[0].second.rfind(prefix, 0), 0u);
  EXPECT_NE(lines[0].second.find("]first 1 second"), std::string::npos);
  EXPECT_EQ(lines[0].second.find(prefix, 1), std::string::npos);
  EXPECT_EQ(lines[1].second, "third");

  // A line longer than the buffer is cut, and the next line starts afresh.
  lines.clear();
  AVUtil.av_log(nullptr, AV_LOG_ERROR, "%s", std::string(5000, 'x').c_str());
  AVUtil.av_log(nullptr, AV_LOG_ERROR, "%s", std::string(5000, 'y').c_str());
  AVUtil.av_log(nullptr, AV_LOG_ERROR, "\nnext\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_LT(lines[0].second.size(), 2048u);
  EXPECT_EQ(lines[0].second, std::string(lines[0].second.size(), 'x'));
  EXPECT_EQ(lines[1].second, "next");
}

} // namespace

namespace {

// Ends the test program when a wait that should be bounded is not: a hang becomes a failure.
class TWatchdog {
public:
  explicit TWatchdog(std::chrono::seconds limit)
      : FThread([this, limit] {
          std::unique_lock guard(FLock);
          if (!FWake.wait_for(guard, limit, [this] { return FDisarmed; })) {
            std::fprintf(stderr, "watchdog: a wait did not end within its bound\n");
            std::_Exit(1);
          }
        }) {}
  ~TWatchdog() {
    {
      std::lock_guard guard(FLock);
      FDisarmed = true;
    }
    FWake.notify_all();
    FThread.join();
  }

private:
  std::mutex FLock;
  std::condition_variable FWake;
  bool FDisarmed = false;
  std::thread FThread;
};

// The main-thread queue of the tests, counting what workers hand to it.
class TCountingDispatch : public platform::THeadlessDispatch {
public:
  void Post(std::function<void()> fn) override {
    ++Posted;
    THeadlessDispatch::Post(std::move(fn));
  }
  std::atomic<int> Posted{0};
};

// Polls without serving the main-thread queue.
bool PollFor(const std::function<bool()> &done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

} // namespace

// A task that decodes the picture, as preview and hooks need.
int AddEncodeTask(TFFmpegVCL &engine, const std::string &output, bool customHook = false) {
  TOutputOptions options;
  ResetOutputOptions(options);
  options.VideoCodec = "mpeg4";
  options.DisableAudio = true;
  options.UseCustomHook = customHook;
  const int index = engine.CreateTask(Media("clip25.avi"), nullptr);
  EXPECT_GE(index, 0) << engine.ErrorText();
  EXPECT_TRUE(engine.OpenTaskOutput(index, output, &options)) << engine.ErrorText();
  return index;
}

TEST_F(ComponentTest, WaitsOfTheMainThreadForWorkersNeverHang) {
  auto owned = std::make_unique<TCountingDispatch>();
  TCountingDispatch &dispatch = *owned;
  platform::SetMainThread(std::move(owned));
  const auto restore = [] { platform::SetMainThread(std::make_unique<platform::THeadlessDispatch>()); };
  TWatchdog watchdog(120s);

  // Destroyed while its worker waits for this thread to take a preview picture.
  {
    auto engine = std::make_unique<TFFmpegVCL>();
    std::atomic<int> pictures{0};
    engine->OnPreviewBitmap = [&](int, TBitmap *, int, int64_t) { ++pictures; };
    engine->SetPreviewBitmap(true);
    AddEncodeTask(*engine, Temp.File("preview.avi"));
    engine->StartTasks(1);
    ASSERT_TRUE(PollFor([&] { return dispatch.Posted > 0; }, 60s));
    engine.reset(); // the stop cancels the hand-off; the worker ends without this thread
    dispatch.ProcessPending();
    EXPECT_EQ(pictures, 0) << "a cancelled hand-off ran after all";
  }

  // Stopped twice in a row while tasks that never ran are being ended.
  for (int round = 0; round < 3; ++round) {
    TFFmpegVCL engine;
    std::atomic<int> ends{0};
    engine.OnTerminate = [&](int index, bool, bool, const std::string &) { ends += index == -1; };
    for (int i = 0; i < 3; ++i)
      AddEncodeTask(engine, Temp.File("twice" + std::to_string(i) + ".avi"));
    engine.StopTasks();
    engine.StopTasks();
    ASSERT_TRUE(PollFor([&] { return ends == 1; }, 60s));
  }

  // A worker stuck where no stop reaches it is given up on after the bound, and told about.
  {
    TFFmpegVCL engine;
    engine.StopTimeoutMs = 100;
    // Shared with the hook: the abandoned worker may still be in it when this block ends.
    struct TGate {
      std::mutex Lock;
      std::atomic<bool> InHook{false};
      std::atomic<int> EndsAfter{0};
    };
    const auto gate = std::make_shared<TGate>();
    std::unique_lock closed(gate->Lock);
    engine.OnCustomHook = [gate](int, TBitmap *, int, int64_t, bool &, bool &) {
      gate->InHook = true;
      std::lock_guard wait(gate->Lock);
    };
    AddEncodeTask(engine, Temp.File("stuck.avi"), true);
    engine.StartTasks(1);
    ASSERT_TRUE(PollFor([&] { return gate->InHook.load(); }, 60s));
    engine.OnTerminate = [gate](int, bool, bool, const std::string &) { ++gate->EndsAfter; };
    engine.DeleteAllTasks();
    EXPECT_EQ(engine.TaskTotal(), 0);
    EXPECT_NE(engine.ErrorText().find("did not stop within 100 ms"), std::string::npos) << engine.ErrorText();
    closed.unlock(); // the worker goes on, ends, and reports to nobody
    EXPECT_FALSE(PollFor([&] { return gate->EndsAfter > 0; }, 1s));
  }
  restore();
}

// A task's end is reported outside the component's lock, and the next task starts only once the
// handler returned; the first task has no output, so it ends in its start.
TEST_F(ComponentTest, TheNextTaskStartsAfterTheEndHandlerReturned) {
  ASSERT_GE(Engine->CreateTask(Media("clip25.avi"), nullptr), 0);
  AddCopyTask("first.mkv");
  AddCopyTask("second.mkv");
  std::atomic<int> mapped{0};
  OnMapping(*Engine, [&] { ++mapped; });
  std::vector<std::thread> others;
  std::vector<std::pair<int, bool>> seen; // the tasks started and whether the lock was free, per end
  Engine->OnTerminate = [&](int index, bool finished, bool failed, const std::string &message) {
    const int started = mapped;
    auto reached = std::make_shared<std::atomic<bool>>(false);
    others.emplace_back([this, reached] {
      Engine->TaskTotal();
      *reached = true;
    });
    const bool lockFree = PollFor([&] { return reached->load(); }, 30s);
    std::lock_guard guard(Lock);
    seen.emplace_back(started, lockFree);
    Calls.push_back({index, finished, failed, message, static_cast<int>(gettid())});
  };
  Engine->StartTasks(1);
  ASSERT_TRUE(WaitForEnd());
  for (std::thread &other : others)
    other.join();
  const std::vector<std::pair<int, bool>> expected{{0, true}, {1, true}, {2, true}, {2, true}};
  EXPECT_EQ(seen, expected);
  EXPECT_TRUE(TakeCalls()[0].Exception);
}

TEST_F(ComponentTest, AClearedHandlerIsNeverCalledAgainNorWhileItIsCleared) {
  std::atomic<bool> inHandler{false}, release{false}, cleared{false}, lateCall{false};
  Engine->OnProgress = [&](int, int, int, int, float, float, int64_t, int) {
    if (cleared)
      lateCall = true;
    inHandler = true;
    PollFor([&] { return release.load(); }, 60s);
  };
  Engine->SetProgressInterval(100);
  AddEncodeTask(*Engine, Temp.File("handler.avi"));
  Engine->StartTasks(1);
  ASSERT_TRUE(PollFor([&] { return inHandler.load(); }, 60s));
  std::thread clearer([&] {
    Engine->OnProgress = nullptr;
    cleared = true;
  });
  // Clearing waits for the running call.
  EXPECT_FALSE(PollFor([&] { return cleared.load(); }, 200ms));
  release = true;
  clearer.join();
  ASSERT_TRUE(WaitForEnd());
  EXPECT_FALSE(lateCall);
}

// Preview setters (event lock, then preview lock before) and a worker that logs while it converts a
// preview picture (preview lock, then event lock) take the locks in one order.
TEST_F(ComponentTest, PreviewSettersAndPreviewLogLinesTakeTheLocksInOneOrder) {
  Engine->SetLogLevel(llAll);
  std::atomic<int> lines{0};
  Engine->OnLog = [&](int, TLogLevel, const std::string &) { ++lines; };
  Engine->OnPreviewBitmap = [](int, TBitmap *, int, int64_t) {};
  for (int i = 0; i < 2; ++i)
    AddEncodeTask(*Engine, Temp.File("locks" + std::to_string(i) + ".avi"));
  Engine->StartTasks(2);
  bool on = false;
  ASSERT_TRUE(Dispatch->ProcessUntil(
      [&] {
        Engine->SetPreviewBitmap(on = !on);
        Engine->SetPreview(false);
        std::lock_guard guard(Lock);
        return !Calls.empty() && Calls.back().Index == -1;
      },
      60s));
  EXPECT_GT(lines, 0);
}
