// Bitmaps read from 24-bit BMP files, and textures built on them.
#pragma once

#include <cstdint>

#include "platform/kxwin32.h"

class KxDib {
public:
    KxDib(uint8_t* target, int32_t targetBytesPerPixel);
    virtual ~KxDib();
    KxDib(const KxDib&) = delete;
    KxDib& operator=(const KxDib&) = delete;

    bool Load(const char* path);
    uint32_t ReadPixel(float s, float t) const;

    // Why the last Load failed, or "" after a success.
    const char* GetLoadError() const { return pLoadError; }
    int32_t GetWidth() const { return infoHeader.biWidth; }
    int32_t GetHeight() const;
    const uint8_t* GetBits() const { return pBits; }

protected:
    uint8_t* pTarget;
    int32_t nTargetBytesPerPixel;
    BITMAPFILEHEADER fileHeader;
    BITMAPINFOHEADER infoHeader;
    RGBQUAD colorEntry;
    uint8_t* pBits = nullptr;
    const char* pLoadError = "";
};

class KxTexture : public KxDib {
public:
    KxTexture(const char* path, uint8_t* target, int32_t targetBytesPerPixel);

    uint32_t Sample(float s, float t) const { return ReadPixel(s, t); }
    bool Release();
    bool IsLoaded() const { return pBits != nullptr; }
};
