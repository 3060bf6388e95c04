#pragma once
// How long a media file lasts by its container, in seconds; -1 when it cannot be opened.
#include <string>

double FileDuration(const std::string &file);
