#pragma once
// A file replaced whole: the new content is written beside it, made durable and renamed over it, so
// a crash or a power cut at any moment leaves the old file or the new one, never a mix or an empty one.
#include <string>

namespace platform {

// False, with the reason, when the file cannot be written; the old one then stays as it was.
bool ReplaceFileWhole(const std::string &path, const std::string &content, std::string &error);

} // namespace platform
