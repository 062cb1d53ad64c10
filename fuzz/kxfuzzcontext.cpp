#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "fuzz/kxfuzzbmpfile.h"
#include "fuzz/kxfuzzdrivers.h"
#include "fuzz/kxfuzzinput.h"
#include "math/kxassert.h"

namespace {

void SilentReporter(const char*, const char*)
{
}

std::string TempPath(const char* name)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    return (dir / ("kxfuzz-" + std::to_string(getpid()) + "-" + name)).string();
}

// Five by three texels, all different, so a sample shows which one it hit.
std::vector<uint8_t> TextureTexels()
{
    std::vector<uint8_t> texels;
    for (int i = 0; i < 15; ++i) {
        texels.push_back(uint8_t(16 * i + 1));
        texels.push_back(uint8_t(255 - 16 * i));
        texels.push_back(uint8_t(80 + 8 * i));
    }
    return texels;
}

}  // namespace

bool KxWriteFuzzFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool bWritten = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && bWritten;
}

void KxFuzzContext::PrepareProcess()
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    // Missing files and null vertex data are among the inputs: their reports
    // are expected and would only flood the output.
    KxSetAssertReporter(SilentReporter);
}

KxFuzzContext::KxFuzzContext() : scratchPath(TempPath("input.bmp")), texturePath(TempPath("texture.bmp"))
{
    const std::vector<uint8_t> file = KxFuzzBmpFile(5, 3, TextureTexels());
    if (!KxWriteFuzzFile(texturePath, file.data(), file.size()) ||
        !Device().CreateTextureFromFile(texturePath.c_str(), &pTexture)) {
        std::fprintf(stderr, "kxfuzz: cannot set up the texture %s\n", texturePath.c_str());
        std::abort();
    }
    const uint8_t zeros[96] = {};
    Device().CreateVertexBuffer(sizeof(zeros), 0, KXFVF_XYZ | KXFVF_NORMAL | KXFVF_TEX1, 1, &pParkingBuffer,
                                nullptr);
    void* data = nullptr;
    if (pParkingBuffer && pParkingBuffer->Lock(0, 0, &data, 0))
        std::memcpy(data, zeros, sizeof(zeros));
    ParkStream();
}

KxFuzzContext::~KxFuzzContext()
{
    Device().SetTexture(0, nullptr);
    Device().SetTexture(7, nullptr);
    if (pTexture)
        pTexture->Release();
    if (pParkingBuffer)
        pParkingBuffer->Release();
    std::remove(texturePath.c_str());
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
    KxSoftwareRenderDevice& device = Device();
    if (flags & kFuzzDepth32)
        device.CreateDepthBuffer(1);
    device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, clearColor, clearZ, 0);
    if (flags & kFuzzTextureStage0)
        device.SetTexture(0, pTexture);
    if (flags & kFuzzTextureStage7)
        device.SetTexture(7, pTexture);
    padding = ReadPadding();
}

bool KxFuzzContext::End()
{
    const bool bPaddingKept = ReadPadding() == padding;
    KxSoftwareRenderDevice& device = Device();
    device.SetTexture(0, nullptr);
    device.SetTexture(7, nullptr);
    if (activeFlags & kFuzzDepth32)
        device.CreateDepthBuffer(0);
    activeFlags = 0;
    if (!bPaddingKept)
        std::fprintf(stderr, "kxfuzz: a row's padding bytes changed\n");
    return bPaddingKept;
}

std::vector<uint8_t> KxFuzzContext::ReadPadding() const
{
    const KxSoftwareRenderDevice& device = testDevice.device;
    std::vector<uint8_t> bytes;
    for (int32_t y = 0; y < device.GetHeight(); ++y) {
        const uint8_t* row = device.GetPixels() + size_t(y) * size_t(device.GetRowStride());
        bytes.insert(bytes.end(), row + 3 * device.GetWidth(), row + device.GetRowStride());
    }
    return bytes;
}
