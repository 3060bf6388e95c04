// What the sound device receives, read back from SDL's disk driver: volume, mute, and real
// decoder formats converted and mixed down; and playing on without a sound device.
#include "PlayerFixture.h"

#include <fstream>
#include <iterator>

namespace {

class TAudioOutputTest : public TPlayerTest {
protected:
  void SetUp() override {
    TPlayerTest::SetUp();
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", Temp.File("out.raw").c_str(), 1);
  }

  // Plays the file to its end and returns the 16-bit samples the device was given.
  std::vector<int16_t> Play(const std::string &name) {
    {
      std::lock_guard guard(Lock);
      States.clear();
    }
    EXPECT_TRUE(Player.Open(Media(name), &Host)) << Player.LastError();
    EXPECT_TRUE(PumpUntil([&] { return Reported(psEnd); }));
    Player.Stop(true);
    std::ifstream in(Temp.File("out.raw"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
  }

  static int Peak(const std::vector<int16_t> &samples) {
    int peak = 0;
    for (int16_t s : samples)
      peak = std::max(peak, std::abs(static_cast<int>(s)));
    return peak;
  }

  TTempFolder Temp;
};

TEST_F(TAudioOutputTest, VolumeAndMuteReachTheDevice) {
  const int full = Peak(Play("tone.wav"));
  EXPECT_GT(full, 12000); // a half-scale tone
  Player.SetAudioVolume(32);
  const int quarter = Peak(Play("tone.wav"));
  EXPECT_GT(quarter, full / 6);
  EXPECT_LT(quarter, full / 3);
  Player.SetAudioVolume(0);
  EXPECT_EQ(Peak(Play("tone.wav")), 0);
  Player.SetAudioVolume(128);
  Player.SetMute(true);
  EXPECT_EQ(Peak(Play("tone.wav")), 0);
  Player.SetAudioVolume(500);
  EXPECT_EQ(Player.AudioVolume(), 128);
}

TEST_F(TAudioOutputTest, PlanarAndSurroundSourcesPlayAsAStereoTone) {
  // AAC decodes to planar float; the 5.1 source is mixed down. Noise or a wrong channel order would
  // show as far too many zero crossings or as unequal channels.
  for (const char *name : {"stereo.m4a", "surround.m4a"}) {
    SCOPED_TRACE(name);
    const std::vector<int16_t> samples = Play(name);
    ASSERT_GT(samples.size(), 22050u) << ::testing::PrintToString(Logs);
    EXPECT_GT(Peak(samples), 6000);
    int crossings = 0;
    int loud = 0;
    int unequal = 0;
    for (size_t i = 2; i + 1 < samples.size(); i += 2) {
      const int left = samples[i], right = samples[i + 1];
      if (std::abs(left) > 2000)
        ++loud;
      if ((samples[i - 2] < 0) != (left < 0) && std::abs(left - samples[i - 2]) < 8000)
        ++crossings;
      unequal += std::abs(left - right) > 64;
    }
    ASSERT_GT(loud, 5000);
    // 440 Hz at 22050 frames per second: 880 crossings a second, about 40 per 1000 frames.
    const double perThousand = 1000.0 * crossings / (samples.size() / 2.0);
    EXPECT_GT(perThousand, 25);
    EXPECT_LT(perThousand, 45);
    EXPECT_LT(unequal, static_cast<int>(samples.size() / 200));
  }
}

TEST_F(TPlayerTest, WithoutASoundDeviceTheVideoPlaysAlone) {
  setenv("SDL_AUDIODRIVER", "none-here", 1);
  ASSERT_TRUE(Player.Open(Media("short.mp4"), &Host)) << Player.LastError();
  ASSERT_TRUE(PumpUntil([&] { return Count(psEnd) > 0 && !Positions.empty() && Positions.back() == Duration; }));
  EXPECT_GT(Host.PictureCount(), 3);
  bool reported = false;
  for (const std::string &line : Logs)
    reported |= line.rfind("SDL_OpenAudio() failed: ", 0) == 0;
  EXPECT_TRUE(reported);
  Player.Stop(true);
  // Sound alone has nothing to play then.
  EXPECT_FALSE(Player.Open(Media("tone.wav"), &Host));
  EXPECT_NE(Player.LastError().find("could not open codecs, no stream to play."), std::string::npos);
}

} // namespace
