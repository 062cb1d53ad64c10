#include "platform/kxsurfacecopy.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 37;  // two sixteen-pixel groups, one group of four and one more pixel
constexpr int kHeight = 3;
constexpr int kStride = 112;  // 37 * 3 rounded up to four bytes
constexpr int kLeft = 3, kTop = 2;  // where the copy lands

Uint32 ReadRgb(SDL_Surface* pArgb, int x, int y) {
    Uint32 value;
    std::memcpy(&value, static_cast<const uint8_t*>(pArgb->pixels) + y * pArgb->pitch + x * 4, 4);
    return value & 0xFFFFFFu;
}

SDL_Surface* ToArgb(SDL_Surface* pSurface, Uint32 format) {
    SDL_Surface* pConverted = SDL_ConvertSurfaceFormat(pSurface, format, 0);
    SDL_Surface* pArgb = SDL_ConvertSurfaceFormat(pConverted, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(pConverted);
    return pArgb;
}

// Copies a pattern to (kLeft, kTop) of a surface of the format filled with a
// sentinel colour and compares the whole surface with SDL's own conversion
// of the pattern (to the format, then to ARGB8888, so that lossy formats
// lose exactly what they lose).
void CheckFormat(Uint32 format, bool bBottomUp) {
    SCOPED_TRACE(SDL_GetPixelFormatName(format) + std::string(bBottomUp ? " bottom-up" : " top-down"));
    std::vector<uint8_t> topDown(kStride * kHeight), memory(kStride * kHeight);
    for (size_t i = 0; i < topDown.size(); ++i)
        topDown[i] = static_cast<uint8_t>(i * 7 + 1);
    for (int row = 0; row < kHeight; ++row) {
        std::memcpy(&memory[size_t(row * kStride)], &topDown[size_t((bBottomUp ? kHeight - 1 - row : row) * kStride)],
                    kStride);
    }
    SDL_Surface* pSurface = SDL_CreateRGBSurfaceWithFormat(0, kWidth + 4, kHeight + 3, 0, format);
    ASSERT_NE(pSurface, nullptr);
    SDL_FillRect(pSurface, nullptr, SDL_MapRGB(pSurface->format, 0x12, 0x34, 0x56));
    SDL_Surface* pUntouched = ToArgb(pSurface, SDL_PIXELFORMAT_ARGB8888);
    const uint8_t* pTop = bBottomUp ? memory.data() + kStride * (kHeight - 1) : memory.data();
    ASSERT_TRUE(KxCopyBgrToSurface(pTop, bBottomUp ? -kStride : kStride, pSurface, kLeft, kTop, kWidth, kHeight));
    SDL_Surface* pResult = ToArgb(pSurface, SDL_PIXELFORMAT_ARGB8888);
    SDL_Surface* pBgr = SDL_CreateRGBSurfaceWithFormatFrom(topDown.data(), kWidth, kHeight, 24, kStride,
                                                           SDL_PIXELFORMAT_BGR24);
    SDL_Surface* pReference = ToArgb(pBgr, format);
    ASSERT_TRUE(pUntouched && pResult && pReference);
    for (int y = 0; y < pSurface->h; ++y) {
        for (int x = 0; x < pSurface->w; ++x) {
            bool bInside = x >= kLeft && x < kLeft + kWidth && y >= kTop && y < kTop + kHeight;
            Uint32 expected = bInside ? ReadRgb(pReference, x - kLeft, y - kTop) : ReadRgb(pUntouched, x, y);
            ASSERT_EQ(ReadRgb(pResult, x, y), expected) << "at " << x << ", " << y;
        }
    }
    for (SDL_Surface* p : {pReference, pBgr, pResult, pUntouched, pSurface})
        SDL_FreeSurface(p);
}

}  // namespace

TEST(KxSurfaceCopy, EveryFormatGetsTheBytesInItsOwnLayout) {
    for (Uint32 format : {SDL_PIXELFORMAT_RGB888, SDL_PIXELFORMAT_ARGB8888, SDL_PIXELFORMAT_ABGR8888,
                          SDL_PIXELFORMAT_BGR888, SDL_PIXELFORMAT_RGB24, SDL_PIXELFORMAT_BGR24,
                          SDL_PIXELFORMAT_RGB565}) {
        CheckFormat(format, false);
        CheckFormat(format, true);
    }
}

