#pragma once
// JPEG pictures through libjpeg: baseline, colour, at a given quality.
#include <cstdint>
#include <string>
#include <vector>

class TBitmap;

// Encodes the bitmap into bytes; false with the library's message in error.
bool EncodeJpeg(const TBitmap &bitmap, int quality, std::vector<uint8_t> &bytes, std::string &error);
