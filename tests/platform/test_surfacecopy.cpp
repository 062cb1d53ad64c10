#include "platform/kxsurfacecopy.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 37;  // two sixteen-pixel groups, one group of four and one more pixel
constexpr int kHeight = 3;
constexpr int kStride = 112;  // 37 * 3 rounded up to four bytes
constexpr int kSurfaceWidth = 41;
constexpr int kSurfaceHeight = 6;
constexpr int kLeft = 3;
constexpr int kTop = 2;

std::vector<uint8_t> Pattern() {
    std::vector<uint8_t> bytes(kStride * kHeight);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    return bytes;
}

Uint32 ReadArgb(SDL_Surface* pArgb, int x, int y) {
    Uint32 value;
    std::memcpy(&value, static_cast<const uint8_t*>(pArgb->pixels) + y * pArgb->pitch + x * 4, 4);
    return value & 0xFFFFFFu;
}

// The same pixels, top row first, converted by SDL itself: to the format,
// then to ARGB8888, so that lossy formats lose exactly what they lose.
SDL_Surface* ReferenceImage(const std::vector<uint8_t>& source, Uint32 format) {
    SDL_Surface* pBgr = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(source.data()), kWidth, kHeight, 24,
                                                           kStride, SDL_PIXELFORMAT_BGR24);
    SDL_Surface* pFormatted = SDL_ConvertSurfaceFormat(pBgr, format, 0);
    SDL_Surface* pArgb = SDL_ConvertSurfaceFormat(pFormatted, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(pFormatted);
    SDL_FreeSurface(pBgr);
    return pArgb;
}

std::vector<uint8_t> FlipRows(const std::vector<uint8_t>& source) {
    std::vector<uint8_t> flipped(source.size());
    for (int row = 0; row < kHeight; ++row) {
        std::memcpy(flipped.data() + row * kStride, source.data() + (kHeight - 1 - row) * kStride, kStride);
    }
    return flipped;
}

// Copies the pattern to (kLeft, kTop) of a surface of the format filled with
// a sentinel colour and compares the whole surface with SDL's conversion.
void CheckFormat(Uint32 format, bool bBottomUp) {
    SCOPED_TRACE(SDL_GetPixelFormatName(format));
    SDL_Surface* pSurface = SDL_CreateRGBSurfaceWithFormat(0, kSurfaceWidth, kSurfaceHeight, 0, format);
    ASSERT_NE(pSurface, nullptr);
    SDL_FillRect(pSurface, nullptr, SDL_MapRGB(pSurface->format, 0x12, 0x34, 0x56));
    SDL_Surface* pUntouched = SDL_ConvertSurfaceFormat(pSurface, SDL_PIXELFORMAT_ARGB8888, 0);

    const std::vector<uint8_t> topDown = Pattern();
    const std::vector<uint8_t> memory = bBottomUp ? FlipRows(topDown) : topDown;
    const uint8_t* pTop = bBottomUp ? memory.data() + kStride * (kHeight - 1) : memory.data();
    ASSERT_TRUE(KxCopyBgrToSurface(pTop, bBottomUp ? -kStride : kStride, pSurface, kLeft, kTop, kWidth, kHeight));

    SDL_Surface* pResult = SDL_ConvertSurfaceFormat(pSurface, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_Surface* pReference = ReferenceImage(topDown, format);
    ASSERT_TRUE(pUntouched && pResult && pReference);
    for (int y = 0; y < kSurfaceHeight; ++y) {
        for (int x = 0; x < kSurfaceWidth; ++x) {
            bool bInside = x >= kLeft && x < kLeft + kWidth && y >= kTop && y < kTop + kHeight;
            Uint32 expected = bInside ? ReadArgb(pReference, x - kLeft, y - kTop) : ReadArgb(pUntouched, x, y);
            ASSERT_EQ(ReadArgb(pResult, x, y), expected) << "at " << x << ", " << y;
        }
    }
    SDL_FreeSurface(pReference);
    SDL_FreeSurface(pResult);
    SDL_FreeSurface(pUntouched);
    SDL_FreeSurface(pSurface);
}

}  // namespace

TEST(KxSurfaceCopy, FastFormatsKeepEveryByte) {
    CheckFormat(SDL_PIXELFORMAT_RGB888, false);
    CheckFormat(SDL_PIXELFORMAT_ARGB8888, true);
}

TEST(KxSurfaceCopy, OtherFormatsGoThroughTheirOwnLayout) {
    for (Uint32 format : {SDL_PIXELFORMAT_ABGR8888, SDL_PIXELFORMAT_BGR888, SDL_PIXELFORMAT_RGB24,
                          SDL_PIXELFORMAT_BGR24, SDL_PIXELFORMAT_RGB565}) {
        CheckFormat(format, false);
        CheckFormat(format, true);
    }
}

TEST(KxSurfaceCopy, FastFormatsAreOpaque) {
    SDL_Surface* pSurface = SDL_CreateRGBSurfaceWithFormat(0, 20, 1, 0, SDL_PIXELFORMAT_ARGB8888);
    ASSERT_NE(pSurface, nullptr);
    std::vector<uint8_t> source(60, 0x5A);
    ASSERT_TRUE(KxCopyBgrToSurface(source.data(), 60, pSurface, 0, 0, 20, 1));
    const Uint32* pPixels = static_cast<const Uint32*>(pSurface->pixels);
    for (int x = 0; x < 20; ++x) {
        EXPECT_EQ(pPixels[x], 0xFF5A5A5Au);
    }
    SDL_FreeSurface(pSurface);
}
