#pragma once
// Desktop notifications: a short message the desktop shows outside the program's windows.
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

class TNotifier {
public:
  virtual ~TNotifier() = default;
  // False when there is no notification service to tell.
  virtual bool Notify(const std::string &title, const std::string &text) = 0;
};

// Without a desktop session nobody is told.
class TNoNotifier : public TNotifier {
public:
  bool Notify(const std::string &, const std::string &) override { return false; }
};

class TRecordingNotifier : public TNotifier {
public:
  bool Notify(const std::string &title, const std::string &text) override;
  std::vector<std::pair<std::string, std::string>> Shown; // title, text
};

TNotifier &Notifier();
void SetNotifier(std::unique_ptr<TNotifier> notifier);

} // namespace platform
