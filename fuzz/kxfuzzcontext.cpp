#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "fuzz/kxfuzzdrivers.h"
#include "fuzz/kxfuzzinput.h"
#include "math/kxassert.h"

void KxFuzzContext::PrepareProcess()
{
    KxSetAssertReporter([](const char*, const char*) {});
}

KxFuzzContext::KxFuzzContext()
    : scratchPath((std::filesystem::temp_directory_path() / ("kxfuzz-" + std::to_string(getpid()) + ".bmp")).string())
{
    Device().CreateVertexBuffer(96, 0, KXFVF_XYZ | KXFVF_NORMAL | KXFVF_TEX1, 1, &pParkingBuffer, nullptr);
    std::memset(pParkingBuffer->data, 0, 96);
    ParkStream();
}

KxFuzzContext::~KxFuzzContext()
{
    pParkingBuffer->Release();
    std::remove(scratchPath.c_str());
}

void KxFuzzContext::ParkStream()
{
    Device().SetFVF(KXFVF_XYZ | KXFVF_NORMAL | KXFVF_TEX1);
    Device().SetStreamSource(0, pParkingBuffer, 0, 32);
}

void KxFuzzContext::Begin(uint8_t flags, uint32_t clearColor, float clearZ)
{
    activeFlags = flags;
    if (flags & kFuzzDepth32)
        Device().CreateDepthBuffer(1);
    Device().Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, clearColor, clearZ, 0);
    if (flags & kFuzzTextureStage0)
        Device().SetTexture(0, Texture());
    if (flags & kFuzzTextureStage7)
        Device().SetTexture(7, Texture());
    padding = Padding();
}

bool KxFuzzContext::End()
{
    const bool bPaddingKept = Padding() == padding;
    Device().SetTexture(0, nullptr);
    Device().SetTexture(7, nullptr);
    if (activeFlags & kFuzzDepth32)
        Device().CreateDepthBuffer(0);
    activeFlags = 0;
    if (!bPaddingKept)
        std::fprintf(stderr, "kxfuzz: a row's padding bytes changed\n");
    return bPaddingKept;
}

std::vector<uint8_t> KxFuzzContext::Padding() const
{
    const KxSoftwareRenderDevice& device = testDevice.device;
    std::vector<uint8_t> bytes;
    for (int32_t y = 0; y < device.GetHeight(); ++y) {
        const uint8_t* row = device.GetPixels() + size_t(y) * size_t(device.GetRowStride());
        bytes.insert(bytes.end(), row + 3 * device.GetWidth(), row + device.GetRowStride());
    }
    return bytes;
}
