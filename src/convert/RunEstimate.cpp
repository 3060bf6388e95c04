#include "convert/RunEstimate.h"

#include "convert/ConvertHelpers.h"

#include <algorithm>
#include <charconv>

void TRunEstimate::Start(int64_t now, int taskTotal, int simultaneous) {
  *this = TRunEstimate();
  FStart = now;
  FSimultaneous = simultaneous;
  FTasks.resize(static_cast<std::size_t>(std::max(taskTotal, 0)));
}

void TRunEstimate::Pause(int64_t now) {
  if (FPausedSince < 0)
    FPausedSince = now;
}

void TRunEstimate::Resume(int64_t now) {
  if (FPausedSince < 0)
    return;
  FPausedMs += now - FPausedSince;
  FPausedSince = -1;
}

void TRunEstimate::Progress(int64_t, int task, int64_t doneMs, int64_t totalMs) {
  if (task < 0 || task >= static_cast<int>(FTasks.size()))
    return;
  if (FSimultaneous <= 1)
    for (int before = 0; before < task; ++before)
      Ended(before);
  TTaskProgress &progress = FTasks[static_cast<std::size_t>(task)];
  if (progress.Ended)
    return;
  progress.MediaMs = std::max<int64_t>(doneMs, 0);
  progress.Share =
      totalMs > 0 ? std::clamp(static_cast<double>(doneMs) / static_cast<double>(totalMs), 0.0, 1.0) : 0;
}

void TRunEstimate::Ended(int task) {
  if (task >= 0 && task < static_cast<int>(FTasks.size())) {
    FTasks[static_cast<std::size_t>(task)].Ended = true;
    FTasks[static_cast<std::size_t>(task)].Share = 1;
  }
}

int64_t TRunEstimate::ElapsedMs(int64_t now) const {
  const int64_t paused = FPausedMs + (FPausedSince >= 0 ? now - FPausedSince : 0);
  return std::max<int64_t>(now - FStart - paused, 0);
}

double TRunEstimate::Share() const {
  if (FTasks.empty())
    return 0;
  double sum = 0;
  for (const TTaskProgress &progress : FTasks)
    sum += progress.Share;
  return std::min(sum / static_cast<double>(FTasks.size()), 1.0);
}

int64_t TRunEstimate::RemainingMs(int64_t now) const {
  const double share = Share();
  const int64_t elapsed = ElapsedMs(now);
  if (share <= 0 || elapsed <= 0)
    return -1;
  return static_cast<int64_t>(static_cast<double>(elapsed) * (1 - share) / share);
}

double TRunEstimate::Speed(int64_t now) const {
  const int64_t elapsed = ElapsedMs(now);
  int64_t mediaMs = 0;
  for (const TTaskProgress &progress : FTasks)
    mediaMs += progress.MediaMs;
  return elapsed > 0 ? static_cast<double>(mediaMs) / static_cast<double>(elapsed) : 0;
}

std::string TRunEstimate::Text(int64_t now) const {
  const int64_t remaining = RemainingMs(now);
  std::string speed = "--";
  if (const double s = Speed(now); s > 0) {
    char digits[32];
    // Locale-independent: the window shows "2.5x" whatever the user's decimal separator.
    const auto result = std::to_chars(digits, digits + sizeof digits, s, std::chars_format::fixed, 1);
    speed = std::string(digits, result.ptr) + "x";
  }
  return "Elapsed: " + FormatSeconds(static_cast<int32_t>(ElapsedMs(now) / 1000)) + "   Remaining: " +
         (remaining < 0 ? std::string("--:--")
                        : FormatSeconds(static_cast<int32_t>((remaining + 999) / 1000))) +
         "   Speed: " + speed;
}
