// The fuzz drivers: each decodes one input, runs it against the renderer and
// returns false when a property that must hold for every input was broken
// (memory errors are the sanitizers' business). The libFuzzer targets and the
// replay test share them.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <type_traits>

#include "math/kxassert.h"
#include "tests/render/kxtestdevice.h"

// The flags byte that opens a raster or pipeline input.
enum KxFuzzFlags : uint8_t {
    kFuzzTextureStage0 = 1,    // bind the fuzz texture to stage 0
    kFuzzTextureStage7 = 2,    // and/or to stage 7
    kFuzzDepth32 = 4,          // draw with the 32-bit depth buffer
    kFuzzDrawTwice = 8,         // pipeline: a second DrawPrimitive with the same state
    kFuzzFormatAfterBind = 16,  // pipeline: SetFVF(drawFvf) after SetStreamSource
    kFuzzRasterStates = 32,     // culling, depth, alpha test and blending from the input
    kFuzzIndexed = 64           // pipeline: an indexed draw too, the vertex bytes its indices
};

// What every input runs against: a small off-screen device, a texture for
// the stages and a vertex buffer to park the stream on. Built once and
// reused, so inputs must leave it as they found it. Odd width: every row of
// the colour buffer ends in a padding byte, where a write one pixel past the
// right edge shows.
class KxFuzzContext {
public:
    // Missing files and null vertex data are among the inputs: their debug
    // assertions would only flood the output.
    static void PrepareProcess() { KxSetAssertReporter([](const char*, const char*) {}); }

    KxFuzzContext()
    {
        Device().CreateVertexBuffer(96, 0, 0x112, 1, &pParkingBuffer, nullptr);
        std::memset(pParkingBuffer->data, 0, 96);
        ParkStream();
    }
    ~KxFuzzContext()
    {
        pParkingBuffer->Release();
        std::remove(scratchPath.c_str());
    }

    KxSoftwareRenderDevice& Device() { return testDevice.device; }
    KxTexture* Texture() const { return pTexture.get(); }
    // A file name of this process's own in the temporary directory.
    const std::string& ScratchPath() const { return scratchPath; }

    // Binds the context's own buffer, so the device points at nothing that
    // an input is about to release.
    void ParkStream()
    {
        Device().SetFVF(0x112);
        Device().SetStreamSource(0, pParkingBuffer, 0, 32);
    }

    // Clears the frame, applies the flags' textures and depth format and
    // notes the row padding; End checks the padding and undoes the flags.
    void Begin(uint8_t flags, uint32_t clearColor, float clearZ)
    {
        activeFlags = flags;
        if (flags & kFuzzDepth32)
            Device().CreateDepthBuffer(1);
        Device().Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, clearColor, clearZ, 0);
        Device().SetTexture(0, flags & kFuzzTextureStage0 ? Texture() : nullptr);
        Device().SetTexture(7, flags & kFuzzTextureStage7 ? Texture() : nullptr);
        padding = Padding();
    }
    // The ten states of culling, depth, alpha test and blending, a 4-byte
    // value each; values the device refuses leave the state as it was.
    template <typename Reader>
    void ReadRasterStates(Reader& in)
    {
        for (uint32_t code : kRasterStateCodes) {
            uint32_t value = 0;
            in(value);
            Device().SetRenderState(code, value);
        }
    }
    // Their defaults, as every input starts.
    void ResetRasterStates()
    {
        const uint32_t defaults[] = {3, 4, 1, 0, 2, 1, 1, 0, 0, 8};
        for (size_t i = 0; i < std::size(kRasterStateCodes); ++i)
            Device().SetRenderState(kRasterStateCodes[i], defaults[i]);
    }

    bool End()
    {
        ResetRasterStates();
        const bool bPaddingKept = Padding() == padding;
        Device().SetTexture(0, nullptr);
        Device().SetTexture(7, nullptr);
        if (activeFlags & kFuzzDepth32)
            Device().CreateDepthBuffer(0);
        if (!bPaddingKept)
            std::fprintf(stderr, "kxfuzz: a row's padding bytes changed\n");
        return bPaddingKept;
    }

private:
    // Cull mode, depth function, depth writes, blending, source and
    // destination factors, blend operation, alpha test, its reference and
    // its function.
    static constexpr uint32_t kRasterStateCodes[] = {22, 23, 14, 27, 19, 20, 171, 15, 24, 25};

    std::vector<uint8_t> Padding() const
    {
        std::vector<uint8_t> bytes;
        const KxSoftwareRenderDevice& d = testDevice.device;
        for (const uint8_t* row = d.GetPixels(); row < d.GetPixels() + d.GetRowStride() * d.GetHeight();
             row += d.GetRowStride())
            bytes.insert(bytes.end(), row + 3 * d.GetWidth(), row + d.GetRowStride());
        return bytes;
    }

    KxTestDevice testDevice{61, 47};
    KxTexturePtr pTexture = KxMakeTexture(5, 3, KxDistinctTexels(15));
    KxVertexBuffer* pParkingBuffer = nullptr;
    const std::string scratchPath =
        (std::filesystem::temp_directory_path() / ("kxfuzz-" + std::to_string(getpid()) + ".bmp")).string();
    uint8_t activeFlags = 0;
    std::vector<uint8_t> padding;
};

// Reads a fuzz input as little-endian records in the order the drivers name
// them; bytes past its end read as zero, so every input, however short,
// decodes to something.
class KxFuzzReader {
public:
    KxFuzzReader(const uint8_t* data, size_t size) : pData(data), nRemaining(size) {}

    template <typename T>
    void operator()(T& value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        uint8_t bytes[sizeof(T)] = {};
        const size_t n = nRemaining < sizeof(T) ? nRemaining : sizeof(T);
        if (n)
            std::memcpy(bytes, pData, n);
        pData += n;
        nRemaining -= n;
        std::memcpy(&value, bytes, sizeof(T));
    }

    bool AtEnd() const { return nRemaining == 0; }
    size_t Remaining() const { return nRemaining; }
    const uint8_t* Position() const { return pData; }

private:
    const uint8_t* pData;
    size_t nRemaining;
};

bool KxFuzzBmp(KxFuzzContext& context, const uint8_t* data, size_t size);
bool KxFuzzRaster(KxFuzzContext& context, const uint8_t* data, size_t size);
bool KxFuzzPipeline(KxFuzzContext& context, const uint8_t* data, size_t size);
