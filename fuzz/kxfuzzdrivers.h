// The fuzz drivers: each decodes one input, runs it against the renderer and
// returns false when a property that must hold for every input was broken
// (memory errors are the sanitizers' business). The libFuzzer targets and the
// replay test share them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/render/kxtestdevice.h"

// What every input runs against: a small off-screen device, a texture for
// the stages and a vertex buffer to park the stream on. Built once and
// reused, so inputs must leave it as they found it.
class KxFuzzContext {
public:
    // Odd width: every colour-buffer row ends in a padding byte, and a write
    // one pixel past the right edge shows up there.
    static constexpr int32_t kWidth = 61;
    static constexpr int32_t kHeight = 47;

    // Silences debug assertions (missing files and null vertex data are
    // among the inputs); call before construction.
    static void PrepareProcess();

    KxFuzzContext();
    ~KxFuzzContext();

    KxSoftwareRenderDevice& Device() { return testDevice.device; }
    KxTexture* Texture() const { return pTexture.get(); }
    // A file name of this process's own in the temporary directory.
    const std::string& ScratchPath() const { return scratchPath; }

    // Clears the frame, applies the flags' textures and depth format and
    // notes the row padding; End checks the padding and undoes the flags.
    void Begin(uint8_t flags, uint32_t clearColor, float clearZ);
    bool End();
    // Binds the context's own buffer, so the device points at nothing that
    // an input is about to release.
    void ParkStream();

private:
    std::vector<uint8_t> Padding() const;

    KxTestDevice testDevice{kWidth, kHeight};
    KxTexturePtr pTexture = KxMakeTexture(5, 3, KxDistinctTexels(15));
    KxVertexBuffer* pParkingBuffer = nullptr;
    std::string scratchPath;
    uint8_t activeFlags = 0;
    std::vector<uint8_t> padding;
};

bool KxFuzzBmp(KxFuzzContext& context, const uint8_t* data, size_t size);
bool KxFuzzRaster(KxFuzzContext& context, const uint8_t* data, size_t size);
bool KxFuzzPipeline(KxFuzzContext& context, const uint8_t* data, size_t size);
