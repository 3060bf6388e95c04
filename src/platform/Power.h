#pragma once
// Keeping the desktop awake during a run, and powering the computer off after it.
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

class TPower {
public:
  virtual ~TPower() = default;
  // Keeps the computer from sleeping or idling until ReleaseSleep; false when the system refused.
  virtual bool InhibitSleep(const std::string &who, const std::string &why) = 0;
  virtual void ReleaseSleep() = 0;
  // Asks the system to power off without overriding other programs; false, with the system's
  // reason, when it refused.
  virtual bool PowerOff(std::string &reason) = 0;
};

// Without a desktop session nothing can be asked: every request is refused.
class TNoPower : public TPower {
public:
  bool InhibitSleep(const std::string &, const std::string &) override { return false; }
  void ReleaseSleep() override {}
  bool PowerOff(std::string &reason) override;
};

// Records the requests and never touches the system; Refusal, when set, refuses the power-off.
class TRecordingPower : public TPower {
public:
  bool InhibitSleep(const std::string &who, const std::string &why) override;
  void ReleaseSleep() override;
  bool PowerOff(std::string &reason) override;

  std::vector<std::pair<std::string, std::string>> Inhibits; // who, why
  bool Inhibited = false;
  int Releases = 0;
  int Requests = 0;
  std::string Refusal;
};

TPower &Power();
void SetPower(std::unique_ptr<TPower> power);

} // namespace platform
