#pragma once
// A reset task on the system's media libraries, with its log lines collected.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/FFmpeg.h"
#include "engine/FFmpegException.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

#include "../TempFolder.h"

inline std::string Media(const std::string &name) { return std::string(TVL_TEST_MEDIA_DIR) + name; }

class TEngineTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFLoader.LibraryPath.clear();
    ASSERT_TRUE(FFLoader.LoadLibraries(EngineLibraries)) << FFLoader.LastError();
    Task.Reset();
    AVUtil.av_log_set_level(AV_LOG_QUIET);
    Task.OnLog = [this](int level, const std::string &text) { Logs.emplace_back(level, text); };
  }

  bool Logged(const std::string &text) const {
    for (const auto &line : Logs)
      if (line.second == text)
        return true;
    return false;
  }

  // The message of the FFmpegException the call raises, or "" when it raises none.
  template <typename F> static std::string Refusal(F &&call) {
    try {
      call();
    } catch (const FFmpegException &e) {
      return e.what();
    }
    return "";
  }

  const TTaskSettings &S() const { return Task.Settings(); }

  TFFmpeg Task;
  std::vector<std::pair<int, std::string>> Logs;
  TTempFolder Temp;
};
