// fuzz_bmp: the input is a bitmap file. A loaded image must hold exactly the
// file's pixel rows and sample inside itself wherever it is sampled (outside
// 0..1, NaN, infinities); a refused file must leave the bitmap empty and give
// a reason. The same file then goes through the device as a texture.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz/kxfuzzdrivers.h"

namespace {

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool Fail(const char* what)
{
    std::fprintf(stderr, "kxfuzz_bmp: %s\n", what);
    return false;
}

// The rows as a loader that accepts the file must store them: top row
// first, 3 bytes per texel, no padding, read from the header's data offset.
bool RowsMatchFile(const KxDib& dib, const uint8_t* data, size_t size)
{
    const int64_t width = dib.GetWidth(), height = dib.GetHeight();
    const int32_t fileHeight = int32_t(Le32(data + 22));
    if (width != int32_t(Le32(data + 18)) || height != std::llabs(int64_t(fileHeight)))
        return Fail("loaded size differs from the header's");
    const uint64_t rowBytes = 3 * uint64_t(width), fileRow = (rowBytes + 3) & ~uint64_t(3);
    for (int64_t row = 0; row < height; ++row) {
        const uint64_t at = Le32(data + 10) + uint64_t(fileHeight < 0 ? row : height - 1 - row) * fileRow;
        if (at + rowBytes > size)
            return Fail("loaded rows the file does not hold");
        if (std::memcmp(dib.GetBits() + row * rowBytes, data + at, rowBytes) != 0)
            return Fail("a loaded row differs from the file");
    }
    return true;
}

// Wherever it is sampled (outside 0..1, NaN, infinities, the edges between
// texels) a bitmap reads one of its texels; inside 0..1 the one at
// trunc(trunc(n x s) - 0.5), and an empty bitmap reads 0.
bool SamplesStayInside(const KxDib& dib)
{
    const int32_t size[2] = {dib.GetWidth(), dib.GetHeight()};
    std::vector<float> values[2];
    for (int i = 0; i < 2; ++i) {
        values[i] = {-INFINITY, -1e30f, -2.0f, -1.0f, -0.5f, -1e-7f, -0.0f, 0.0f, 1e-45f, 0.1f, 0.5f, 0.99999994f,
                     1.0f, 1.0000001f, 1.5f, 2.0f, 1e30f, INFINITY, std::nanf("")};
        for (double k : {-1.0, 1.0, 2.0, size[i] - 1.0, size[i] - 0.5, size[i] + 0.5, size[i] + 1.0})
            values[i].push_back(float(k / size[i]));
    }
    auto index = [](int32_t n, float s) { return int64_t(std::trunc(std::trunc(double(n) * double(s)) - 0.5)); };
    for (float s : values[0]) {
        for (float t : values[1]) {
            const uint32_t texel = dib.ReadPixel(s, t);
            if (!dib.GetBits() && texel != 0)
                return Fail("an empty bitmap sampled something");
            if (!dib.GetBits() || !(s >= 0.0f && s <= 1.0f && t >= 0.0f && t <= 1.0f))
                continue;
            const uint8_t* p = dib.GetBits() + (index(size[1], t) * size[0] + index(size[0], s)) * 3;
            if (texel != (uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]))
                return Fail("a sample inside 0..1 read the wrong texel");
        }
    }
    return true;
}

// Textured triangles over the whole frame whose coordinates run from -0.5 to
// 1.5, once at w = 1 and once with w near infinity.
bool DrawWithTexture(KxFuzzContext& context, KxTexture* texture)
{
    KxSoftwareRenderDevice& device = context.Device();
    context.Begin(0, 0x808080, 1.0f);
    device.SetTexture(3, texture);
    const uint32_t white = 0xFFFFFF;
    device.RasterizeTriangle(-5, -5, 0.5f, 70, -5, 0.5f, -5, 55, 0.5f, white, white, white,
                             -0.5f, -0.5f, 1.5f, -0.5f, -0.5f, 1.5f, 1.0f, 1.0f, 1.0f);
    device.RasterizeTriangle(70, -5, 0.25f, 70, 55, 0.25f, -5, 55, 0.25f, white, white, white,
                             1.5f, -0.5f, 1.5f, 1.5f, -0.5f, 1.5f, 1e-30f, 1e-30f, 1e-30f);
    device.SetTexture(3, nullptr);
    return context.End();
}

}  // namespace

bool KxFuzzBmp(KxFuzzContext& context, const uint8_t* data, size_t size)
{
    const std::string& path = context.ScratchPath();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool bWritten = file && (size == 0 || std::fwrite(data, 1, size, file) == size);
    if (!file || std::fclose(file) != 0 || !bWritten)
        return Fail("cannot write the scratch file");

    // An image first: a refused file must also clear it.
    KxDib dib(nullptr, 3);
    const uint8_t texel[3] = {1, 2, 3};
    dib.LoadFromMemory(texel, 1, 1, 3);
    const bool bLoaded = dib.Load(path.c_str());
    if (bLoaded) {
        if (dib.GetBits() == nullptr || *dib.GetLoadError() != '\0')
            return Fail("a loaded bitmap has no pixels or an error");
        if (!RowsMatchFile(dib, data, size))
            return false;
    } else if (dib.GetBits() != nullptr || dib.GetWidth() != 0 || *dib.GetLoadError() == '\0') {
        return Fail("a refused file left pixels or gave no reason");
    }
    if (!SamplesStayInside(dib))
        return false;

    KxSoftwareRenderDevice& device = context.Device();
    KxTexture* texture = context.Texture();  // must be overwritten
    const bool bCreated = device.CreateTextureFromFile(path.c_str(), &texture);
    if (bCreated != bLoaded || (texture != nullptr) != bLoaded ||
        std::strcmp(device.GetTextureLoadError(), dib.GetLoadError()) != 0)
        return Fail("the device's texture disagrees with the bitmap");
    if (!texture)
        return true;
    const bool bDrawn = DrawWithTexture(context, texture);
    texture->Release();
    return bDrawn;
}
