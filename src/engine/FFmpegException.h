#pragma once
#include <stdexcept>
#include <string>

// The one exception of every engine failure; a task's thread reports its message.
class FFmpegException : public std::runtime_error {
public:
  explicit FFmpegException(const std::string &message) : std::runtime_error(message) {}
};
