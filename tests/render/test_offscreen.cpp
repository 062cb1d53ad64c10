// Devices without a window, frames written as files and textures made in
// memory: what a program that embeds the renderer relies on.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "kxtestdevice.h"
#include "render/kxbmpwriter.h"

namespace {

std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + "kx" + std::to_string(getpid()) + "-" + name;
}

}  // namespace

TEST(Offscreen, PresentsNothingAndTakesItsBuffersOnce)
{
    KxTestDevice t(61, 37);
    t.device.Clear(0, nullptr, 3, 0x336699, 1.0f, 0);
    const std::vector<uint32_t> drawn = t.Frame();
    EXPECT_EQ(t.device.Present(), FALSE);
    EXPECT_EQ(t.Frame(), drawn);
    EXPECT_FALSE(t.device.CreateOffscreen(8, 8));
    EXPECT_EQ(t.device.GetWidth(), 61);
}

TEST(Offscreen, RefusedSizesLeaveNoBuffers)
{
    const int32_t sizes[][2] = {{0, 1}, {1, 0}, {-1, 5}, {5, INT_MIN}, {INT_MAX, 1}, {26755, 26755}, {1, INT_MAX}};
    for (const auto& size : sizes) {
        KxSoftwareRenderDevice device;
        EXPECT_FALSE(device.CreateOffscreen(size[0], size[1])) << size[0] << " x " << size[1];
        EXPECT_TRUE(device.GetPixels() == nullptr && device.GetWidth() == 0 && device.GetHeight() == 0);
        EXPECT_TRUE(device.Clear(0, nullptr, 3, 0x123456, 1.0f, 0));
        EXPECT_FALSE(device.SaveBmp(TempPath("empty.bmp").c_str()));
    }
}

// The saved file loads back as the frame, and so does the frame given to
// CreateTextureFromMemory with its padded rows.
TEST(SaveBmp, FileAndMemoryTexturesHoldTheFrame)
{
    for (int32_t width : {1, 2, 3, 4, 5, 61}) {
        KxTestDevice t(width, 7);
        for (int32_t i = 0; i < t.device.GetRowStride() * 7; ++i)
            t.device.GetPixels()[i] = uint8_t(i * 7 + 1);
        const std::string path = TempPath("saved.bmp");
        ASSERT_TRUE(t.device.SaveBmp(path.c_str()));
        EXPECT_EQ(std::filesystem::file_size(path), 54u + ((3u * width + 3) & ~3u) * 7u);
        KxTexture* textures[2] = {};
        ASSERT_TRUE(t.device.CreateTextureFromFile(path.c_str(), &textures[0]));
        ASSERT_TRUE(t.device.CreateTextureFromMemory(t.device.GetPixels(), width, 7, t.device.GetRowStride(),
                                                     &textures[1]));
        EXPECT_STREQ(t.device.GetTextureLoadError(), "");
        for (KxTexture* texture : textures) {
            ASSERT_TRUE(texture->GetWidth() == width && texture->GetHeight() == 7);
            for (int32_t y = 0; y < 7; ++y)
                ASSERT_EQ(0, std::memcmp(texture->GetBits() + 3 * width * y,
                                         t.device.GetPixels() + t.device.GetRowStride() * y, size_t(3 * width)))
                    << width << ", row " << y;
            texture->Release();
        }
    }
}

TEST(SaveBmp, FailuresReturnFalseAndLeaveNothingBehind)
{
    const std::filesystem::path folder = TempPath("savebmp");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "a directory");
    KxTestDevice t(4, 4);
    for (const std::string& path : {(folder / "no" / "f").string(), (folder / "a directory").string(), std::string()})
        EXPECT_FALSE(t.device.SaveBmp(path.c_str())) << path;
    EXPECT_FALSE(t.device.SaveBmp(nullptr));
    // The writer itself refuses images without rows or columns.
    EXPECT_FALSE(KxWriteBmpFile((folder / "flat.bmp").string().c_str(), t.device.GetPixels(), 4, 0, 12));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);  // "a directory" alone
    std::filesystem::remove_all(folder);
}

TEST(TextureFromMemory, RefusalsGiveTheLoaderReasons)
{
    const uint8_t pixels[64] = {};
    const char* kEmpty = "empty or negative image size";
    const char* kLarge = "image larger than 16384 x 16384";
    const char* kStride = "row stride shorter than a row of pixels";
    const struct {
        const uint8_t* source;
        int32_t width, height, stride;
        const char* reason;
    } cases[] = {
        {nullptr, 1, 1, 3, "no pixel data"}, {pixels, 0, 1, 3, kEmpty},  {pixels, -2, 1, 3, kEmpty},
        {pixels, 1, 0, 3, kEmpty},           {pixels, 1, -1, 3, kEmpty}, {pixels, 16385, 1, 49155, kLarge},
        {pixels, 1, 16385, 3, kLarge},       {pixels, 2, 2, 5, kStride}, {pixels, 2, 2, -6, kStride},
    };
    KxSoftwareRenderDevice device;
    for (const auto& c : cases) {
        KxTexture* pTexture = reinterpret_cast<KxTexture*>(&device);
        EXPECT_FALSE(device.CreateTextureFromMemory(c.source, c.width, c.height, c.stride, &pTexture)) << c.reason;
        EXPECT_EQ(pTexture, nullptr);
        EXPECT_STREQ(device.GetTextureLoadError(), c.reason);
    }
    EXPECT_FALSE(device.CreateTextureFromMemory(pixels, 1, 1, 3, nullptr));
}
