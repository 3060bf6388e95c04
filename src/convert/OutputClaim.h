#pragma once
// An output is written under a temporary name beside its final one (hidden, ending in ".part"), so
// that no player or file manager takes a half-written file for a finished one; it gets its final
// name only once it is complete. The temporary file is also the claim on the final name: it exists,
// locked, from before its task starts until the task has ended, so two files of one run or of two
// programs (the window and the headless converter) never pick the same name. A claim whose program
// was killed leaves its temporary file unlocked, and whoever meets it next removes it.
#include <string>

// ".name.ext.part" in the folder of the final name.
std::string TemporaryOutputName(const std::string &finalName);

// True when a live claim holds the final name. An abandoned temporary file of that name is removed
// on the way, so the name is free again.
bool OutputNameClaimed(const std::string &finalName);

class TOutputClaim {
public:
  TOutputClaim() = default;
  TOutputClaim(const TOutputClaim &) = delete;
  TOutputClaim &operator=(const TOutputClaim &) = delete;
  // A claim that was never completed is given up: its temporary file goes.
  ~TOutputClaim();

  // Creates the locked temporary file of the final name. False, with the reason, when another claim
  // holds the name or the folder refuses the file.
  bool Claim(const std::string &finalName, std::string &error);
  bool Held() const { return FFd >= 0; }
  const std::string &FinalName() const { return FFinal; }
  const std::string &TemporaryName() const { return FTemp; }

  // The task's end. keep: the output moves, made durable first, under its final name; otherwise,
  // or when nothing was written, it is removed. False, with the reason, when the move failed.
  bool Finish(bool keep, std::string &error);

private:
  void Release();

  std::string FFinal, FTemp;
  int FFd = -1;
};
