#pragma once
// A source that stops being readable halfway, as a drive pulled out does: the first half of a
// file arrives through a terminal's master side, whose reads then fail with EIO once the other
// side has closed. Open it as "pipe:<fd>" (Url()).
#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "TempFolder.h"

class TBrokenSource {
public:
  explicit TBrokenSource(const std::string &file) : FMaster(::posix_openpt(O_RDWR | O_NOCTTY)) {
    if (FMaster < 0 || ::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0)
      return;
    const int slave = ::open(::ptsname(FMaster), O_RDWR | O_NOCTTY);
    if (slave < 0)
      return;
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    FWriter = std::thread([slave, data = TTempFolder::ReadFile(file)] {
      for (std::size_t put = 0; put < data.size() / 2;) {
        const ssize_t n = ::write(slave, data.data() + put, std::min<std::size_t>(data.size() / 2 - put, 1024));
        if (n <= 0)
          break;
        put += static_cast<std::size_t>(n);
      }
      ::close(slave);
    });
  }
  ~TBrokenSource() {
    Finish();
    if (FMaster >= 0)
      ::close(FMaster);
  }
  TBrokenSource(const TBrokenSource &) = delete;
  TBrokenSource &operator=(const TBrokenSource &) = delete;

  bool Ready() const { return FWriter.joinable(); }
  std::string Url() const { return "pipe:" + std::to_string(FMaster); }
  // Waits until the half has been written and the other side closed.
  void Finish() {
    if (FWriter.joinable())
      FWriter.join();
  }

private:
  int FMaster;
  std::thread FWriter;
};
