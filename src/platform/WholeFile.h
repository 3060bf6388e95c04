#pragma once
// Replaces a file as one piece: a crash or a power cut at any moment leaves either the old file or
// the new one, whole, never a mix or an empty file.
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Where the write lands: through symbolic links to the file they name, so a link stays a link.
std::string WriteTargetOf(const std::string &path);

// Writes contents to a temporary file beside the target, syncs it, renames it over the target (which
// keeps its permissions) and syncs the folder. False, with the reason in error, when any step fails;
// the target is then unchanged. atStep, when given, is called after each step by name ("created",
// "half written", "written", "synced", "renamed"): a test stops the process there as a crash would.
bool WriteWholeFile(const std::string &path, std::string_view contents, std::string &error,
                    const std::function<void(const char *step)> &atStep = {});

// Why no file can be made in folder ("Permission denied", "Read-only file system", "No space left on
// device"), found by making and removing one; empty when it can.
std::string WriteProblemIn(const std::string &folder);

} // namespace platform
