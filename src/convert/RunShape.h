#pragma once
// How many files of a run convert at once, and how the cores are shared among them. A file that
// cannot fill the cores (sound only, a small picture) leaves them idle when files run one by one;
// big pictures fill them alone, and several at once would only add memory.
#include <cstdint>
#include <string>

struct TRunShape {
  int Simultaneous = 1; // tasks converting at once
  int CodecThreads = 0; // per task; 0 leaves it to the libraries (every core)
};

// A picture of at most this many pixels keeps one core busy, not many.
inline constexpr int64_t SmallPicturePixels = 640 * 480;
// At most this many tasks at once, whatever the cores: each holds its own codecs and queues.
inline constexpr int MaxSimultaneous = 16;

// The pixels of a "WxH" (or "W*H") size; 0 when the text is no size.
int64_t SizePixels(const std::string &size);

// Whether a file's conversion is light: it writes no picture, or a small one. outputSize is the
// profile's "WxH" ("" keeps the source's size, sourcePixels; 0 when unknown, which counts as big).
bool IsLightConversion(bool writesPicture, const std::string &outputSize, int64_t sourcePixels);

// The shape of a run of files, allLight when every one of them is light. requested is the user's
// choice (0 automatic, else that many at once). When several run at once, the cores are shared out
// among them, unless the user has set the codec threads (threadsSet).
TRunShape ShapeRun(int requested, int cores, int files, bool allLight, bool threadsSet);

// The setting's value as a count: 0 (automatic) for an empty or unreadable text, else at most
// MaxSimultaneous.
int SimultaneousSetting(const std::string &text);
