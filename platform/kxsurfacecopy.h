// Conversion of a block of 24-bit DIB pixels to an SDL surface, the work of
// presenting one frame.
#pragma once

#ifndef _WIN32

#include <cstddef>
#include <cstdint>

struct SDL_Surface;

// Copies width x height pixels to (x, y) of the surface, converting to its
// pixel format. pSource points at the block's top row; each pixel is the
// bytes blue, green, red and rows are sourceStride bytes apart (negative for
// a bottom-up bitmap). The caller clips the block to both images. Returns
// false when the surface cannot be written.
bool KxCopyBgrToSurface(const uint8_t* pSource, ptrdiff_t sourceStride, SDL_Surface* pSurface,
                        int x, int y, int width, int height);

#endif
