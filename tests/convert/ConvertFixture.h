#pragma once
// A conversion driver on the system's media libraries with a small set of profiles that the
// Debian encoders can all convert with, and the generated test media.
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>

#include <gtest/gtest.h>

#include "convert/ConvertUnt.h"
#include "media/AVUtilStubs.h"

#include "../TempFolder.h"

inline std::string Media(const std::string &name) { return std::string(TVL_TEST_MEDIA_DIR) + name; }

inline TFormatRec TestProfile(const std::string &name, const std::string &ext, int category) {
  TFormatRec p;
  p.Name = name;
  p.Ext = ext;
  p.Category = category;
  p.SampleRate = "22050 Hz,44100 Hz";
  p.AudioBitrate = "64 kbps,128 kbps";
  p.Channel = "1 Channel Mono,2 Channels Stereo";
  p.Volume = 256;
  if (ext == ".mp3") {
    p.AudioEncoder = "MP3 Audio";
  } else {
    p.AudioEncoder = "MPEG-2 Audio";
    p.Resolution = "160*120,320*240";
    p.Framerate = "25 fps,Keep original frame rate";
    p.FramerateValue = 1;
    p.VideoEncoder = "MPEG-1 Video";
    p.VideoBitRate = "200 kbps";
  }
  return p;
}

// Profile indexes of the fixture's store.
enum { AudioMp3, VideoMpg, KeepVideoMpg };

class TConvertTest : public ::testing::Test {
protected:
  TConvertTest() {
    Profiles.Formats = {TestProfile("Audio", ".mp3", 0), TestProfile("Video", ".mpg", 1),
                        TestProfile("Keep", ".mpg", 2)};
    Profiles.FormatCount = static_cast<int>(Profiles.Formats.size());
  }

  void SetUp() override {
    ASSERT_TRUE(Driver.LoadLibraries()) << Driver.Engine.ErrorText();
    Driver.Engine.SetLogLevel(llQuiet);
    std::filesystem::create_directories(Out());
  }

  std::string Out() const { return Temp.Folder() + "out/"; }

  // Runs the tasks built in the driver, writing each end report into its file; false when the run
  // has not ended within the time.
  bool RunToEnd(std::chrono::seconds limit = std::chrono::minutes(2)) {
    std::mutex lock;
    std::condition_variable done;
    bool allEnded = false;
    Driver.Engine.OnTerminate = [&](int index, bool finished, bool failed, const std::string &message) {
      Driver.TaskEnded(index, finished, failed, message);
      if (index < 0) {
        std::lock_guard guard(lock);
        allEnded = true;
        done.notify_all();
      }
    };
    Driver.StartConversion();
    std::unique_lock guard(lock);
    const bool ended = done.wait_for(guard, limit, [&] { return allEnded; });
    guard.unlock();
    if (!ended) { // the tasks end before the handler's locals go
      Driver.Engine.StopTasks();
      Driver.EndRun();
    }
    Driver.Engine.OnTerminate = nullptr;
    return ended;
  }

  // A copy of a test file under the temporary folder, so paths can repeat across folders.
  std::string Copy(const std::string &media, const std::string &as) const {
    const std::filesystem::path target = Temp.Path() / as;
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(Media(media), target, std::filesystem::copy_options::overwrite_existing);
    return target.string();
  }

  TTempFolder Temp;
  TIniOptions Profiles;
  TTvlConvert Driver{Profiles};
};
