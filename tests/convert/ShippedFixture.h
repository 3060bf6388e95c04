#pragma once
// The profiles the program ships, converting the generated media one file at a time.
#include <functional>
#include <string>
#include <vector>

#include "ConvertFixture.h"
#include "convert/ConvertHelpers.h"

// The shipped profile whose name starts with the text.
inline int ShippedProfile(const TIniOptions &profiles, const std::string &name) {
  for (std::size_t i = 0; i < profiles.Formats.size(); ++i)
    if (profiles.Formats[i].Name.rfind(name, 0) == 0)
      return static_cast<int>(i);
  return -1;
}

// Chooses "Keep original frame rate" where the profile offers it.
inline void KeepFrameRate(TFormatRec &profile) {
  std::vector<std::string> rates;
  TIniOptions::SplitList(profile.Framerate, rates);
  for (std::size_t i = 0; i < rates.size(); ++i)
    if (LowerCase(rates[i]) == "keep original frame rate")
      profile.FramerateValue = static_cast<int32_t>(i);
}

class TShippedTest : public TConvertTest {
protected:
  void SetUp() override {
    Profiles.LoadFromFile(std::string(TVL_BIN_DIR) + "/VideoConverter.ini");
    TConvertTest::SetUp();
    for (TFormatRec &profile : Profiles.Formats)
      KeepFrameRate(profile);
    H264 = ShippedProfile(Profiles, "MP4 - H.264");
    Phone3gp = ShippedProfile(Profiles, "3GP");
    Mp3 = ShippedProfile(Profiles, "MP3");
    ASSERT_TRUE(H264 >= 0 && Phone3gp >= 0 && Mp3 >= 0);
  }

  // Queues and converts one file with the profile, its record changed by edit first; the output's
  // path, or "" with the failure recorded.
  std::string Convert(const std::string &source, int profile, const std::function<void(TInputFile &)> &edit = {}) {
    Driver.Clear();
    if (Driver.AddFile(source) != 0) {
      ADD_FAILURE() << source << " was refused";
      return "";
    }
    if (edit)
      edit(Driver.Files[0]);
    if (!Driver.BuildRun(profile, Out()) || Driver.Engine.TaskTotal() != 1) {
      ADD_FAILURE() << "no task: " << Driver.BuildError() << Driver.Files[0].StatusText;
      return "";
    }
    if (!RunToEnd()) {
      ADD_FAILURE() << "the run did not end";
      return "";
    }
    const TInputFile &file = Driver.Files[0];
    Driver.EndRun();
    EXPECT_EQ(file.Status, csSuccess) << file.StatusText;
    return file.Status == csSuccess ? file.OutputOptions.FileName : "";
  }

  int H264 = -1, Phone3gp = -1, Mp3 = -1;
};
