#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "kxtestbmp.h"
#include "kxtestdevice.h"
#include "math/kxassert.h"
#include "render/kxdib.h"

namespace {

void SilentReporter(const char*, const char*) {}

std::vector<uint8_t> BitsOf(const KxDib& dib)
{
    const size_t size = size_t(dib.GetWidth()) * size_t(dib.GetHeight()) * 3;
    return dib.GetBits() ? std::vector<uint8_t>(dib.GetBits(), dib.GetBits() + size) : std::vector<uint8_t>();
}

// The memory bytes a file built by KxBmpFile must load as: rows top-down,
// no padding.
std::vector<uint8_t> ExpectedTopDownBits(int32_t width, int32_t rows, bool bFileIsTopDown)
{
    std::vector<uint8_t> bits;
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < width; ++x)
            for (int32_t k = 0; k < 3; ++k)
                bits.push_back(KxFileByte(x, bFileIsTopDown ? y : rows - 1 - y, k));
    return bits;
}

}  // namespace

TEST(DibLoad, AcceptedLayouts)
{
    const struct {
        int32_t width, height;
        uint32_t infoSize;
    } cases[] = {
        {2, 2, 40},    // rows of 6 bytes, two padding bytes
        {256, 3, 40},  // rows of 768 bytes, no padding
        {5, 3, 40},    // rows of 15 bytes, one padding byte
        {3, -4, 40},   // top-down
        {3, 2, 108},
        {3, 2, 124},
        {2, -3, 124},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + ", " + std::to_string(c.infoSize));
        KxDib dib(nullptr, 3);
        ASSERT_TRUE(dib.Load(KxWriteTempFile("dibok.bmp", KxBmpFile(c.width, c.height, c.infoSize)).c_str()))
            << dib.GetLoadError();
        const int32_t rows = c.height < 0 ? -c.height : c.height;
        EXPECT_STREQ(dib.GetLoadError(), "");
        EXPECT_EQ(dib.GetWidth(), c.width);
        EXPECT_EQ(dib.GetHeight(), rows);
        EXPECT_EQ(BitsOf(dib), ExpectedTopDownBits(c.width, rows, c.height < 0));
    }
}

TEST(DibLoad, PixelsAreReadFromTheDataOffsetAndTheLastPaddingMayBeMissing)
{
    std::vector<uint8_t> file = KxBmpFile(1, 2);                // rows of 3 bytes + 1 padding
    file.insert(file.begin() + 54, {0xAA, 0xBB, 0xCC, 0xDD});  // a gap after the headers
    KxPatch(file, kBmpDataOffsetAt, 58);
    file.pop_back();
    KxDib dib(nullptr, 3);
    ASSERT_TRUE(dib.Load(KxWriteTempFile("dibgap.bmp", file).c_str())) << dib.GetLoadError();
    EXPECT_EQ(BitsOf(dib), ExpectedTopDownBits(1, 2, false));
}

TEST(DibLoad, MalformedFilesAreRejectedWithTheirReasonAndLeaveTheBitmapEmpty)
{
    const char* kHeaders = "file too short for the BMP headers";
    const char* kInfo = "unsupported BMP info header";
    const char* kBits = "not a 24-bit image";
    const char* kCompressed = "compressed image";
    const char* kEmpty = "empty or negative image size";
    const char* kLarge = "image larger than 16384 x 16384";
    const char* kOffset = "pixel data offset outside the file";
    const char* kShort = "file shorter than its pixel data";
    const struct {
        size_t at;  // field offset, or SIZE_MAX for a truncation by `value` bytes
        uint32_t value;
        int size;
        const char* reason;
    } cases[] = {
        {kBmpSignatureAt, 0x4142, 2, "not a BMP file"},
        {kBmpInfoSizeAt, 12, 4, kInfo},  // core header
        {kBmpInfoSizeAt, 56, 4, kInfo},  // v3 header
        {kBmpBitCountAt, 8, 2, kBits},
        {kBmpBitCountAt, 32, 2, kBits},
        {kBmpCompressionAt, 1, 4, kCompressed},  // RLE8
        {kBmpCompressionAt, 3, 4, kCompressed},  // bit fields
        {kBmpWidthAt, 0, 4, kEmpty},
        {kBmpWidthAt, uint32_t(-4), 4, kEmpty},
        {kBmpHeightAt, 0, 4, kEmpty},
        {kBmpWidthAt, 16385, 4, kLarge},
        {kBmpHeightAt, 16385, 4, kLarge},
        {kBmpHeightAt, uint32_t(-16385), 4, kLarge},
        {kBmpHeightAt, 0x80000000u, 4, kLarge},
        {kBmpWidthAt, 0x7FFFFFFF, 4, kLarge},
        {kBmpDataOffsetAt, 1000, 4, kOffset},
        {kBmpDataOffsetAt, 53, 4, kOffset},  // into the headers
        {kBmpDataOffsetAt, 0xFFFFFFFF, 4, kOffset},
        {SIZE_MAX, 5, 0, kShort},  // 4 rows of 12 bytes: the last row loses 5
        {SIZE_MAX, 48, 0, kShort},  // headers only
        {SIZE_MAX, 60, 0, kHeaders},
    };
    const std::string goodPath = KxWriteTempFile("dibgood.bmp", KxBmpFile(4, 4));
    KxDib dib(nullptr, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason + std::string(" at ") + std::to_string(c.at) + ": " + std::to_string(c.value));
        std::vector<uint8_t> file = KxBmpFile(4, 4);
        if (c.at == SIZE_MAX)
            file.resize(file.size() - c.value);
        else
            KxPatch(file, c.at, c.value, c.size);
        ASSERT_TRUE(dib.Load(goodPath.c_str()));
        EXPECT_STREQ(dib.GetLoadError(), "");  // the previous reason is gone
        EXPECT_FALSE(dib.Load(KxWriteTempFile("dibbad.bmp", file).c_str()));
        EXPECT_STREQ(dib.GetLoadError(), c.reason);
        EXPECT_EQ(dib.GetBits(), nullptr);
        EXPECT_EQ(dib.GetWidth(), 0);
        EXPECT_EQ(dib.GetHeight(), 0);
        EXPECT_EQ(dib.ReadPixel(0.5f, 0.5f), 0u);
    }
}

TEST(DibLoad, MissingFileRaisesTheAssertionAndFails)
{
    const KxAssertReporter previous = KxSetAssertReporter(SilentReporter);
    const unsigned long failures = KxAssertFailureCount();
    KxDib dib(nullptr, 3);
    EXPECT_FALSE(dib.Load((::testing::TempDir() + "no-such-file.bmp").c_str()));
    EXPECT_FALSE(dib.Load(nullptr));
    EXPECT_EQ(KxAssertFailureCount(), failures + 2);
    EXPECT_STREQ(dib.GetLoadError(), "cannot open the file");
    KxSetAssertReporter(previous);
}

TEST(DibSample, CoordinatesMapToTexelsAndClampOutside)
{
    // 4 x 2 texels, texel (x, y) = 0x0000yx.
    std::vector<uint32_t> texels;
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 4; ++x)
            texels.push_back(y << 4 | x);
    KxDib dib(nullptr, 3);
    ASSERT_TRUE(dib.Load(KxWriteTempFile("dibsample.bmp", KxBmpFromTexels(4, 2, texels)).c_str()));

    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float s, t;
        uint32_t texel;
    } cases[] = {
        {0.0f, 0, 0x00}, {0.25f, 0, 0x00}, {std::nextafter(0.5f, 0.0f), 0, 0x00}, {0.5f, 0, 0x01},
        {0.75f, 0, 0x02}, {0.999f, 0, 0x02}, {1.0f, 0, 0x03},
        // Inside by the mapping: W x s in (-1, W + 1).
        {-0.2f, 0, 0x00}, {1.2f, 0, 0x03},
        // Outside: clamped to the edge texels.
        {-0.25f, 0, 0x00}, {1.25f, 0, 0x03}, {-1e30f, 0, 0x00}, {1e30f, 0, 0x03}, {-inf, 0, 0x00}, {inf, 0, 0x03},
        {nan, 0, 0x00},
        {1.0f, 0.5f, 0x03},  // H x t = 1: row 0
        {1.0f, 1.0f, 0x13}, {0.0f, 2.0f, 0x10}, {0.0f, -5.0f, 0x00}, {nan, nan, 0x00},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dib.ReadPixel(c.s, c.t), c.texel) << "s = " << c.s << ", t = " << c.t;
}

TEST(DeviceTextures, CreateTextureFromFileHandsOutOnlyLoadedTextures)
{
    KxTestDevice t(4, 4);
    const std::string goodPath = KxWriteTempFile("dibtex.bmp", KxBmpFile(2, 2));
    KxTexture* texture = nullptr;
    EXPECT_TRUE(t.device.CreateTextureFromFile(goodPath.c_str(), &texture));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetWidth(), 2);
    EXPECT_STREQ(t.device.GetTextureLoadError(), "");

    // A failure overwrites whatever the out pointer held; the reason
    // outlives the texture.
    std::vector<uint8_t> bad = KxBmpFile(2, 2);
    KxPatch(bad, kBmpBitCountAt, 32, 2);
    KxTexture* failed = texture;
    EXPECT_FALSE(t.device.CreateTextureFromFile(KxWriteTempFile("dibtexbad.bmp", bad).c_str(), &failed));
    EXPECT_EQ(failed, nullptr);
    EXPECT_STREQ(t.device.GetTextureLoadError(), "not a 24-bit image");

    EXPECT_FALSE(t.device.CreateTextureFromFile(goodPath.c_str(), nullptr));
    EXPECT_TRUE(texture->Release());
}
