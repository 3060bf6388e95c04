#pragma once
// The video filters that draw a source's text subtitle track into the picture.
#include <cstdint>
#include <string>

// The text as one option value inside a filter graph: escaped for the filter's options (\ : ')
// and then for the graph (\ ' [ ] , ;), so any file name reaches the filter whole.
std::string FilterGraphValue(const std::string &text);

// Draws the file's subtitle stream number `index` (0 = its first subtitle stream). The filter reads
// times from the file; the pictures reaching it start at 0 however late the file or its trim starts,
// so their times are shifted to the file's (startMs: the source time of the first) and back.
std::string BurnInFilter(const std::string &path, int index, int64_t startMs);
