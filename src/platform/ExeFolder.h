#pragma once
#include <string>

namespace platform {

// The folder of the running executable with a trailing "/". Every fixed path of the program is this
// folder plus a relative path.
std::string ExeFolder();

// Tests and tools point the program at another installation folder.
void SetExeFolder(const std::string &folder);

} // namespace platform
