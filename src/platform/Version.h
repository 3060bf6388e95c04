#pragma once
#include <string>

namespace platform {
// The program version stamped by the build: "major.minor.release".
std::string ProgramVersion();
} // namespace platform
