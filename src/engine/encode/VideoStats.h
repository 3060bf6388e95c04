#pragma once
// The video statistics file (vstats_file): one line per encoded video frame.
#include <cstdio>
#include <memory>
#include <string>

struct AVCodecContext;
class TVideoOut;

class TVideoStats {
public:
  explicit TVideoStats(std::string fileName) : FFileName(std::move(fileName)) {}

  // Opens the file on first use ("fopen fail: " + name when it cannot) and writes the line of the
  // frame just encoded into a packet of frameSize bytes; videoBytes is the task's total so far.
  void Write(const TVideoOut &out, const AVCodecContext *enc, int frameSize, int64_t videoBytes);

private:
  struct TClose {
    void operator()(std::FILE *file) const { std::fclose(file); }
  };
  std::string FFileName;
  std::unique_ptr<std::FILE, TClose> FFile;
};
