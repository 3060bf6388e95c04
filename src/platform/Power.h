#pragma once
#include <memory>

namespace platform {

class TPower {
public:
  virtual ~TPower() = default;
  // Asks the system to power the computer off; false when it refused.
  virtual bool PowerOff() = 0;
};

// Asks systemd-logind, through systemctl, to power off.
class TLogindPower : public TPower {
public:
  bool PowerOff() override;
};

// Counts the requests; tests install it so nothing is ever powered off.
class TRecordingPower : public TPower {
public:
  bool PowerOff() override;
  int Requests = 0;
};

TPower &Power();
void SetPower(std::unique_ptr<TPower> power);

} // namespace platform
