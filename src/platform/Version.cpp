#include "platform/Version.h"

namespace platform {
std::string ProgramVersion() {
  return std::to_string(TVL_VERSION_MAJOR) + "." + std::to_string(TVL_VERSION_MINOR) + "." +
         std::to_string(TVL_VERSION_RELEASE);
}
} // namespace platform
