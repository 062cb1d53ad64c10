// What the GDI part of kxwin32.h (kxwin32_gdi.cpp) asks of the window
// system beneath it: SDL2 video (kxwin32_sdl.cpp), or none at all in a build
// without one (kxwin32_offscreen.cpp), where no handle is a window.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/kxwin32.h"

#ifndef _WIN32

// Window handles are checked against the live windows before use: stale
// handles are common (queued messages, the device after the window is gone).
bool KxIsWindow(HWND hwnd);

// A 24-bit DIB section's pixels: rows of blue, green, red bytes.
struct KxDibPixels {
    const uint8_t* pBits;
    int nWidth;
    int nHeight;
    bool bTopDown;
    ptrdiff_t nRowStride;
};

// Copies the width x height block at (srcX, srcY) of the image, rows
// counted from its top, to (x, y) of the window's client area, clipped to
// both; FALSE when the window cannot be drawn on.
BOOL KxBlitToWindow(HWND hwnd, const KxDibPixels& dib, int x, int y, int width, int height, int srcX, int srcY);

// The other way: the window system lets the GDI part forget the device
// contexts of a window being destroyed.
void KxReleaseWindowDcs(HWND hwnd);

#endif
