#pragma once
// The time windows show to the user (elapsed, remaining). Tests script it.
#include <cstdint>
#include <memory>

namespace platform {

class TClock {
public:
  virtual ~TClock() = default;
  // Milliseconds on a clock that never goes back.
  virtual int64_t NowMs() const = 0;
};

class TSteadyClock : public TClock {
public:
  int64_t NowMs() const override;
};

// Stands still until a test moves it.
class TScriptedClock : public TClock {
public:
  int64_t NowMs() const override { return Now; }
  void Advance(int64_t ms) { Now += ms; }
  int64_t Now = 0;
};

TClock &Clock();
void SetClock(std::unique_ptr<TClock> clock);

} // namespace platform
