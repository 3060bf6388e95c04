#pragma once
// File names as the program shows them: in a window's caption, a row or a console line alike.
#include <string>

// The text with control characters written as \n, \r, \t or \xHH and backslashes doubled, so a
// name stays one line; other bytes, UTF-8 included, stay as they are.
std::string EscapeControls(const std::string &text);
