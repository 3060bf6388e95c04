#pragma once
// The first pass's statistics file of one encoder. Most encoders give their statistics with each
// packet; some (libvpx) gather them over the whole pass and give them only when drained, with no
// packet at all, so the statistics are taken once more at the end.
#include <cstdio>
#include <memory>
#include <string>

struct AVCodecContext;

class TPassLog {
public:
  // Creates the file; false when it cannot be written.
  bool Open(const std::string &name);
  bool IsOpen() const { return static_cast<bool>(FFile); }
  // After each packet the encoder gave.
  void AfterPacket(const AVCodecContext &encoder);
  // After the encoder was drained: its statistics unless they were written last already.
  void AfterDrain(const AVCodecContext &encoder);

private:
  struct TClose {
    void operator()(std::FILE *file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, TClose> FFile;
  std::string FLast; // the statistics written last
};
