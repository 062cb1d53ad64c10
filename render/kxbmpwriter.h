// Writes 24-bit BMP files: the format the texture loader reads.
#pragma once

#include <cstdint>

// Writes width x height pixels of 3 bytes each (blue, green, red), rows
// rowStride bytes apart with the top row first, as a bottom-up 24-bit BMP.
// The file appears whole or not at all: it is written under a temporary
// name and renamed. False on any error.
bool KxWriteBmpFile(const char* path, const uint8_t* pixels, int32_t width, int32_t height, int32_t rowStride);
