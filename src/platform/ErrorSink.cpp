#include "platform/ErrorSink.h"

#include <cstdio>
#include <stdexcept>

namespace platform {
void ReportDroppedException(const std::string &where, std::exception_ptr error) {
  std::string what = "unknown exception";
  try {
    if (error)
      std::rethrow_exception(error);
  } catch (const std::exception &e) {
    what = e.what();
  } catch (...) {
  }
  std::fprintf(stderr, "tavrelle: exception dropped in %s: %s\n", where.c_str(), what.c_str());
}
} // namespace platform
