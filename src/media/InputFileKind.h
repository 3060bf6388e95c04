#pragma once
// Inputs are read from regular files only: opening a named pipe, a socket or a device would block
// or read without end, so such a path is refused before the library touches it.
#include <string>

// Empty when the path is a regular file or names nothing in the file system (the library then
// reports that itself); else the refusal, naming the file and what it is.
std::string NotRegularFileText(const std::string &path);
