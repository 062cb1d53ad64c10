// The bitmap loader on files built byte by byte: the layouts it takes, the
// reason it gives for each one it refuses, and where sampling lands; 32-bit
// files and pixels in memory against a transcription of the mask rule.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

#include "kxtestdevice.h"

namespace {

// Offsets of header fields within the file.
enum : size_t {
    kSignatureAt = 0, kDataOffsetAt = 10, kInfoSizeAt = 14, kWidthAt = 18, kHeightAt = 22, kBitCountAt = 28,
    kCompressionAt = 30
};

void Patch(std::vector<uint8_t>& bytes, size_t offset, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[offset + size_t(i)] = uint8_t(value >> (8 * i));
}

// Byte k of texel x in the row-th row of the file: distinct in small images.
uint8_t FileByte(int32_t x, int32_t row, int32_t k)
{
    return uint8_t(row * 64 + x * 3 + k + 1);
}

// A 24-bit BI_RGB file with an info header of infoSize bytes (zero past the
// first 40), gap bytes before the rows, each row padded with 0xEE.
std::vector<uint8_t> BmpFile(int32_t width, int32_t height, uint32_t infoSize = 40, uint32_t gap = 0)
{
    std::vector<uint8_t> bytes(14 + infoSize + gap, 0xAA);
    std::fill(bytes.begin(), bytes.begin() + 14 + infoSize, 0);
    const std::tuple<size_t, uint32_t, int> fields[] = {
        {kSignatureAt, 0x4D42, 2},           {kDataOffsetAt, 14 + infoSize + gap, 4}, {kInfoSizeAt, infoSize, 4},
        {kWidthAt, uint32_t(width), 4},      {kHeightAt, uint32_t(height), 4},        {26, 1, 2},  // planes
        {kBitCountAt, 24, 2}};
    for (auto [at, value, size] : fields)
        Patch(bytes, at, value, size);
    for (int32_t row = 0; row < std::abs(height); ++row) {
        for (int32_t i = 0; i < 3 * width; ++i)
            bytes.push_back(FileByte(i / 3, row, i % 3));
        bytes.resize(bytes.size() + (4 - 3 * width % 4) % 4, 0xEE);
    }
    return bytes;
}

std::string WriteTemp(const std::vector<uint8_t>& bytes)
{
    const std::string path = ::testing::TempDir() + "kxdib" + std::to_string(getpid()) + ".bmp";
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return path;
}

}  // namespace

TEST(DibLoad, LayoutsItTakesAndReasonsForThoseItRefuses)
{
    const char* kInfo = "unsupported BMP info header";
    const char* kBits = "not a 24- or 32-bit image";
    const char* kCompressed = "compressed image";
    const char* kEmpty = "empty or negative image size";
    const char* kLarge = "image larger than 16384 x 16384";
    const char* kOffset = "pixel data offset outside the file";
    const char* kShort = "file shorter than its pixel data";
    const size_t kCut = SIZE_MAX;  // `value` bytes cut off the end
    const struct {
        int32_t width, height;
        uint32_t infoSize, gap;
        size_t at;
        uint32_t value;
        int size;
        const char* reason;  // "" for a file that loads
    } cases[] = {
        // Rows of 6 bytes (two padding bytes), of 768 (none), of 15 (one); top-down.
        {2, 2, 40, 0, 0, 0, 0, ""}, {256, 3, 40, 0, 0, 0, 0, ""}, {5, 3, 40, 0, 0, 0, 0, ""},
        {3, -4, 40, 0, 0, 0, 0, ""},
        // Longer headers, a gap before the rows, the last row's padding missing.
        {3, 2, 108, 0, 0, 0, 0, ""}, {2, -3, 124, 4, 0, 0, 0, ""}, {1, 2, 40, 0, kCut, 1, 0, ""},
        {4, 4, 40, 0, kSignatureAt, 0x4142, 2, "not a BMP file"},
        {4, 4, 40, 0, kInfoSizeAt, 12, 4, kInfo}, {4, 4, 40, 0, kInfoSizeAt, 56, 4, kInfo},  // core and v3 headers
        {4, 4, 40, 0, kBitCountAt, 8, 2, kBits}, {4, 4, 40, 0, kBitCountAt, 16, 2, kBits},
        {4, 4, 40, 0, kBitCountAt, 32, 2, kShort},  // 24-bit rows read as 32-bit ones
        {4, 4, 40, 0, kCompressionAt, 1, 4, kCompressed}, {4, 4, 40, 0, kCompressionAt, 3, 4, kCompressed},
        {4, 4, 40, 0, kWidthAt, 0, 4, kEmpty}, {4, 4, 40, 0, kWidthAt, uint32_t(-4), 4, kEmpty},
        {4, 4, 40, 0, kHeightAt, 0, 4, kEmpty}, {4, 4, 40, 0, kWidthAt, 16385, 4, kLarge},
        {4, 4, 40, 0, kHeightAt, 16385, 4, kLarge}, {4, 4, 40, 0, kHeightAt, uint32_t(-16385), 4, kLarge},
        {4, 4, 40, 0, kHeightAt, 0x80000000u, 4, kLarge}, {4, 4, 40, 0, kWidthAt, 0x7FFFFFFF, 4, kLarge},
        {4, 4, 40, 0, kDataOffsetAt, 1000, 4, kOffset}, {4, 4, 40, 0, kDataOffsetAt, 0xFFFFFFFF, 4, kOffset},
        {4, 4, 40, 0, kDataOffsetAt, 53, 4, kOffset},  // into the headers
        // Cut: the last of 4 rows of 12 bytes loses 5; headers only; less.
        {4, 4, 40, 0, kCut, 5, 0, kShort}, {4, 4, 40, 0, kCut, 48, 0, kShort},
        {4, 4, 40, 0, kCut, 60, 0, "file too short for the BMP headers"},
    };
    KxDib dib(nullptr, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(&c - cases));
        ASSERT_TRUE(dib.LoadFromMemory(reinterpret_cast<const uint8_t*>("abc"), 1, 1, 3));  // a previous image
        std::vector<uint8_t> file = BmpFile(c.width, c.height, c.infoSize, c.gap);
        if (c.at == kCut)
            file.erase(file.end() - c.value, file.end());
        else if (c.size)
            Patch(file, c.at, c.value, c.size);
        EXPECT_EQ(dib.Load(WriteTemp(file).c_str()), *c.reason == '\0');
        EXPECT_STREQ(dib.GetLoadError(), c.reason);
        // Rows top-down in memory, without padding; a refusal leaves nothing.
        std::vector<uint8_t> expected;
        for (int32_t y = 0; *c.reason == '\0' && y < std::abs(c.height); ++y)
            for (int32_t i = 0; i < 3 * c.width; ++i)
                expected.push_back(FileByte(i / 3, c.height < 0 ? y : std::abs(c.height) - 1 - y, i % 3));
        EXPECT_EQ(dib.GetWidth() * dib.GetHeight() * 3, int32_t(expected.size()));
        EXPECT_EQ(std::vector<uint8_t>(dib.GetBits(), dib.GetBits() + (dib.GetBits() ? expected.size() : 0)), expected);
        EXPECT_EQ(dib.ReadPixel(0.5f, 0.5f) == 0, expected.empty());
    }
}

namespace {

// A 32-bit file of the given texel words (top row first) with an info
// header of infoSize bytes: masks (red, green, blue, alpha) in the header
// from byte 40 on when it is longer, or red, green and blue after it when it
// is 40 bytes long and the compression is BI_BITFIELDS (3).
std::vector<uint8_t> Bmp32File(int32_t width, int32_t height, uint32_t infoSize, uint32_t compression,
                               const uint32_t masks[4], const std::vector<uint32_t>& texels)
{
    const bool bMasksAfter = infoSize == 40 && compression == 3;
    const uint32_t dataAt = 14 + infoSize + (bMasksAfter ? 12 : 0);
    std::vector<uint8_t> bytes(dataAt, 0);
    const std::tuple<size_t, uint32_t, int> fields[] = {
        {kSignatureAt, 0x4D42, 2},      {kDataOffsetAt, dataAt, 4},       {kInfoSizeAt, infoSize, 4},
        {kWidthAt, uint32_t(width), 4}, {kHeightAt, uint32_t(height), 4}, {26, 1, 2},
        {kBitCountAt, 32, 2},           {kCompressionAt, compression, 4}};
    for (auto [at, value, size] : fields)
        Patch(bytes, at, value, size);
    for (int i = 0; i < (bMasksAfter ? 3 : infoSize >= 56 ? 4 : 0); ++i)
        Patch(bytes, 14 + 40 + 4 * size_t(i), masks[i], 4);
    for (int32_t fileRow = 0; fileRow < std::abs(height); ++fileRow) {
        const int32_t row = height < 0 ? fileRow : std::abs(height) - 1 - fileRow;
        for (int32_t x = 0; x < width; ++x) {
            bytes.resize(bytes.size() + 4);
            Patch(bytes, bytes.size() - 4, texels[size_t(row * width + x)], 4);
        }
    }
    return bytes;
}

// Bits of one mask to 0..255: the value over its largest, to the nearest
// byte.
uint32_t MaskedChannel(uint32_t texel, uint32_t mask)
{
    if (mask == 0)
        return 255;
    int shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    const double largest = double(mask >> shift);
    return uint32_t(std::floor(double((texel & mask) >> shift) * 255.0 / largest + 0.5));
}

// Texels read at their centres as packed colours with alpha.
std::vector<uint32_t> Samples(const KxDib& dib)
{
    std::vector<uint32_t> read;
    const int32_t w = dib.GetWidth(), h = dib.GetHeight();
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            read.push_back(dib.ReadPixelWithAlpha((float(x) + 1.5f) / float(w), (float(y) + 1.5f) / float(h)));
    return read;
}

}  // namespace

TEST(DibLoad, ThirtyTwoBitFilesPlainAndWithMasks)
{
    const uint32_t kBgra[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    const uint32_t kBgrx[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
    const uint32_t k1010102[4] = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};
    const uint32_t k565[4] = {0x0000F800, 0x000007E0, 0x0000001F, 0x00010000};  // and a 1-bit alpha
    const uint32_t kWide[4] = {0x00000003, 0x3FFFFFFC, 0x40000000, 0x80000000};  // 2, 28 and 1-bit channels
    const uint32_t kZero[4] = {0x00FF0000, 0, 0x000000FF, 0};
    const uint32_t kGap[4] = {0x00F0F000, 0x00000F00, 0x000000FF, 0};
    const uint32_t kOverlap[4] = {0x00FF0000, 0x0001FF00, 0x000000FF, 0};
    const uint32_t kAlphaOverlap[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x01FF0000};
    const uint32_t kAlpha7[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x7F000000};
    const uint32_t kAlphaGap[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xF1000000};
    const char* kOk = "";
    const size_t kCut = SIZE_MAX;
    const struct {
        int32_t width, height;
        uint32_t infoSize, compression;
        const uint32_t* masks;
        bool bZeroAlpha;  // every alpha byte 0
        size_t at;        // a patch, or kCut bytes off the end
        uint32_t value;
        const char* reason;
    } cases[] = {
        // BI_RGB: the fourth byte is alpha, unless it is 0 throughout.
        {3, 2, 40, 0, kBgra, false, 0, 0, kOk}, {5, -3, 40, 0, kBgra, false, 0, 0, kOk},
        {2, 2, 40, 0, kBgra, true, 0, 0, kOk}, {4, 3, 108, 0, k1010102, false, 0, 0, kOk},  // masks ignored
        // BI_BITFIELDS: masks after a 40-byte header (no alpha) or inside a longer one.
        {3, 3, 40, 3, kBgrx, false, 0, 0, kOk}, {4, 2, 40, 3, k1010102, false, 0, 0, kOk},
        {3, -2, 108, 3, k1010102, false, 0, 0, kOk}, {5, 2, 124, 3, k565, false, 0, 0, kOk},
        {2, 3, 124, 3, kWide, false, 0, 0, kOk}, {2, 2, 108, 3, kBgra, true, 0, 0, kOk},  // alpha 0 kept
        // Masks it refuses.
        {2, 2, 40, 3, kZero, false, 0, 0, "zero colour mask"},
        {2, 2, 108, 3, kGap, false, 0, 0, "colour mask bits not contiguous"},
        {2, 2, 124, 3, kAlphaGap, false, 0, 0, "colour mask bits not contiguous"},
        {2, 2, 40, 3, kOverlap, false, 0, 0, "colour masks overlap"},
        {2, 2, 108, 3, kAlphaOverlap, false, 0, 0, "colour masks overlap"},
        {2, 2, 108, 3, kAlpha7, false, 0, 0, kOk},
        // Header sizes, compressions, cuts and offsets.
        {2, 2, 56, 3, kBgra, false, 0, 0, "unsupported BMP info header"},
        {2, 2, 64, 0, kBgra, false, 0, 0, "unsupported BMP info header"},
        {2, 2, 40, 6, kBgra, false, 0, 0, "compressed image"},  // BI_ALPHABITFIELDS
        {2, 2, 40, 1, kBgra, false, 0, 0, "compressed image"},
        {2, 2, 40, 3, kBgrx, false, kCut, 16 + 5, "file too short for the BMP headers"},  // into the masks
        {2, 2, 40, 3, kBgrx, false, kDataOffsetAt, 62, "pixel data offset outside the file"},
        {2, 2, 40, 3, kBgrx, false, kDataOffsetAt, 66, kOk},
        {3, 2, 124, 3, kBgra, false, kCut, 1, "file shorter than its pixel data"},
        {3, 2, 40, 0, kBgra, false, kCut, 4, "file shorter than its pixel data"},
    };
    std::mt19937 rng(22);
    KxDib dib(nullptr, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(&c - cases));
        std::vector<uint32_t> texels(size_t(c.width * std::abs(c.height)));
        for (uint32_t& texel : texels)
            texel = c.bZeroAlpha ? rng() & 0x00FFFFFF : rng();
        std::vector<uint8_t> file = Bmp32File(c.width, c.height, c.infoSize, c.compression, c.masks, texels);
        if (c.at == kCut)
            file.erase(file.end() - c.value, file.end());
        else if (c.at)
            Patch(file, c.at, c.value, 4);
        ASSERT_TRUE(dib.LoadFromMemory(reinterpret_cast<const uint8_t*>("abcd"), 1, 1, 4, KXFMT_A8R8G8B8));
        EXPECT_EQ(dib.Load(WriteTemp(file).c_str()), *c.reason == '\0');
        EXPECT_STREQ(dib.GetLoadError(), c.reason);
        if (*c.reason != '\0') {
            EXPECT_TRUE(dib.GetBits() == nullptr && dib.GetAlpha() == nullptr);
            continue;
        }
        // Plain files read blue, green, red, alpha bytes; masks after a
        // 40-byte header give no alpha.
        const bool bPlain = c.compression == 0;
        uint32_t masks[4] = {kBgra[0], kBgra[1], kBgra[2], kBgra[3]};
        if (!bPlain)
            std::copy(c.masks, c.masks + (c.infoSize == 40 ? 3 : 4), masks);
        if (!bPlain && c.infoSize == 40)
            masks[3] = 0;
        const bool bAlpha = bPlain ? !c.bZeroAlpha : masks[3] != 0;
        EXPECT_EQ(dib.GetAlpha() != nullptr, bAlpha);
        std::vector<uint32_t> expected;
        for (uint32_t texel : texels)
            expected.push_back((bAlpha ? MaskedChannel(texel, masks[3]) : 255) << 24 |
                               MaskedChannel(texel, masks[2]) << 16 | MaskedChannel(texel, masks[1]) << 8 |
                               MaskedChannel(texel, masks[0]));
        EXPECT_EQ(Samples(dib), expected);
    }
}

TEST(DibLoad, PixelsFromMemoryInEachFormat)
{
    // Two rows of two pixels, 12 bytes apart.
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8, 0xEE, 0xEE, 0xEE, 0xEE,
                             9, 10, 11, 12, 13, 14, 15, 16, 0xEE, 0xEE, 0xEE, 0xEE};
    const struct {
        uint32_t format;
        int32_t rowStride;
        std::vector<uint32_t> samples;  // alpha, then the packed colour
        bool bAlpha;
        const char* reason;
    } cases[] = {
        {KXFMT_R8G8B8, 12, {0xFF010203, 0xFF040506, 0xFF090A0B, 0xFF0C0D0E}, false, ""},
        {KXFMT_A8R8G8B8, 12, {0x04010203, 0x08050607, 0x0C090A0B, 0x100D0E0F}, true, ""},
        {KXFMT_X8R8G8B8, 12, {0xFF010203, 0xFF050607, 0xFF090A0B, 0xFF0D0E0F}, false, ""},
        {KXFMT_A8R8G8B8, 7, {}, false, "row stride shorter than a row of pixels"},
        {KXFMT_R8G8B8, 5, {}, false, "row stride shorter than a row of pixels"},
        {19, 12, {}, false, "unsupported pixel format"},
        {23, 12, {}, false, "unsupported pixel format"},
    };
    KxSoftwareRenderDevice device;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        KxTexture* texture = reinterpret_cast<KxTexture*>(&device);  // must be overwritten
        EXPECT_EQ(device.CreateTextureFromMemory(bytes, 2, 2, c.rowStride, c.format, &texture), c.samples.size() > 0);
        EXPECT_STREQ(device.GetTextureLoadError(), c.reason);
        if (!texture)
            continue;
        EXPECT_EQ(Samples(*texture), c.samples);
        EXPECT_EQ(texture->GetAlpha() != nullptr, c.bAlpha);
        texture->Release();
    }
}
