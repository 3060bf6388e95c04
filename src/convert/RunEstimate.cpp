#include "convert/RunEstimate.h"

#include "convert/ConvertHelpers.h"

#include <algorithm>
#include <charconv>

void TRunEstimate::Start(int64_t now, int taskTotal) {
  *this = TRunEstimate();
  FStart = now;
  FTaskTotal = taskTotal;
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
  if (task < FTask || task < 0)
    return;
  if (task > FTask) {
    FEndedMediaMs += FCurrentMediaMs;
    FTask = task;
  }
  FCurrentMediaMs = std::max<int64_t>(doneMs, 0);
  FTaskShare =
      totalMs > 0 ? std::clamp(static_cast<double>(doneMs) / static_cast<double>(totalMs), 0.0, 1.0) : 0;
}

int64_t TRunEstimate::ElapsedMs(int64_t now) const {
  const int64_t paused = FPausedMs + (FPausedSince >= 0 ? now - FPausedSince : 0);
  return std::max<int64_t>(now - FStart - paused, 0);
}

double TRunEstimate::Share() const {
  if (FTaskTotal <= 0 || FTask < 0)
    return 0;
  return std::min((FTask + FTaskShare) / FTaskTotal, 1.0);
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
  return elapsed > 0 ? static_cast<double>(FEndedMediaMs + FCurrentMediaMs) / static_cast<double>(elapsed)
                     : 0;
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
