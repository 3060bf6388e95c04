// Damaged inputs end with the right status and the right output left behind, within a bound the
// test enforces itself: a runaway conversion is stopped and reported, never waited for.
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "EngineFixture.h"
#include "StreamFacts.h"
#include "engine/task/TaskThread.h"

#include "../BrokenSource.h"
#include "../Watchdog.h"

namespace {

using namespace std::chrono_literals;

// Generous for a two-second clip under the sanitizers; a conversion that runs away takes minutes.
constexpr auto RunBound = 60s;

class DamagedInputTest : public TEngineTest {
protected:
  // Runs the task on its worker thread; false when it outlasted the bound (it is stopped then).
  bool RunBounded() {
    TEngineThread *thread = Task.Start(true, tpNormal);
    if (thread)
      thread->Resume();
    const auto deadline = std::chrono::steady_clock::now() + RunBound;
    while (!Task.HasEnded() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(20ms);
    const bool ended = Task.HasEnded();
    Task.StopAndWait();
    return ended;
  }

  using TOptions = std::vector<std::pair<std::string, std::string>>;
  void Convert(const std::string &input, const std::string &output, const TOptions &options,
               const TOptions &inputOptions = {}) {
    Task.Reset();
    Logs.clear();
    for (const auto &[name, value] : inputOptions)
      Task.SetOption(name, value);
    ASSERT_TRUE(Task.OpenInputFile(input)) << Task.ErrorText();
    for (const auto &[name, value] : options)
      Task.SetOption(name, value);
    ASSERT_GE(Task.OpenOutputFile(output), 0) << Task.ErrorText();
    ASSERT_TRUE(RunBounded()) << input << " ran away";
  }

  bool LoggedStart(const std::string &text) const {
    for (const auto &line : Logs)
      if (line.second.rfind(text, 0) == 0)
        return true;
    return false;
  }
};

// Makes writes past the size fail (EFBIG) while it lives, as a full disk would mid-file.
class TFileSizeLimit {
public:
  explicit TFileSizeLimit(rlim_t bytes) {
    FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &FOld);
    rlimit limit = FOld;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FOld);
    std::signal(SIGXFSZ, FOldHandler);
  }

private:
  rlimit FOld{};
  void (*FOldHandler)(int);
};

TEST_F(DamagedInputTest, NothingDecodedIsAFailureAndLeavesNoOutput) {
  // The MP4's index promises MPEG-4 video and AAC audio; the body is another container's bytes.
  const std::string output = Temp.File("mismatch.mkv");
  Convert(Media("mismatch.mp4"), output, {{"s", "160x120"}, {"vcodec", "mpeg4"}, {"acodec", "mp2"}});
  EXPECT_TRUE(Task.Failed);
  EXPECT_FALSE(Task.Finished);
  EXPECT_EQ(Task.EndMessage.rfind("No audio or video could be decoded from the input: ", 0), 0u) << Task.EndMessage;
  EXPECT_FALSE(std::filesystem::exists(output));

  // Audio alone from the same file: the message names what is missing.
  const std::string audio = Temp.File("mismatch.mp3");
  Convert(Media("mismatch.mp4"), audio, {{"vn", ""}, {"acodec", "libmp3lame"}});
  EXPECT_EQ(Task.EndMessage.rfind("No audio could be decoded from the input", 0), 0u) << Task.EndMessage;
  EXPECT_FALSE(std::filesystem::exists(audio));
}

TEST_F(DamagedInputTest, ASourceThatStopsBeingReadableFailsAndLeavesNoOutput) {
  TBrokenSource source(Media("clip25.avi"));
  ASSERT_TRUE(source.Ready());
  const std::string output = Temp.File("cut.mp4");
  Convert(source.Url(), output, {{"s", "160x120"}, {"vcodec", "mpeg4"}, {"acodec", "aac"}});
  EXPECT_TRUE(Task.Failed) << "a cut file reported as a success";
  EXPECT_NE(Task.EndMessage.find(": read error: "), std::string::npos) << Task.EndMessage;
  EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(DamagedInputTest, AClockJumpOfAnHourIsCorrectedNotFilled) {
  // Encoded: without the correction the video path would fill the hour with copies of a picture.
  const std::string encoded = Temp.File("jump.mp4");
  Convert(Media("jump.mkv"), encoded, {{"vcodec", "mpeg4"}, {"acodec", "aac"}});
  ASSERT_FALSE(Task.Failed) << Task.EndMessage;
  EXPECT_TRUE(Task.Finished);
  EXPECT_TRUE(LoggedStart("timestamp discontinuity "));
  EXPECT_NEAR(Facts(encoded, AVMEDIA_TYPE_VIDEO).Seconds, 2.0, 0.3);
  EXPECT_NEAR(Facts(encoded, AVMEDIA_TYPE_AUDIO).Seconds, 2.0, 0.3);

  // Copied: the packets keep their order and lose the gap.
  const std::string copied = Temp.File("jump-copy.mkv");
  Convert(Media("jump.mkv"), copied, {{"vcodec", "copy"}, {"acodec", "copy"}});
  ASSERT_FALSE(Task.Failed) << Task.EndMessage;
  EXPECT_NEAR(Facts(copied, AVMEDIA_TYPE_VIDEO).Seconds, 2.0, 0.3);
  EXPECT_NEAR(Facts(copied, AVMEDIA_TYPE_AUDIO).Seconds, 2.0, 0.3);

}

// A copy of the file with the bytes of every packet of the stream overwritten where the file holds
// them (the container's own structure stays whole): the first packet's with 0xFF, the others' with
// a running pattern.
void DamageStream(const std::string &source, const std::string &copy, int stream) {
  std::ifstream in(source, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  AVFormatContext *context = nullptr;
  ASSERT_GE(AVFormat.avformat_open_input(&context, source.c_str(), nullptr, nullptr), 0);
  AVPacket *pkt = AVCodecLib.av_packet_alloc();
  int damaged = 0;
  while (AVFormat.av_read_frame(context, pkt) >= 0) {
    const size_t at = pkt->stream_index == stream && pkt->pos >= 0
                          ? bytes.find(std::string(reinterpret_cast<const char *>(pkt->data), static_cast<size_t>(pkt->size)),
                                       static_cast<size_t>(pkt->pos))
                          : std::string::npos;
    for (size_t i = 0; at != std::string::npos && i < static_cast<size_t>(pkt->size); ++i)
      bytes[at + i] = static_cast<char>(damaged == 0 ? 0xFF : i * 37 + 1);
    damaged += at != std::string::npos;
    AVCodecLib.av_packet_unref(pkt);
  }
  AVCodecLib.av_packet_free(&pkt);
  AVFormat.avformat_close_input(&context);
  EXPECT_GT(damaged, 1);
  std::ofstream(copy, std::ios::binary) << bytes;
}

TEST_F(DamagedInputTest, DamagedSubtitlesToBurnLeaveThePicturesAsTheyAre) {
  const std::string source = Temp.File("damaged-dvdsubs.mkv"), output = Temp.File("burned.mkv");
  DamageStream(Media("dvdsubs.mkv"), source, 2);
  Convert(source, output, {{"vcodec", "mpeg4"}, {"an", ""}, {"sn", ""}, {"sburn", "0:2"}});
  ASSERT_FALSE(Task.Failed) << Task.EndMessage;
  EXPECT_TRUE(Task.Finished);
  EXPECT_NEAR(Facts(output, AVMEDIA_TYPE_VIDEO).Seconds, 3.0, 0.3);
}

TEST_F(DamagedInputTest, NoOutputOutgrowsTheInput) {
  // Video stamped a hundred times too slow, in steps below the discontinuity threshold: the two
  // seconds would claim two hundred. Nothing is written past the input's length plus a margin,
  // the task says why, the audio is whole, and the task succeeds with what it has.
  const std::string output = Temp.File("slow.mkv");
  Convert(Media("clip15.mkv"), output, {{"vcodec", "copy"}, {"acodec", "copy"}}, {{"itsscale", "0:100"}});
  ASSERT_FALSE(Task.Failed) << Task.EndMessage;
  EXPECT_TRUE(Task.Finished);
  EXPECT_TRUE(LoggedStart("Output stream #0.0 reached ")) << "the task says why it stopped";
  EXPECT_LT(Facts(output, AVMEDIA_TYPE_VIDEO).Seconds, 2.0 * 1.05 + 5.0 + 0.1);
  EXPECT_NEAR(Facts(output, AVMEDIA_TYPE_AUDIO).Seconds, 2.0, 0.3);
}

TEST_F(DamagedInputTest, AWriteFailureMidFileRemovesTheOutput) {
  const std::string output = Temp.File("full.mkv");
  {
    const TFileSizeLimit limit(20000);
    Convert(Media("clip25.avi"), output, {{"vcodec", "mpeg4"}, {"acodec", "mp2"}});
  }
  EXPECT_TRUE(Task.Failed);
  EXPECT_NE(Task.EndMessage.find("()"), std::string::npos) << Task.EndMessage; // the failing call is named
  EXPECT_FALSE(std::filesystem::exists(output)) << "a failed task leaves no broken file";

  // A failure never removes what is not a file of its own.
  Task.Reset();
  ASSERT_TRUE(Task.OpenInputFile(Media("mismatch.mp4")));
  Task.SetOption("f", "matroska");
  Task.SetOption("s", "160x120");
  Task.SetOption("vcodec", "mpeg4");
  Task.SetOption("acodec", "mp2");
  ASSERT_GE(Task.OpenOutputFile("/dev/null"), 0) << Task.ErrorText();
  ASSERT_TRUE(RunBounded());
  EXPECT_TRUE(Task.Failed);
  EXPECT_TRUE(std::filesystem::exists("/dev/null"));
}

TEST_F(DamagedInputTest, OnlyRegularFilesAreOpened) {
  const std::string pipe = Temp.File("pipe.mpg");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  {
    // Opening the pipe's other end wakes a reader blocked on it.
    const TWatchdog watchdog(10s, [pipe] { close(open(pipe.c_str(), O_WRONLY | O_NONBLOCK)); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Task.OpenInputFile(pipe));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "the open blocked on the pipe";
  }
  EXPECT_EQ(Task.ErrorText(), pipe + ": is a named pipe, not a regular file");
  EXPECT_FALSE(Task.OpenInputFile("/dev/zero"));
  EXPECT_EQ(Task.ErrorText(), "/dev/zero: is a character device, not a regular file");
}

} // namespace
