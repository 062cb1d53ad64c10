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

// The memory bytes a file built by KxBmpFile must load as: rows top-down,
// no padding.
std::vector<uint8_t> ExpectedTopDownBits(int32_t width, int32_t rows, bool bFileIsTopDown)
{
    std::vector<uint8_t> bits;
    for (int32_t y = 0; y < rows; ++y) {
        const int32_t fileRow = bFileIsTopDown ? y : rows - 1 - y;
        for (int32_t x = 0; x < width; ++x)
            for (int32_t k = 0; k < 3; ++k)
                bits.push_back(KxFileByte(x, fileRow, k));
    }
    return bits;
}

std::vector<uint8_t> BitsOf(const KxDib& dib)
{
    const size_t size = size_t(dib.GetWidth()) * size_t(dib.GetHeight()) * 3;
    return dib.GetBits() ? std::vector<uint8_t>(dib.GetBits(), dib.GetBits() + size) : std::vector<uint8_t>();
}

}  // namespace

TEST(DibLoad, BottomUpRowsLoadTopDownWithoutPadding)
{
    // Bottom row first in the file, each row padded with two bytes.
    const std::vector<uint8_t> rows = {
        0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xEE, 0xEE,  // bottom row
        0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0xEE, 0xEE,  // top row
    };
    std::vector<uint8_t> file = KxBmpHeaders(2, 2);
    file.insert(file.end(), rows.begin(), rows.end());

    KxDib dib(nullptr, 3);
    ASSERT_TRUE(dib.Load(KxWriteTempFile("dib2x2.bmp", file).c_str()));
    EXPECT_STREQ(dib.GetLoadError(), "");
    EXPECT_EQ(dib.GetWidth(), 2);
    EXPECT_EQ(dib.GetHeight(), 2);
    const std::vector<uint8_t> expected = {0x11, 0x12, 0x13, 0x14, 0x15, 0x16,
                                           0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    EXPECT_EQ(BitsOf(dib), expected);
}

TEST(DibLoad, AcceptedLayouts)
{
    struct Case {
        const char* name;
        int32_t width, height;
        uint32_t infoSize;
    };
    const Case cases[] = {
        {"dib256.bmp", 256, 3, 40},   // rows of 768 bytes, no padding
        {"dib5x3.bmp", 5, 3, 40},     // rows of 15 bytes, one padding byte
        {"dibtopdown.bmp", 3, -4, 40},
        {"dibv4.bmp", 3, 2, 108},
        {"dibv5.bmp", 3, 2, 124},
        {"dibv5topdown.bmp", 2, -3, 124},
    };
    for (const Case& c : cases) {
        KxDib dib(nullptr, 3);
        ASSERT_TRUE(dib.Load(KxWriteTempFile(c.name, KxBmpFile(c.width, c.height, c.infoSize)).c_str()))
            << c.name << ": " << dib.GetLoadError();
        const int32_t rows = c.height < 0 ? -c.height : c.height;
        EXPECT_EQ(dib.GetHeight(), rows) << c.name;
        EXPECT_EQ(BitsOf(dib), ExpectedTopDownBits(c.width, rows, c.height < 0)) << c.name;
    }
}

TEST(DibLoad, PixelsAreReadFromTheDataOffset)
{
    std::vector<uint8_t> file = KxBmpFile(2, 1);
    file.insert(file.begin() + 54, {0xAA, 0xBB, 0xCC, 0xDD});  // a gap after the headers
    KxPatch32(file, kBmpDataOffsetAt, 58);
    KxDib dib(nullptr, 3);
    ASSERT_TRUE(dib.Load(KxWriteTempFile("dibgap.bmp", file).c_str()));
    EXPECT_EQ(BitsOf(dib), ExpectedTopDownBits(2, 1, false));
}

TEST(DibLoad, LastRowPaddingMayBeMissing)
{
    std::vector<uint8_t> file = KxBmpFile(1, 2);  // rows of 3 bytes + 1 padding
    file.pop_back();
    KxDib dib(nullptr, 3);
    EXPECT_TRUE(dib.Load(KxWriteTempFile("dibnopad.bmp", file).c_str())) << dib.GetLoadError();
}

TEST(DibLoad, MalformedFilesAreRejectedAndLeaveTheBitmapEmpty)
{
    struct Case {
        const char* name;
        size_t at;       // field offset, or SIZE_MAX for a truncation by `value` bytes
        uint32_t value;
        bool b16Bit;
    };
    const size_t kTruncate = SIZE_MAX;
    const Case cases[] = {
        {"signature", kBmpSignatureAt, 0x4142, true},
        {"core header", kBmpInfoSizeAt, 12, false},
        {"v3 header", kBmpInfoSizeAt, 56, false},
        {"8 bits", kBmpBitCountAt, 8, true},
        {"32 bits", kBmpBitCountAt, 32, true},
        {"rle8", kBmpCompressionAt, 1, false},
        {"bitfields", kBmpCompressionAt, 3, false},
        {"zero width", kBmpWidthAt, 0, false},
        {"negative width", kBmpWidthAt, uint32_t(-4), false},
        {"zero height", kBmpHeightAt, 0, false},
        {"wide", kBmpWidthAt, 16385, false},
        {"tall", kBmpHeightAt, 16385, false},
        {"tall top-down", kBmpHeightAt, uint32_t(-16385), false},
        {"most negative height", kBmpHeightAt, 0x80000000u, false},
        {"overflowing width", kBmpWidthAt, 0x7FFFFFFF, false},
        {"offset past the end", kBmpDataOffsetAt, 1000, false},
        {"offset into the headers", kBmpDataOffsetAt, 20, false},
        {"huge offset", kBmpDataOffsetAt, 0xFFFFFFFF, false},
        {"short pixel data", kTruncate, 5, false},  // 4 rows of 12 bytes: the last row loses 5
        {"short headers", kTruncate, 60, false},
        {"headers only", kTruncate, 48, false},
    };
    const std::string goodPath = KxWriteTempFile("dibgood.bmp", KxBmpFile(4, 4));
    for (const Case& c : cases) {
        std::vector<uint8_t> file = KxBmpFile(4, 4);
        if (c.at == kTruncate)
            file.erase(file.end() - std::ptrdiff_t(c.value), file.end());
        else if (c.b16Bit)
            KxPatch16(file, c.at, c.value);
        else
            KxPatch32(file, c.at, c.value);

        KxDib dib(nullptr, 3);
        ASSERT_TRUE(dib.Load(goodPath.c_str()));
        EXPECT_FALSE(dib.Load(KxWriteTempFile("dibbad.bmp", file).c_str())) << c.name;
        EXPECT_EQ(dib.GetBits(), nullptr) << c.name;
        EXPECT_EQ(dib.GetWidth(), 0) << c.name;
        EXPECT_EQ(dib.GetHeight(), 0) << c.name;
        EXPECT_STRNE(dib.GetLoadError(), "") << c.name;
        EXPECT_EQ(dib.ReadPixel(0.5f, 0.5f), 0u) << c.name;
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
    EXPECT_EQ(dib.GetBits(), nullptr);
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

    const float below2OverW = std::nextafter(0.5f, 0.0f);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float s;
        uint32_t column;
    };
    const Case columns[] = {
        {0.0f, 0}, {0.25f, 0}, {below2OverW, 0}, {0.5f, 1}, {0.75f, 2}, {0.999f, 2}, {1.0f, 3},
        // Inside by the mapping: W x s in (-1, W + 1).
        {-0.2f, 0}, {1.2f, 3},
        // Outside: clamped to the edge texels.
        {-0.25f, 0}, {1.25f, 3}, {-1e30f, 0}, {1e30f, 3}, {-inf, 0}, {inf, 3}, {nan, 0},
    };
    for (const Case& c : columns)
        EXPECT_EQ(dib.ReadPixel(c.s, 0.0f), c.column) << "s = " << c.s;

    EXPECT_EQ(dib.ReadPixel(1.0f, 0.5f), 0x03u);  // H x t = 1: row 0
    EXPECT_EQ(dib.ReadPixel(1.0f, 1.0f), 0x13u);
    EXPECT_EQ(dib.ReadPixel(0.0f, 2.0f), 0x10u);
    EXPECT_EQ(dib.ReadPixel(0.0f, -5.0f), 0x00u);
    EXPECT_EQ(dib.ReadPixel(nan, nan), 0x00u);
}

TEST(DibSample, TexelsPackTheFileBytesBlueFirst)
{
    std::vector<uint8_t> file = KxBmpHeaders(1, 1);
    file.insert(file.end(), {0x10, 0x20, 0x30, 0x00});
    KxTexture texture(KxWriteTempFile("dibpack.bmp", file).c_str(), nullptr, 3);
    ASSERT_TRUE(texture.IsLoaded());
    EXPECT_EQ(texture.Sample(0.0f, 0.0f), 0x102030u);
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

    // A failure overwrites whatever the out pointer held.
    std::vector<uint8_t> bad = KxBmpFile(2, 2);
    KxPatch16(bad, kBmpBitCountAt, 32);
    KxTexture* failed = texture;
    EXPECT_FALSE(t.device.CreateTextureFromFile(KxWriteTempFile("dibtexbad.bmp", bad).c_str(), &failed));
    EXPECT_EQ(failed, nullptr);

    const KxAssertReporter previous = KxSetAssertReporter(SilentReporter);
    failed = texture;
    EXPECT_FALSE(t.device.CreateTextureFromFile((::testing::TempDir() + "missing.bmp").c_str(), &failed));
    EXPECT_EQ(failed, nullptr);
    EXPECT_STREQ(t.device.GetTextureLoadError(), "cannot open the file");  // the reason outlives the texture
    KxSetAssertReporter(previous);

    EXPECT_FALSE(t.device.CreateTextureFromFile(goodPath.c_str(), nullptr));
    EXPECT_TRUE(texture->Release());
}

TEST(DeviceTextures, SetTextureBindsStagesZeroToSeven)
{
    KxTestDevice t(4, 4);
    KxTexture texture(KxWriteTempFile("dibstage.bmp", KxBmpFile(1, 1)).c_str(), t.device.GetPixels(), 3);
    EXPECT_FALSE(t.device.SetTexture(8, &texture));
    EXPECT_EQ(t.device.GetTextureStage(8), nullptr);
    EXPECT_TRUE(t.device.SetTexture(7, &texture));
    EXPECT_TRUE(t.device.SetTexture(0, &texture));  // one texture in two stages
    EXPECT_EQ(t.device.GetTextureStage(7), &texture);
    EXPECT_EQ(t.device.GetTextureStage(0), &texture);
    EXPECT_FALSE(t.device.SetTexture(0, nullptr));
    EXPECT_EQ(t.device.GetTextureStage(0), nullptr);
    EXPECT_EQ(t.device.GetTextureStage(7), &texture);
    t.device.SetTexture(7, nullptr);
}
