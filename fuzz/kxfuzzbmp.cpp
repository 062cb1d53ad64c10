// fuzz_bmp: the input is a bitmap file. A loaded image must hold exactly the
// file's pixel rows (32-bit ones decoded by their masks) and sample inside
// itself wherever it is sampled (outside 0..1, NaN, infinities); a refused
// file must leave the bitmap empty and give a reason. The same file then
// goes through the device as a texture, blended by its alpha too.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
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

// A channel of a 32-bit texel given by its mask, to 0..255: the value over
// the mask's largest, rounded to the nearest integer.
uint32_t MaskedChannel(uint32_t texel, uint32_t mask)
{
    if (mask == 0)
        return 255;
    const uint32_t shift = uint32_t(__builtin_ctz(mask));
    return uint32_t(std::floor(double((texel & mask) >> shift) * 255.0 / double(mask >> shift) + 0.5));
}

// The masks of a 32-bit file, red, green, blue, alpha: blue, green, red and
// alpha bytes without BI_BITFIELDS; with it, three after a 40-byte info
// header or four inside a longer one.
void FileMasks(const uint8_t* data, uint32_t masks[4])
{
    const uint32_t plain[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    const bool bMasked = Le32(data + 30) == 3;
    for (int i = 0; i < 4; ++i)
        masks[i] = !bMasked ? plain[i] : i == 3 && Le32(data + 14) == 40 ? 0 : Le32(data + 54 + 4 * i);
}

// Texel x of a file row as the loader must keep it: blue, green, red, alpha.
void FileTexel(const uint8_t* row, int64_t x, int bitCount, const uint32_t masks[4], uint8_t out[4])
{
    if (bitCount == 24) {
        std::memcpy(out, row + 3 * x, 3);
        out[3] = 255;
        return;
    }
    const uint32_t texel = Le32(row + 4 * x);
    for (int k = 0; k < 4; ++k)
        out[k] = uint8_t(MaskedChannel(texel, masks[k < 3 ? 2 - k : 3]));
}

// The rows as a loader that accepts the file must store them: top row
// first, 3 bytes per texel and one of alpha where there is alpha, no
// padding, read from the header's data offset. A plain 32-bit file whose
// alpha bytes are all 0 is opaque.
bool RowsMatchFile(const KxDib& dib, const uint8_t* data, size_t size)
{
    const int64_t width = dib.GetWidth(), height = dib.GetHeight();
    const int32_t fileHeight = int32_t(Le32(data + 22));
    const int bitCount = data[28] | data[29] << 8;
    if (width != int32_t(Le32(data + 18)) || height != std::llabs(int64_t(fileHeight)))
        return Fail("loaded size differs from the header's");
    uint32_t masks[4];
    FileMasks(data, masks);
    const uint64_t fileRowBytes = uint64_t(bitCount / 8) * uint64_t(width), fileRow = (fileRowBytes + 3) & ~uint64_t(3);
    bool bAnyAlpha = false;
    for (int64_t row = 0; row < height; ++row) {
        const uint64_t at = Le32(data + 10) + uint64_t(fileHeight < 0 ? row : height - 1 - row) * fileRow;
        if (at + fileRowBytes > size)
            return Fail("loaded rows the file does not hold");
        for (int64_t x = 0; x < width; ++x) {
            uint8_t texel[4];
            FileTexel(data + at, x, bitCount, masks, texel);
            bAnyAlpha |= texel[3] != 0;
            if (std::memcmp(dib.GetBits() + 3 * (row * width + x), texel, 3) != 0)
                return Fail("a loaded row differs from the file");
            if (dib.GetAlpha() && dib.GetAlpha()[row * width + x] != texel[3])
                return Fail("a loaded alpha differs from the file");
        }
    }
    const bool bAlpha = bitCount == 32 && masks[3] != 0 && (Le32(data + 30) == 3 || bAnyAlpha);
    if ((dib.GetAlpha() != nullptr) != bAlpha)
        return Fail("an image with alpha lost it, or one without gained it");
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
    // Once more blended by the texels' alpha, the clear ones dropped.
    const std::pair<uint32_t, uint32_t> blended[] = {{KXRS_ALPHABLENDENABLE, 1}, {KXRS_SRCBLEND, KXBLEND_SRCALPHA},
                                                     {KXRS_DESTBLEND, KXBLEND_INVSRCALPHA}, {KXRS_ALPHATESTENABLE, 1},
                                                     {KXRS_ALPHAFUNC, KXCMP_GREATER}};
    for (auto [state, value] : blended)
        device.SetRenderState(state, value);
    device.RasterizeTriangle(-5, -5, 0.1f, 70, -5, 0.1f, 70, 55, 0.1f, white | 0x80000000u, white, white,
                             -0.5f, -0.5f, 1.5f, -0.5f, 1.5f, 1.5f, 1.0f, 1.0f, 1.0f);
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
