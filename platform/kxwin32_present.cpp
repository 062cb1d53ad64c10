// The last step of BitBlt to a window over SDL2: the DIB block clipped to
// the window's surface, converted into it and shown.
#include "platform/kxsurfacecopy.h"
#include "platform/kxwin32_sdl.h"

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <algorithm>

namespace {

// The part of a width x height block at (x, y) that lies inside both the
// destination and the source image, with the source origin moved along.
struct KxBlitArea {
    int64_t x, y, srcX, srcY, width, height;
};

KxBlitArea ClipBlit(KxBlitArea area, int64_t destWidth, int64_t destHeight, int64_t srcWidth, int64_t srcHeight) {
    int64_t skipX = std::max({int64_t(0), -area.x, -area.srcX});
    int64_t skipY = std::max({int64_t(0), -area.y, -area.srcY});
    area.x += skipX;
    area.srcX += skipX;
    area.width -= skipX;
    area.y += skipY;
    area.srcY += skipY;
    area.height -= skipY;
    area.width = std::min({area.width, destWidth - area.x, srcWidth - area.srcX});
    area.height = std::min({area.height, destHeight - area.y, srcHeight - area.srcY});
    return area;
}

}  // namespace

BOOL KxBlitToWindow(HWND hwnd, const KxDibPixels& dib, int x, int y, int width, int height, int srcX, int srcY) {
    SDL_Window* pWindow = KxGetSdlWindow(hwnd);
    SDL_Surface* pSurface = pWindow ? SDL_GetWindowSurface(pWindow) : nullptr;
    if (!pSurface) {
        return FALSE;
    }
    KxBlitArea area = ClipBlit(KxBlitArea{x, y, srcX, srcY, width, height}, pSurface->w, pSurface->h,
                               dib.nWidth, dib.nHeight);
    if (area.width <= 0 || area.height <= 0) {
        return TRUE;
    }
    // Row srcY of the image, counted from the top, in either row order.
    const int64_t memoryRow = dib.bTopDown ? area.srcY : dib.nHeight - 1 - area.srcY;
    const uint8_t* pSource = dib.pBits + memoryRow * dib.nRowStride + area.srcX * 3;
    const ptrdiff_t sourceStride = dib.bTopDown ? dib.nRowStride : -dib.nRowStride;
    if (!KxCopyBgrToSurface(pSource, sourceStride, pSurface, static_cast<int>(area.x), static_cast<int>(area.y),
                            static_cast<int>(area.width), static_cast<int>(area.height))) {
        return FALSE;
    }
    SDL_Rect rect{static_cast<int>(area.x), static_cast<int>(area.y), static_cast<int>(area.width),
                  static_cast<int>(area.height)};
    return SDL_UpdateWindowSurfaceRects(pWindow, &rect, 1) == 0 ? TRUE : FALSE;
}
