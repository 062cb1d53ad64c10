// Bitmaps read from 24- and 32-bit BMP files, and textures built on them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/kxwintypes.h"

// Layouts of pixels given in memory (Direct3D 9's format codes), each pixel
// a little-endian word of its bytes.
enum : uint32_t {
    KXFMT_R8G8B8 = 20,    // 3 bytes: blue, green, red; opaque
    KXFMT_A8R8G8B8 = 21,  // 4 bytes: blue, green, red, alpha
    KXFMT_X8R8G8B8 = 22,  // 4 bytes: blue, green, red, unused; opaque
};

class KxDib {
public:
    KxDib(uint8_t* target, int32_t targetBytesPerPixel);
    virtual ~KxDib();
    KxDib(const KxDib&) = delete;
    KxDib& operator=(const KxDib&) = delete;

    bool Load(const char* path);
    // Takes width x height pixels in one of the KXFMT_ layouts, top row
    // first, rows rowStride bytes apart, as if read from a file holding
    // them; refused for the sizes and with the reasons Load gives, and for
    // other formats.
    bool LoadFromMemory(const uint8_t* source, int32_t width, int32_t height, int32_t rowStride,
                        uint32_t format = KXFMT_R8G8B8);

    // Point sampling at s, t in 0..1; positions outside the image read the
    // nearest edge texel. Inline: the rasteriser calls it for every pixel.
    uint32_t ReadPixel(float s, float t) const
    {
        if (!pBits)
            return 0;
        const uint8_t* texel = pBits + TexelAt(s, t) * 3;
        return (uint32_t(texel[0]) << 16) | (uint32_t(texel[1]) << 8) | uint32_t(texel[2]);
    }

    // The same texel with its alpha in bits 24-31: 255 in an image without
    // alpha. An empty bitmap reads 0.
    uint32_t ReadPixelWithAlpha(float s, float t) const
    {
        if (!pBits)
            return 0;
        const size_t at = TexelAt(s, t);
        const uint8_t* texel = pBits + at * 3;
        const uint32_t alpha = pAlpha ? pAlpha[at] : 0xFFu;
        return (alpha << 24) | (uint32_t(texel[0]) << 16) | (uint32_t(texel[1]) << 8) | uint32_t(texel[2]);
    }

    // trunc(trunc(scaled) - 0.5) for scaled = n * s: max(floor(scaled) - 1, 0)
    // inside the image, clamped to 0..n-1 outside it (NaN reads texel 0).
    static int32_t TexelIndex(int32_t n, double scaled)
    {
        if (!(scaled >= 1.0))
            return 0;
        if (scaled >= double(n))
            return n - 1;
        return int32_t(scaled) - 1;
    }

    // Why the last Load failed, or "" after a success.
    const char* GetLoadError() const { return pLoadError; }
    int32_t GetWidth() const { return infoHeader.biWidth; }
    // Top-down files store a negative height; Load accepts no height beyond
    // 16384, so the negation cannot overflow.
    int32_t GetHeight() const { return infoHeader.biHeight < 0 ? -infoHeader.biHeight : infoHeader.biHeight; }
    // The texels, 3 bytes each (blue, green, red), rows top-down.
    const uint8_t* GetBits() const { return pBits; }
    // One byte of alpha a texel, or null for an image without alpha.
    const uint8_t* GetAlpha() const { return pAlpha; }

protected:
    // The texel at s, t: its number, row by row from the top.
    size_t TexelAt(float s, float t) const
    {
        const int32_t w = GetWidth();
        const int32_t column = TexelIndex(w, double(w) * double(s));
        const int32_t row = TexelIndex(GetHeight(), double(GetHeight()) * double(t));
        return size_t(row) * size_t(w) + size_t(column);
    }

    // Empties the bitmap; a failed load leaves it so.
    void Reset();
    // Rows of rowBytes each, all zero, and the spare bytes the vector
    // sampler may read past the last texel.
    static uint8_t* AllocateRows(int64_t rows, int64_t rowBytes);

    uint8_t* pTarget;
    int32_t nTargetBytesPerPixel;
    BITMAPFILEHEADER fileHeader;
    BITMAPINFOHEADER infoHeader;
    RGBQUAD colorEntry;
    uint8_t* pBits = nullptr;
    uint8_t* pAlpha = nullptr;
    const char* pLoadError = "";
};

class KxTexture : public KxDib {
public:
    KxTexture(const char* path, uint8_t* target, int32_t targetBytesPerPixel);
    // An empty texture, for LoadFromMemory.
    KxTexture(uint8_t* target, int32_t targetBytesPerPixel);

    uint32_t Sample(float s, float t) const { return ReadPixel(s, t); }
    uint32_t SampleWithAlpha(float s, float t) const { return ReadPixelWithAlpha(s, t); }
    bool Release();
    bool IsLoaded() const { return pBits != nullptr; }
};
