#pragma once
#include <exception>
#include <string>

namespace platform {
// Exceptions that escape a command are dropped for the user, but never silently: each one is
// written to standard error so the fault can be found.
void ReportDroppedException(const std::string &where, std::exception_ptr error);
} // namespace platform
