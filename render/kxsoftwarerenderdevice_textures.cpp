#include "render/kxsoftwarerenderdevice.h"

bool KxSoftwareRenderDevice::CreateTextureFromFile(const char* path, KxTexture** texture)
{
    if (!texture)
        return false;
    KxTexture* pTexture = new KxTexture(path, pixels, 3);
    return KeepIfLoaded(pTexture, texture);
}

bool KxSoftwareRenderDevice::CreateTextureFromMemory(const void* sourcePixels, int32_t nWidth, int32_t nHeight,
                                                     int32_t nRowStride, KxTexture** texture)
{
    return CreateTextureFromMemory(sourcePixels, nWidth, nHeight, nRowStride, KXFMT_R8G8B8, texture);
}

bool KxSoftwareRenderDevice::CreateTextureFromMemory(const void* sourcePixels, int32_t nWidth, int32_t nHeight,
                                                     int32_t nRowStride, uint32_t format, KxTexture** texture)
{
    if (!texture)
        return false;
    KxTexture* pTexture = new KxTexture(pixels, 3);
    pTexture->LoadFromMemory(static_cast<const uint8_t*>(sourcePixels), nWidth, nHeight, nRowStride, format);
    return KeepIfLoaded(pTexture, texture);
}

bool KxSoftwareRenderDevice::KeepIfLoaded(KxTexture* pTexture, KxTexture** texture)
{
    pTextureLoadError = pTexture->GetLoadError();  // the loader's reasons are string constants
    if (pTexture->IsLoaded()) {
        *texture = pTexture;
        return true;
    }
    pTexture->Release();
    *texture = nullptr;
    return false;
}

// Stages are references: binding never takes ownership, and a null texture
// unbinds the stage (and reports false).
bool KxSoftwareRenderDevice::SetTexture(uint32_t stage, KxTexture* texture)
{
    if (stage >= kTextureStageCount)
        return false;
    textureStages[stage] = texture;
    return texture != nullptr;
}
