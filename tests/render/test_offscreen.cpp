// Devices without a window, frames written as files and textures made in
// memory: what a program that embeds the renderer relies on.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kxtestbmp.h"
#include "kxtestdevice.h"
#include "render/kxdib.h"

namespace {

struct TexturedVertex {
    float x, y, z, nx, ny, nz, u, v;
};

// Two lit, textured triangles through the whole pipeline with identity
// transforms, the texture made in memory.
void DrawTexturedQuad(KxSoftwareRenderDevice& device)
{
    const uint8_t texels[2 * 2 * 3] = {0x10, 0x20, 0x30, 0xF0, 0xE0, 0xD0, 0x80, 0x40, 0x20, 0x08, 0x04, 0x02};
    KxTexture* pTexture = nullptr;
    ASSERT_TRUE(device.CreateTextureFromMemory(texels, 2, 2, 6, &pTexture));
    const TexturedVertex quad[6] = {
        {-0.8f, -0.8f, 0.5f, 0, -1, 0, 0, 1}, {-0.8f, 0.8f, 0.5f, 0, -1, 0, 0, 0}, {0.8f, -0.8f, 0.5f, 0, 0, -1, 1, 1},
        {0.8f, -0.8f, 0.5f, 0, 0, -1, 1, 1},  {-0.8f, 0.8f, 0.5f, 0, -1, 0, 0, 0}, {0.8f, 0.8f, 0.2f, 1, 0, 0, 1, 0},
    };
    KxVertexBuffer* pBuffer = nullptr;
    ASSERT_TRUE(device.CreateVertexBuffer(sizeof(quad), 0, 0x112, 1, &pBuffer, nullptr));
    void* data = nullptr;
    ASSERT_TRUE(pBuffer->Lock(0, 0, &data, 0));
    std::memcpy(data, quad, sizeof(quad));
    pBuffer->Unlock();

    device.Clear(0, nullptr, 3, 0x336699, 1.0f, 0);
    device.SetTexture(0, pTexture);
    device.SetStreamSource(0, pBuffer, 0, sizeof(TexturedVertex));
    device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 2);
    device.SetTexture(0, nullptr);
    pTexture->Release();
    pBuffer->Release();
}

std::vector<uint8_t> ColourBytes(const KxSoftwareRenderDevice& device)
{
    const uint8_t* p = device.GetPixels();
    return std::vector<uint8_t>(p, p + size_t(device.GetRowStride()) * size_t(device.GetHeight()));
}

std::vector<uint32_t> DepthEntries(const KxSoftwareRenderDevice& device)
{
    std::vector<uint32_t> entries;
    for (int32_t y = 0; y < device.GetHeight(); ++y)
        for (int32_t x = 0; x < device.GetWidth(); ++x)
            entries.push_back(device.GetDepth(x, y));
    return entries;
}

std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + "kx" + std::to_string(getpid()) + "-" + name;
}

}  // namespace

TEST(Offscreen, DrawsWhatAWindowDeviceDrawsAndPresentsNothing)
{
    KxTestDevice windowed(61, 37);  // odd sizes: padded rows
    KxSoftwareRenderDevice offscreen;
    ASSERT_TRUE(offscreen.CreateOffscreen(61, 37));
    EXPECT_EQ(offscreen.GetRowStride(), windowed.device.GetRowStride());

    DrawTexturedQuad(windowed.device);
    DrawTexturedQuad(offscreen);
    const std::vector<uint8_t> drawn = ColourBytes(offscreen);
    EXPECT_EQ(drawn, ColourBytes(windowed.device));
    EXPECT_EQ(DepthEntries(offscreen), DepthEntries(windowed.device));
    EXPECT_NE(DepthEntries(offscreen), std::vector<uint32_t>(61 * 37, 65535u)) << "nothing was drawn";

    EXPECT_EQ(offscreen.Present(), FALSE);
    EXPECT_EQ(ColourBytes(offscreen), drawn);
    EXPECT_FALSE(offscreen.CreateOffscreen(8, 8)) << "a device gets its buffers once";
    EXPECT_EQ(offscreen.GetWidth(), 61);
}

TEST(Offscreen, RefusedSizesLeaveNoBuffers)
{
    const struct {
        int32_t width, height;
    } cases[] = {{0, 1}, {1, 0}, {-1, 5}, {5, INT_MIN}, {INT_MAX, 1}, {26755, 26755}, {1, 0x7FFFFFFF}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        KxSoftwareRenderDevice device;
        EXPECT_FALSE(device.CreateOffscreen(c.width, c.height));
        EXPECT_EQ(device.GetPixels(), nullptr);
        EXPECT_EQ(device.GetWidth(), 0);
        EXPECT_EQ(device.GetHeight(), 0);
        EXPECT_TRUE(device.Clear(0, nullptr, 3, 0x123456, 1.0f, 0));
        EXPECT_FALSE(device.SaveBmp(TempPath("empty.bmp").c_str()));
    }
}

TEST(SaveBmp, TheLoaderReadsTheFrameBackByteForByte)
{
    for (int32_t width : {1, 2, 3, 4, 5, 61}) {
        SCOPED_TRACE(width);
        KxSoftwareRenderDevice device;
        ASSERT_TRUE(device.CreateOffscreen(width, 7));
        for (int32_t i = 0; i < device.GetRowStride() * 7; ++i)
            device.GetPixels()[i] = uint8_t(i * 7 + 1);
        const std::string path = TempPath("saved.bmp");
        ASSERT_TRUE(device.SaveBmp(path.c_str()));
        EXPECT_EQ(std::filesystem::file_size(path), 54u + ((3u * width + 3) & ~3u) * 7u);

        KxDib dib(nullptr, 3);
        ASSERT_TRUE(dib.Load(path.c_str())) << dib.GetLoadError();
        ASSERT_EQ(dib.GetWidth(), width);
        ASSERT_EQ(dib.GetHeight(), 7);
        for (int32_t y = 0; y < 7; ++y)
            ASSERT_EQ(0, std::memcmp(dib.GetBits() + 3 * width * y, device.GetPixels() + device.GetRowStride() * y,
                                     size_t(3 * width)))
                << "row " << y;
    }
}

TEST(SaveBmp, FailuresReturnFalseAndLeaveNothingBehind)
{
    const std::filesystem::path folder = TempPath("savebmp");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "a directory");
    KxSoftwareRenderDevice device;
    ASSERT_TRUE(device.CreateOffscreen(4, 4));
    for (const std::string& path :
         {(folder / "missing" / "f.bmp").string(), (folder / "a directory").string(), std::string()}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(device.SaveBmp(path.c_str()));
    }
    EXPECT_FALSE(device.SaveBmp(nullptr));
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"a directory"});
    std::filesystem::remove_all(folder);
}

TEST(TextureFromMemory, SamplesLikeAFileWithTheSamePixels)
{
    const int32_t width = 5, height = 3, stride = 17;  // padded source rows
    std::vector<uint32_t> texels;
    std::vector<uint8_t> rows(size_t(stride) * height, 0xEE);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            texels.push_back(0x10203u * uint32_t(y * width + x + 1));
            for (int32_t k = 0; k < 3; ++k)
                rows[size_t(y * stride + 3 * x + k)] = uint8_t(texels.back() >> (16 - 8 * k));
        }
    KxSoftwareRenderDevice device;
    KxTexture* pFromFile = nullptr;
    KxTexture* pFromMemory = nullptr;
    const std::string path = KxWriteTempFile("memory.bmp", KxBmpFromTexels(width, height, texels));
    ASSERT_TRUE(device.CreateTextureFromFile(path.c_str(), &pFromFile));
    ASSERT_TRUE(device.CreateTextureFromMemory(rows.data(), width, height, stride, &pFromMemory));
    EXPECT_STREQ(device.GetTextureLoadError(), "");
    ASSERT_EQ(0, std::memcmp(pFromFile->GetBits(), pFromMemory->GetBits(), size_t(3 * width * height)));
    for (float s = -0.25f; s <= 1.25f; s += 0.03125f)
        for (float tc = -0.25f; tc <= 1.25f; tc += 0.0625f)
            ASSERT_EQ(pFromMemory->Sample(s, tc), pFromFile->Sample(s, tc)) << s << ", " << tc;
    pFromFile->Release();
    pFromMemory->Release();
}

TEST(TextureFromMemory, RefusalsGiveTheLoaderReasons)
{
    const uint8_t pixels[64] = {};
    const char* kEmpty = "empty or negative image size";
    const char* kLarge = "image larger than 16384 x 16384";
    const struct {
        const uint8_t* source;
        int32_t width, height, stride;
        const char* reason;
    } cases[] = {
        {nullptr, 1, 1, 3, "no pixel data"},
        {pixels, 0, 1, 3, kEmpty},
        {pixels, -2, 1, 3, kEmpty},
        {pixels, 1, 0, 3, kEmpty},
        {pixels, 1, -1, 3, kEmpty},
        {pixels, 16385, 1, 49155, kLarge},
        {pixels, 1, 16385, 3, kLarge},
        {pixels, 2, 2, 5, "row stride shorter than a row of pixels"},
        {pixels, 2, 2, -6, "row stride shorter than a row of pixels"},
    };
    KxSoftwareRenderDevice device;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        KxTexture* pTexture = reinterpret_cast<KxTexture*>(&device);
        EXPECT_FALSE(device.CreateTextureFromMemory(c.source, c.width, c.height, c.stride, &pTexture));
        EXPECT_EQ(pTexture, nullptr);
        EXPECT_STREQ(device.GetTextureLoadError(), c.reason);
    }
    EXPECT_FALSE(device.CreateTextureFromMemory(pixels, 1, 1, 3, nullptr));
}
