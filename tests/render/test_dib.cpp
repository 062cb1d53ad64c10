// The bitmap loader on files built byte by byte: the layouts it takes, the
// reason it gives for each one it refuses, and where sampling lands.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>

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
    const char* kBits = "not a 24-bit image";
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
        {4, 4, 40, 0, kBitCountAt, 8, 2, kBits}, {4, 4, 40, 0, kBitCountAt, 32, 2, kBits},
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
