// Devices, textures and random values for tests: an off-screen device,
// textures made in memory, and a frame's every byte for comparisons.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/kxwin32.h"
#include "render/kxsoftwarerenderdevice.h"

// The thread counts every exactness test draws with: the calling thread
// alone, then 2, 3 and 8 (odd, and more than the cores).
inline constexpr uint32_t kKxTestThreadCounts[] = {1, 2, 3, 8};

// A test's name for a thread count, "Threads3".
inline std::string KxThreadsName(uint32_t nThreads)
{
    return "Threads" + std::to_string(nThreads);
}

struct KxTestDevice {
    // With more than one thread every draw, however small, goes to the
    // workers, so that small scenes test the threaded stages too.
    explicit KxTestDevice(int32_t nWidth = 64, int32_t nHeight = 48, uint32_t nThreads = 1)
    {
        device.CreateOffscreen(nWidth, nHeight);
        // No GoogleTest here: the fuzz drivers share this header.
        if (!device.SetThreadCount(nThreads)) {
            std::fprintf(stderr, "KxTestDevice: the system refused %u threads\n", unsigned(nThreads));
            std::abort();
        }
        device.SetThreadThreshold(nThreads > 1 ? 0 : KxSoftwareRenderDevice::kDefaultThreadThreshold);
    }

    // The packed colour at (x, y): its first byte (blue) in bits 16-23, as
    // the device packs vertex colours.
    uint32_t Color(int32_t x, int32_t y) const
    {
        const uint8_t* p = device.GetPixels() + y * device.GetRowStride() + 3 * x;
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    }

    // Every colour byte, padding included, then every depth entry.
    std::vector<uint32_t> Frame() const
    {
        const uint8_t* pixels = device.GetPixels();
        std::vector<uint32_t> frame(pixels, pixels + device.GetRowStride() * device.GetHeight());
        for (int32_t y = 0; y < device.GetHeight(); ++y)
            for (int32_t x = 0; x < device.GetWidth(); ++x)
                frame.push_back(device.GetDepth(x, y));
        return frame;
    }

    KxSoftwareRenderDevice device;
};

struct KxTextureRelease {
    void operator()(KxTexture* p) const { p->Release(); }
};
typedef std::unique_ptr<KxTexture, KxTextureRelease> KxTexturePtr;

// A texture of width x height texels, top row first, each packed as the
// device packs colours (its first byte in bits 16-23).
inline KxTexturePtr KxMakeTexture(int32_t width, int32_t height, const std::vector<uint32_t>& texels)
{
    std::vector<uint8_t> bytes;
    for (uint32_t texel : texels)
        bytes.insert(bytes.end(), {uint8_t(texel >> 16), uint8_t(texel >> 8), uint8_t(texel)});
    KxSoftwareRenderDevice device;
    KxTexture* pTexture = nullptr;
    device.CreateTextureFromMemory(bytes.data(), width, height, 3 * width, &pTexture);
    return KxTexturePtr(pTexture);
}

// Texels that all differ, so that a sample shows which one it read.
inline std::vector<uint32_t> KxDistinctTexels(int32_t count)
{
    std::vector<uint32_t> texels;
    for (int32_t i = 0; i < count; ++i)
        texels.push_back(uint32_t(i + 1) * 0x0B0703u & 0xFFFFFF);
    return texels;
}

// The random values of the randomised comparisons.
struct KxTestRandom {
    std::mt19937 rng;

    float Uniform(float a, float b) { return std::uniform_real_distribution<float>(a, b)(rng); }
    int32_t Int(int32_t a, int32_t b) { return std::uniform_int_distribution<int32_t>(a, b)(rng); }
    bool Chance(int percent) { return Int(0, 99) < percent; }
};
