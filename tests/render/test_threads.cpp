// One device on several threads: the workers themselves, SetThreadCount,
// and random scenes drawn on one thread and on several, which must leave
// the same bytes, depth entries and triangle flags. The ThreadSanitizer
// build (make test-tsan) runs these too.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <tuple>
#include <vector>

#include "kxtestdevice.h"
#include "render/kxrowbands.h"
#include "render/kxworkers.h"

namespace {

TEST(Workers, EveryThreadRunsEachTaskOnce)
{
    KxWorkers workers;
    for (uint32_t count : {1u, 2u, 3u, 8u, 2u, 1u, 5u}) {
        ASSERT_TRUE(workers.SetCount(count));
        ASSERT_EQ(workers.Count(), count);
        for (int round = 0; round < 50; ++round) {
            std::vector<std::atomic<int>> runs(count);
            std::thread::id caller = std::this_thread::get_id(), first;
            auto task = [&](uint32_t index) {
                if (index == 0)
                    first = std::this_thread::get_id();
                ++runs[index];
            };
            workers.Run(task);
            for (uint32_t i = 0; i < count; ++i)
                ASSERT_EQ(runs[i].load(), 1) << count << " threads, index " << i;
            ASSERT_EQ(first, caller);
        }
    }
}

// The bands cover every row of the frame once, at most kMaxBands of them,
// and a triangle is marked in exactly the bands that hold one of its rows.
TEST(Workers, FrameBandsCoverEveryRowOnce)
{
    for (int32_t height : {1, 7, 37, 480, 1080, 2161}) {
        for (int32_t nThreads : {2, 3, 8, 16, 256}) {
            const KxFrameBands bands(height, nThreads);
            ASSERT_LE(bands.nBands, KxFrameBands::kMaxBands);
            ASSERT_TRUE(bands.nRows >= KxFrameBands::kMinRows);
            std::vector<int> covered(size_t(height), 0);
            for (int32_t b = 0; b < bands.nBands; ++b)
                for (int32_t y = bands.Band(b).first; y <= std::min(bands.Band(b).last, height - 1); ++y)
                    ++covered[size_t(y)];
            ASSERT_EQ(covered, std::vector<int>(size_t(height), 1)) << height << " rows, " << nThreads;
            for (auto [top, bottom] : {std::tuple{-5, 3}, {0, 0}, {9, 30}, {height - 2, height + 40}, {-9, -1},
                                       {height, height + 3}, {-100, 5000}}) {
                std::vector<uint64_t> marks(size_t(bands.nBands), 0);
                bands.Mark(top, bottom, height, 4, marks.data());
                for (int32_t b = 0; b < bands.nBands; ++b) {
                    const KxRowBand band = bands.Band(b);
                    const bool bHolds = std::max({top, band.first, 0}) <= std::min({bottom, band.last, height - 1});
                    ASSERT_EQ(marks[size_t(b)], bHolds ? 4u : 0u) << "rows " << top << " to " << bottom;
                    ASSERT_EQ(KxBandHoldsAnyRow(band, top, bottom, height), bHolds);
                }
            }
        }
    }
}

TEST(Threads, CountsTakenAndRefused)
{
    KxTestDevice t(16, 16);
    EXPECT_EQ(t.device.GetThreadCount(), 1u);
    EXPECT_TRUE(t.device.SetThreadCount(3));
    EXPECT_EQ(t.device.GetThreadCount(), 3u);
    EXPECT_FALSE(t.device.SetThreadCount(257));
    EXPECT_FALSE(t.device.SetThreadCount(UINT32_MAX));
    EXPECT_EQ(t.device.GetThreadCount(), 3u);
    EXPECT_TRUE(t.device.SetThreadCount(0));
    EXPECT_EQ(t.device.GetThreadCount(), std::max(1u, std::thread::hardware_concurrency()));
    EXPECT_TRUE(t.device.SetThreadCount(256));
    EXPECT_EQ(t.device.GetThreadCount(), 256u);
    EXPECT_TRUE(t.device.SetThreadCount(1));
    EXPECT_EQ(t.device.GetThreadCount(), 1u);
}

// Large frames are cleared by all threads, each its own rows; grey and
// other colours, both depth formats.
TEST(Threads, LargeFramesClearAsOneThreadDoes)
{
    KxTestDevice one(733, 731), many(733, 731, 3);
    ASSERT_GE(733 * 731, KxSoftwareRenderDevice::kThreadedClearPixels);
    many.device.SetThreadThreshold(KxSoftwareRenderDevice::kDefaultThreadThreshold);
    for (auto [color, z] : {std::tuple{0x336699u, 1.0f}, {0x808080u, 0.25f}, {0x12345678u, 0.5f}, {0x336699u, 0.0f}}) {
        for (KxTestDevice* t : {&one, &many}) {
            if (z == 0.0f)
                t->device.CreateDepthBuffer(true);
            t->device.Clear(0, nullptr, 3, color, z, 0);
        }
        ASSERT_EQ(many.Frame(), one.Frame()) << std::hex << color;
    }
}

// Formats the scenes draw: normals with and without texture coordinates
// and colours, and screen-space triangles with colours only.
constexpr uint32_t kFormats[] = {0x112, 0x152, 0x012, 0x042};

// A scene of a few thousand random triangles, big ones reaching past the
// frame's edges among many small ones, drawn several times under random
// worlds and states.
struct KxThreadScene : KxTestRandom {
    std::vector<uint8_t> Vertices(uint32_t fvf, uint32_t nTriangles, int bigPercent, int32_t width, int32_t height)
    {
        const int32_t stride = KxFvf::ComputeVertexSize(fvf);
        const bool bNormal = fvf & KXFVF_NORMAL;
        std::vector<uint8_t> bytes(size_t(stride) * 3 * nTriangles);
        for (uint32_t t = 0; t < nTriangles; ++t) {
            // Mostly small, now and then one across much of the frame.
            const float size = Chance(bigPercent) ? 6.0f : 0.3f;
            const float centre[3] = {Uniform(-4, 4), Uniform(-3, 3), Uniform(-2, 2)};
            for (int k = 0; k < 3; ++k) {
                uint8_t* v = bytes.data() + (size_t(t) * 3 + size_t(k)) * size_t(stride);
                float values[8] = {centre[0] + Uniform(-size, size), centre[1] + Uniform(-size, size),
                                   centre[2] + Uniform(-size, size)};
                if (!bNormal) {
                    // Screen positions, a few far off the frame.
                    values[0] = Uniform(-0.3f, 1.3f) * float(width);
                    values[1] = Uniform(-0.3f, 1.3f) * float(height);
                }
                int n = 3;
                if (bNormal)
                    for (int c = 0; c < 3; ++c)
                        values[n++] = Uniform(-1, 1);
                std::memcpy(v, values, 4 * size_t(n));
                if (fvf & KXFVF_DIFFUSE) {
                    const uint32_t color = uint32_t(rng());
                    std::memcpy(v + 4 * n, &color, 4);
                    ++n;
                }
                if (fvf & KXFVF_TEX1) {
                    const float uv[2] = {Uniform(-0.2f, 1.2f), Uniform(-0.2f, 1.2f)};
                    std::memcpy(v + 4 * n, uv, sizeof(uv));
                }
            }
        }
        return bytes;
    }

    void SetState(KxSoftwareRenderDevice& d)
    {
        d.SetRenderState(KXRS_ZENABLE, Chance(80));
        d.SetRenderState(KXRS_SPECULARENABLE, Chance(30));
        d.SetRenderState(KXRS_AMBIENT, uint32_t(rng()) & 0x3F3F3F);
        KxLight light;
        light.Diffuse = KxColor(Uniform(0, 1), Uniform(0, 1), Uniform(0, 1), 1.0f);
        light.Specular = KxColor(Uniform(0, 1), Uniform(0, 1), Uniform(0, 1), 1.0f);
        light.Direction = KxVector3(Uniform(-1, 1), Uniform(-1, 1), Uniform(0.2f, 1));
        d.SetLight(1, &light);
        d.LightEnable(1, Chance(70));
    }

    // Around the eye, many triangles cross the near plane or reach past
    // the guard band and are clipped.
    KxMatrix4 World(bool bAroundEye)
    {
        KxMatrix4 m = KxMatrix4().SetRotationXYZ(Uniform(-3, 3), Uniform(-3, 3), Uniform(-3, 3));
        const float x = Uniform(-1, 1), y = Uniform(-1, 1);
        return m *= KxMatrix4().SetTranslation(x, y, bAroundEye ? Uniform(-2, 2) : Uniform(4, 9));
    }
};

// (width, height, thread count): frames whose height is no multiple of a
// band, and more threads than cores.
struct ThreadedScenes : ::testing::TestWithParam<std::tuple<int32_t, int32_t, uint32_t>> {};

INSTANTIATE_TEST_SUITE_P(Threads, ThreadedScenes,
                         ::testing::Values(std::tuple{320, 200, 2u}, std::tuple{211, 157, 3u},
                                           std::tuple{96, 250, 8u}, std::tuple{640, 37, 3u}),
                         [](const auto& info) {
                             return std::to_string(std::get<0>(info.param)) + "x" +
                                    std::to_string(std::get<1>(info.param)) +
                                    KxThreadsName(std::get<2>(info.param));
                         });

TEST_P(ThreadedScenes, DrawAsOneThreadDoes)
{
    const auto [width, height, nThreads] = GetParam();
    KxTestDevice one(width, height), many(width, height, nThreads);
    // Draws at and above the default threshold go to the workers without
    // being told to.
    many.device.SetThreadThreshold(KxSoftwareRenderDevice::kDefaultThreadThreshold);
    const KxTexturePtr textures[] = {KxMakeTexture(13, 7, KxDistinctTexels(13 * 7)),
                                     KxMakeTexture(16, 16, KxDistinctTexels(256))};
    KxMatrix4 view, projection;
    view.SetLookAtLeftHanded(KxVector3(0, 0, -4), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    projection.SetPerspectiveLeftHanded(1.2f, float(width) / float(height), 0.5f, 30.0f);

    KxThreadScene scene{{std::mt19937(width + nThreads)}};
    for (int round = 0; round < 7; ++round) {
        SCOPED_TRACE(round);
        const uint32_t fvf = kFormats[round % std::size(kFormats)];
        // Below the threshold, a few triangles mostly big, which the
        // workers fill when they cover enough pixels; above it, many
        // mostly small ones; last, a draw of three rounds of blocks.
        const bool bSmallDraw = round % 2 == 0 && round < 6;
        const uint32_t nTriangles =
            uint32_t(bSmallDraw ? scene.Int(40, 400) : round < 6 ? scene.Int(600, 3000) : scene.Int(16385, 24576));
        const std::vector<uint8_t> bytes = scene.Vertices(fvf, nTriangles, bSmallDraw ? 30 : 5, width, height);
        const uint32_t clearColor = uint32_t(scene.rng()) & 0xFFFFFF;
        const bool b32BitDepth = round == 5;
        KxTexture* texture = textures[round % 2].get();
        std::vector<KxVertexBuffer*> buffers;
        for (KxTestDevice* t : {&one, &many}) {
            KxSoftwareRenderDevice& d = t->device;
            if (b32BitDepth)
                d.CreateDepthBuffer(true);
            d.SetTransform(KXTS_VIEW, &view);
            d.SetTransform(KXTS_PROJECTION, &projection);
            d.SetTexture(0, texture);
            KxVertexBuffer* buffer = nullptr;
            d.CreateVertexBuffer(uint32_t(bytes.size()), 0, fvf, 1, &buffer, nullptr);
            std::memcpy(buffer->data, bytes.data(), bytes.size());
            d.SetStreamSource(0, buffer, 0, uint32_t(KxFvf::ComputeVertexSize(fvf)));
            d.Clear(0, nullptr, 3, clearColor, 1.0f, 0);
            buffers.push_back(buffer);
        }
        for (int draw = 0; draw < 4; ++draw) {
            SCOPED_TRACE(draw);
            const KxMatrix4 world = scene.World(draw == 3);
            KxThreadScene state = scene;  // the same state on both devices
            for (KxTestDevice* t : {&one, &many}) {
                scene = state;
                scene.SetState(t->device);
                t->device.SetTransform(KXTS_WORLD, &world);
                t->device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0);
            }
            ASSERT_EQ(many.device.GetTriangleVisible(), one.device.GetTriangleVisible());
            ASSERT_EQ(many.Frame(), one.Frame());
        }
        for (KxVertexBuffer* buffer : buffers)
            buffer->Release();
    }
}

}  // namespace
