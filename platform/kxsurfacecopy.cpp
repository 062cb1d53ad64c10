#include "platform/kxsurfacecopy.h"

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define KX_HAVE_SSSE3_PATH 1
#include <tmmintrin.h>
#endif

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

using KxRowConverter = void (*)(const uint8_t* pSource, uint8_t* pDest, int width, const SDL_PixelFormat* pFormat);

// XRGB8888 and ARGB8888 hold blue, green, red, alpha as bytes on a
// little-endian machine. Four pixels come from three 32-bit loads.
void ConvertRowToXrgb(const uint8_t* pSource, uint8_t* pDest, int width, const SDL_PixelFormat*) {
    uint32_t* pOut = reinterpret_cast<uint32_t*>(pDest);
    int i = 0;
    for (; i + 4 <= width; i += 4, pSource += 12) {
        uint32_t w0;
        uint32_t w1;
        uint32_t w2;
        std::memcpy(&w0, pSource, 4);
        std::memcpy(&w1, pSource + 4, 4);
        std::memcpy(&w2, pSource + 8, 4);
        pOut[i] = kOpaque | (w0 & 0xFFFFFFu);
        pOut[i + 1] = kOpaque | (w0 >> 24) | ((w1 & 0xFFFFu) << 8);
        pOut[i + 2] = kOpaque | (w1 >> 16) | ((w2 & 0xFFu) << 16);
        pOut[i + 3] = kOpaque | (w2 >> 8);
    }
    for (; i < width; ++i, pSource += 3) {
        pOut[i] = kOpaque | pSource[0] | (uint32_t(pSource[1]) << 8) | (uint32_t(pSource[2]) << 16);
    }
}

#ifdef KX_HAVE_SSSE3_PATH
// The same conversion sixteen pixels (48 bytes) at a time, each group of four
// spread to four lanes by one byte shuffle: this keeps a 640x480 frame close
// to the cost of a plain copy. Nearly every x86-64 processor has SSSE3; the
// caller checks at run time.
__attribute__((target("ssse3")))
void ConvertRowToXrgbSsse3(const uint8_t* pSource, uint8_t* pDest, int width, const SDL_PixelFormat* pFormat) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i spreadHigh = _mm_setr_epi8(4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaque));
    int i = 0;
    for (; i + 16 <= width; i += 16, pSource += 48) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSource));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSource + 16));
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSource + 32));
        __m128i* pOut = reinterpret_cast<__m128i*>(pDest + 4 * i);
        _mm_storeu_si128(pOut, _mm_or_si128(_mm_shuffle_epi8(a, spread), opaque));
        _mm_storeu_si128(pOut + 1, _mm_or_si128(_mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), spread), opaque));
        _mm_storeu_si128(pOut + 2, _mm_or_si128(_mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), spread), opaque));
        _mm_storeu_si128(pOut + 3, _mm_or_si128(_mm_shuffle_epi8(c, spreadHigh), opaque));
    }
    ConvertRowToXrgb(pSource, pDest + 4 * i, width - i, pFormat);
}
#endif

// Any other format: map each pixel and store its BytesPerPixel bytes the way
// SDL stores them (the low bytes of the value in memory order).
void ConvertRowGeneric(const uint8_t* pSource, uint8_t* pDest, int width, const SDL_PixelFormat* pFormat) {
    const int nBytes = pFormat->BytesPerPixel;
    for (int i = 0; i < width; ++i, pSource += 3, pDest += nBytes) {
        uint32_t value = SDL_MapRGB(pFormat, pSource[2], pSource[1], pSource[0]);
#if SDL_BYTEORDER == SDL_BIG_ENDIAN
        std::memcpy(pDest, reinterpret_cast<const uint8_t*>(&value) + (4 - nBytes), static_cast<size_t>(nBytes));
#else
        std::memcpy(pDest, &value, static_cast<size_t>(nBytes));
#endif
    }
}

KxRowConverter ChooseConverter(const SDL_PixelFormat* pFormat) {
    bool bXrgb = pFormat->format == SDL_PIXELFORMAT_RGB888 || pFormat->format == SDL_PIXELFORMAT_ARGB8888;
    if (SDL_BYTEORDER != SDL_LIL_ENDIAN || !bXrgb) {
        return ConvertRowGeneric;
    }
#ifdef KX_HAVE_SSSE3_PATH
    static const bool bHasSsse3 = __builtin_cpu_supports("ssse3");
    if (bHasSsse3) {
        return ConvertRowToXrgbSsse3;
    }
#endif
    return ConvertRowToXrgb;
}

}  // namespace

bool KxCopyBgrToSurface(const uint8_t* pSource, ptrdiff_t sourceStride, SDL_Surface* pSurface,
                        int x, int y, int width, int height) {
    const SDL_PixelFormat* pFormat = pSurface->format;
    if (pFormat->BytesPerPixel < 1 || pFormat->BytesPerPixel > 4) {
        return false;
    }
    if (SDL_MUSTLOCK(pSurface) && SDL_LockSurface(pSurface) != 0) {
        return false;
    }
    const KxRowConverter convert = ChooseConverter(pFormat);
    uint8_t* pTopLeft = static_cast<uint8_t*>(pSurface->pixels) + static_cast<ptrdiff_t>(y) * pSurface->pitch +
                        static_cast<ptrdiff_t>(x) * pFormat->BytesPerPixel;
    for (int row = 0; row < height; ++row) {
        convert(pSource + row * sourceStride, pTopLeft + static_cast<ptrdiff_t>(row) * pSurface->pitch, width,
                pFormat);
    }
    if (SDL_MUSTLOCK(pSurface)) {
        SDL_UnlockSurface(pSurface);
    }
    return true;
}
