// The colour and depth buffers: clears and the depth test of single pixels,
// and the frame-rate counter.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kxtestdevice.h"

TEST(Buffers, ClearsFillEveryPixelAndDepthEntry)
{
    // Grey colours fill bytes, others copy rows a few at a time (the last
    // block is shorter); depths round the scaled z.
    const struct {
        uint32_t color;
        float z;
        uint32_t depth;
    } cases[] = {{0x000000, 1.0f, 65535}, {0xFFFFFF, 0.5f, 32768}, {0xAB121212, 0.0f, 0}, {0xFF0000, 0.25f, 16384},
                 {0x112233, 1.0f, 65535}, {0x01FF0000, 0.5f, 32768}};
    for (auto [width, height] : {std::pair{5, 3}, {7, 6}, {100, 50}}) {
        KxTestDevice t(width, height);
        EXPECT_EQ(t.device.GetDepth(width - 1, height - 1), 65535u);  // as created
        for (const auto& c : cases) {
            t.device.Clear(0, nullptr, 1, c.color, c.z, 0);  // flags 1: depth is cleared all the same
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x)
                    ASSERT_TRUE(t.Color(x, y) == (c.color & 0xFFFFFF) && t.device.GetDepth(x, y) == c.depth)
                        << width << " x " << height << ", colour " << c.color << " at " << x << ", " << y;
        }
    }
}

TEST(Buffers, DevicesClearedInTurnKeepTheirOwnColoursAndShapes)
{
    // Widths 3 and 4 share rows of 12 bytes. Every byte of each frame is the
    // colour's, a row's padding too for a grey and zero for other colours.
    const std::pair<int32_t, int32_t> shapes[] = {{3, 2}, {4, 5}, {5, 3}, {4, 5}};
    const uint32_t colors[] = {0xFF0000, 0x00FF00, 0xFF0000, 0x123456, 0x808080, 0x123456};
    std::vector<std::unique_ptr<KxTestDevice>> devices;
    for (auto [width, height] : shapes)
        devices.push_back(std::make_unique<KxTestDevice>(width, height));
    for (size_t step = 0; step < 3 * devices.size(); ++step) {
        const size_t i = step % devices.size();
        const uint32_t color = colors[(step * 5 + i) % std::size(colors)];
        KxSoftwareRenderDevice& d = devices[i]->device;
        d.Clear(0, nullptr, 3, color, 1.0f, 0);
        const uint8_t bytes[3] = {uint8_t(color >> 16), uint8_t(color >> 8), uint8_t(color)};
        const bool bGrey = bytes[0] == bytes[1] && bytes[1] == bytes[2];
        std::vector<uint32_t> expected;
        for (int32_t y = 0; y < d.GetHeight(); ++y)
            for (int32_t k = 0; k < d.GetRowStride(); ++k)
                expected.push_back(k < 3 * d.GetWidth() ? bytes[k % 3] : bGrey ? bytes[0] : 0);
        expected.insert(expected.end(), size_t(d.GetWidth()) * size_t(d.GetHeight()), 65535u);
        ASSERT_EQ(devices[i]->Frame(), expected) << step;
    }
}

TEST(Buffers, OnePatternFillsFramesOfEveryShapeInTurn)
{
    // Widths 3 and 4 share rows of 12 bytes; width 6 comes in rows of 20
    // and of 24 bytes.
    const struct {
        int32_t width, height, rowStride;
        uint32_t color;
    } fills[] = {{3, 2, 12, 0xFF0000}, {4, 5, 12, 0xFF0000}, {3, 2, 12, 0xFF0000}, {7, 3, 24, 0xFF0000},
                 {6, 9, 20, 0x123456}, {6, 9, 20, 0x123456}, {6, 4, 24, 0x123456}, {7, 1, 24, 0x654321},
                 {6, 9, 20, 0x123456}};
    KxClearPattern pattern;
    for (const auto& f : fills) {
        std::vector<uint8_t> frame(size_t(f.rowStride) * size_t(f.height), 0xEE), expected;
        pattern.Fill(frame.data(), f.width, f.height, f.rowStride, f.color);
        for (int32_t y = 0; y < f.height; ++y)
            for (int32_t k = 0; k < f.rowStride; ++k)
                expected.push_back(k >= 3 * f.width ? 0 : uint8_t(f.color >> (16 - 8 * (k % 3))));
        ASSERT_EQ(frame, expected) << &f - fills;
    }
}

TEST(Buffers, DepthTestIsLessOrEqualOnUnsignedEntries)
{
    KxTestDevice t(8, 4);
    KxSoftwareRenderDevice& d = t.device;
    const struct {
        uint32_t depth;
        bool bPasses;
    } cases[] = {{65536, false}, {65535, true}, {100, true}, {101, false}, {100, true}, {0xFFFFFFFF, false}};
    for (const auto& c : cases)
        EXPECT_EQ(d.TestAndWriteDepth(3, 3, c.depth), c.bPasses) << c.depth;
    EXPECT_EQ(d.GetDepth(3, 3), 100u);
    for (auto [x, y] : {std::pair{-1, 0}, {8, 0}, {0, -1}, {0, 4}})  // outside: nothing, and reads 0
        EXPECT_TRUE(!d.TestAndWriteDepth(x, y, 0) && d.GetDepth(x, y) == 0u) << x << ", " << y;

    // The 32-bit format keeps the full value.
    d.CreateDepthBuffer(1);
    EXPECT_FALSE(d.TestAndWriteDepth(3, 3, 70000));
    d.Clear(0, nullptr, 3, 0, 2.0f, 0);
    EXPECT_TRUE(d.TestAndWriteDepth(3, 3, 70000));
    EXPECT_TRUE(d.TestAndWriteDepth(3, 3, 70000));
    EXPECT_EQ(d.GetDepth(3, 3), 70000u);
}

namespace {

DWORD fakeTicks[2] = {};

}  // namespace

TEST(FrameRate, CountsTheFramesOfEachSecondAfterTheFirstCallOnEachDevice)
{
    // Device 0 counts the steps; device 1, counting three frames to each
    // of its frames at a standing clock, never disturbs it.
    KxSoftwareRenderDevice devices[2];
    devices[0].SetTickSource([] { return fakeTicks[0]; });
    devices[1].SetTickSource([] { return fakeTicks[1]; });
    devices[1].UpdateFrameRate();  // at tick 0: the first value waits for tick 1
    // The first call takes a value at once; the next comes after tick 1005,
    // the frame at the boundary counted in both windows.
    const struct {
        DWORD ticks;
        int frames;
        int32_t value, count;
    } steps[] = {{5, 1, 1, 1}, {100, 9, 1, 10}, {1005, 1, 1, 11}, {1006, 1, 12, 1}};
    int32_t otherFrames = 1;
    for (const auto& step : steps) {
        fakeTicks[0] = step.ticks;
        for (int i = 0; i < step.frames; ++i) {
            devices[0].UpdateFrameRate();
            for (int k = 0; k < 3; ++k, ++otherFrames)
                devices[1].UpdateFrameRate();
        }
        EXPECT_EQ(devices[0].GetFrameRateValue(), step.value) << step.ticks;
        EXPECT_EQ(devices[0].GetFrameRateCount(), step.count) << step.ticks;
        EXPECT_EQ(devices[0].GetFrameRateText(), "FPS : " + std::to_string(step.value));
        EXPECT_TRUE(devices[1].GetFrameRateValue() == 0 && devices[1].GetFrameRateCount() == otherFrames &&
                    *devices[1].GetFrameRateText() == 0);
    }
    // A reset starts over and keeps the tick source.
    devices[0].ResetFrameRate();
    EXPECT_TRUE(devices[0].GetFrameRateValue() == 0 && devices[0].GetFrameRateCount() == 0 &&
                *devices[0].GetFrameRateText() == 0);
    fakeTicks[0] = 7;
    devices[0].UpdateFrameRate();
    EXPECT_EQ(devices[0].GetFrameRateText(), std::string("FPS : 1"));
}

// TestAndWriteDepth follows the depth function and the depth-write switch;
// a 16-bit entry keeps at most 65535.
TEST(Buffers, DepthTestFollowsTheDepthStates)
{
    KxTestDevice t(4, 4);
    KxSoftwareRenderDevice& d = t.device;
    const struct {
        uint32_t func, write, depth;
        bool bPasses;
        uint32_t stored;  // after the call, from 100
    } cases[] = {{KXCMP_NEVER, 1, 100, false, 100},     {KXCMP_LESS, 1, 100, false, 100},
                 {KXCMP_LESS, 1, 99, true, 99},         {KXCMP_EQUAL, 1, 100, true, 100},
                 {KXCMP_EQUAL, 1, 101, false, 100},     {KXCMP_GREATER, 1, 101, true, 101},
                 {KXCMP_GREATER, 1, 100, false, 100},   {KXCMP_NOTEQUAL, 1, 7, true, 7},
                 {KXCMP_NOTEQUAL, 1, 100, false, 100},  {KXCMP_GREATEREQUAL, 1, 100, true, 100},
                 {KXCMP_GREATEREQUAL, 1, 99, false, 100}, {KXCMP_ALWAYS, 1, 70000, true, 65535},
                 {KXCMP_ALWAYS, 0, 5, true, 100},       {KXCMP_GREATER, 0, 200, true, 100},
                 {KXCMP_LESSEQUAL, 1, 100, true, 100},  {KXCMP_LESSEQUAL, 1, 101, false, 100}};
    for (const auto& c : cases) {
        d.SetRenderState(KXRS_ZFUNC, KXCMP_ALWAYS);
        d.SetRenderState(KXRS_ZWRITEENABLE, 1);
        ASSERT_TRUE(d.TestAndWriteDepth(1, 2, 100));
        d.SetRenderState(KXRS_ZFUNC, c.func);
        d.SetRenderState(KXRS_ZWRITEENABLE, c.write);
        EXPECT_EQ(d.TestAndWriteDepth(1, 2, c.depth), c.bPasses) << c.func << " " << c.write << " " << c.depth;
        EXPECT_EQ(d.GetDepth(1, 2), c.stored) << c.func << " " << c.write << " " << c.depth;
    }
    d.SetRenderState(KXRS_ZFUNC, KXCMP_ALWAYS);
    d.CreateDepthBuffer(1);  // the 32-bit entries keep every depth
    EXPECT_TRUE(d.TestAndWriteDepth(1, 2, 70000));
    EXPECT_EQ(d.GetDepth(1, 2), 70000u);
    d.SetRenderState(KXRS_ZFUNC, KXCMP_LESSEQUAL);
}
