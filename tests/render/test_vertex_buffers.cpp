// Vertex formats, buffers and their binding: the sizes and counts the
// pipeline and its reference both take from here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>
#include <utility>

#include "kxtestdevice.h"

namespace {

// A zeroed buffer of format 0x112 (32-byte vertices, which the device
// takes on) with positions written at the given offsets.
KxVertexBuffer* Buffer(KxSoftwareRenderDevice& d, uint32_t length,
                       std::initializer_list<std::pair<uint32_t, KxVector3>> positions = {})
{
    KxVertexBuffer* vb = nullptr;
    EXPECT_TRUE(d.CreateVertexBuffer(length, 0, 0x112, 1, &vb, nullptr));
    void* p = nullptr;
    EXPECT_TRUE(vb->Lock(0, 0, &p, 0));
    std::memset(p, 0, length);
    for (const auto& [offset, position] : positions)
        std::memcpy(static_cast<uint8_t*>(p) + offset, &position, 12);
    vb->Unlock();
    return vb;
}

// The radius written out from its definition: the largest distance from
// the origin, each the root of the double sum x x + y y + z z rounded to
// float, over the whole vertices of the format that the binding counts.
float DirectRadius(const uint8_t* block, uint32_t length, uint32_t fvf, uint32_t givenStride)
{
    const uint32_t stride = uint32_t(KxFvf::ComputeVertexSize(fvf));
    const uint32_t count = std::min(length / givenStride, length / stride);
    float radius = 0.0f;
    for (uint32_t i = 0; i < count; ++i) {
        float p[3];
        std::memcpy(p, block + i * stride, sizeof(p));
        const float squared = float(double(p[0]) * p[0] + double(p[1]) * p[1] + double(p[2]) * p[2]);
        const float distance = float(std::sqrt(double(squared)));
        if (distance > radius)
            radius = distance;
    }
    return radius;
}

}  // namespace

TEST(Fvf, VertexSizesAndComponentOffsets)
{
    const struct {
        uint32_t code;
        int32_t size;
    } sizes[] = {
        {0x112, 32}, {0x152, 36}, {0x1C2, 28}, {0x104, 24}, {0x10112, 36}, {0x20112, 40}, {0x30112, 28},
        {0x212, 40}, {0x032, 24}, {0x000, 0},  {0x001, 0},
        // Position fields: the first of 0x002, 0x004, 0x008 decides.
        {0x006, 12}, {0x008, 8}, {0x00C, 16}, {0x00E, 12},
        // Counts above eight are held to eight sets.
        {0xF02, 12 + 8 * 8}, {0x802 | 0xFFFF0000u, 12 + 8 * 4},
    };
    for (const auto& c : sizes)
        EXPECT_EQ(KxFvf::ComputeVertexSize(c.code), c.size) << std::hex << c.code;
    // Where a component starts in the second vertex, -1 where the format has
    // none; two sets leave bit 0x100 clear, and 0x006 counts one position.
    const struct {
        uint32_t code, component;
        int32_t offset;
    } offsets[] = {{0x112, KXFVF_XYZ, 0},      {0x112, KXFVF_NORMAL, 12},  {0x112, KXFVF_TEX1, 24},
                   {0x112, KXFVF_DIFFUSE, -1}, {0x112, KXFVF_XYZRHW, -1},  {0x152, KXFVF_DIFFUSE, 24},
                   {0x152, KXFVF_TEX1, 28},    {0x212, KXFVF_TEX1, -1},    {0x016, KXFVF_NORMAL, 12},
                   {0x80000003u, 0x80000001u, 12}};
    uint8_t block[2 * 36] = {};
    for (const auto& c : offsets) {
        KxFvf f;
        f.SetFormat(c.code);
        f.SetData(block);
        f.NextVertex();
        EXPECT_EQ(f.Seek(0, c.component), c.offset < 0 ? nullptr : block + f.GetStride() + c.offset) << c.code;
        EXPECT_TRUE(c.offset < 0 || f.ComponentOffset(c.component) == c.offset) << c.code;
    }
}

TEST(VertexBuffer, BoundsRadiusReadsWholeVerticesAtTheFormatsStride)
{
    KxTestDevice t(4, 4);
    KxSoftwareRenderDevice& d = t.device;
    KxVertexBuffer* vb = Buffer(d, 24 * 32, {{0, {1, 2, 2}}, {5 * 32, {0, -4, 3}}, {16, {0, 0, 6}}});
    d.SetStreamSource(0, vb, 0, 32);
    EXPECT_EQ(vb->boundsRadius, 5.0f);  // the largest distance wins wherever it stands
    // Read as 16-byte vertices (position, diffuse) the vertex at 16 counts.
    d.SetFVF(0x042);
    d.SetStreamSource(0, vb, 0, 16);
    EXPECT_EQ(vb->boundsRadius, 6.0f);
    // Changed contents are read again; without a position the radius stays.
    const KxVector3 farther(0, 0, 7);
    void* p = nullptr;
    vb->Lock(0, 0, &p, 0);
    std::memcpy(static_cast<uint8_t*>(p) + 16, &farther, 12);
    vb->Unlock();
    d.SetStreamSource(0, vb, 0, 16);
    EXPECT_EQ(vb->boundsRadius, 7.0f);
    d.SetFVF(0x104);
    d.SetStreamSource(0, vb, 0, 24);
    EXPECT_EQ(vb->boundsRadius, 7.0f);
    vb->Release();

    // 96 bytes bound with stride 16 count six vertices, but only the three
    // of 32 bytes that fit are read (the sanitizer build checks the
    // bounds); 40 bytes hold one vertex and a partial one.
    KxVertexBuffer* three = Buffer(d, 96, {{64, {0, 7, 0}}});
    KxVertexBuffer* partial = Buffer(d, 40, {{0, {1.5f, 0, 0}}});
    // Read as three 24-byte vertices the 96 bytes hold no position but zero.
    for (auto [buffer, fvf, stride, count, radius] : {std::tuple{three, 0x112u, 16u, 6u, 7.0f},
                                                      {three, 0x142u, 32u, 3u, 0.0f}, {partial, 0x112u, 20u, 2u, 1.5f}}) {
        d.SetFVF(fvf);
        EXPECT_TRUE(d.SetStreamSource(0, buffer, 0, stride));
        EXPECT_TRUE(d.GetVertexCount() == count && buffer->boundsRadius == radius) << stride;
    }
    three->Release();
    partial->Release();
}

// Writes while the buffer stays locked, and writes through the pointer kept
// after Unlock: each binding measures the block as it is at that moment.
TEST(VertexBuffer, EveryBindingMeasuresTheBlockAsItIsThen)
{
    KxSoftwareRenderDevice d;
    KxVertexBuffer* vb = nullptr;
    ASSERT_TRUE(d.CreateVertexBuffer(36, 0, 0x002, 1, &vb, nullptr));
    const float nearPos[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};      // radius 1
    const float farPos[9] = {0, 10, 0, 1, 10, 0, 0, 11, 0};    // radius 11
    const float oddPos[9] = {0.1f, 0.2f, 0.3f, -3, 4, 1e-3f};  // rounded twice on the way
    void* p = nullptr;
    ASSERT_TRUE(vb->Lock(0, 0, &p, 0));
    const struct {
        const float* positions;
        bool bUnlocked;  // written after Unlock, through the kept pointer
        float radius;
    } steps[] = {{nearPos, false, 1.0f}, {farPos, false, 11.0f}, {nearPos, false, 1.0f},
                 {farPos, true, 11.0f},  {nearPos, true, 1.0f},  {oddPos, true, 0.0f}};
    for (const auto& step : steps) {
        if (step.bUnlocked)
            vb->Unlock();
        std::memcpy(p, step.positions, 36);
        ASSERT_TRUE(d.SetStreamSource(0, vb, 0, 12));
        const float direct = DirectRadius(static_cast<uint8_t*>(p), 36, 0x002, 12);
        EXPECT_EQ(vb->boundsRadius, direct) << &step - steps;
        EXPECT_TRUE(step.radius == 0.0f || vb->boundsRadius == step.radius) << &step - steps;
    }
    vb->Release();
}

// Random contents, formats and binding strides in turn, written with and
// without Lock: every binding with a position gives the direct radius of
// its format, and one without keeps the radius the buffer had.
TEST(VertexBuffer, BindingsFollowTheFormatAndTheContents)
{
    KxSoftwareRenderDevice d;
    KxTestRandom r{std::mt19937(20)};
    const uint32_t length = 1000;
    KxVertexBuffer* vb = nullptr;
    ASSERT_TRUE(d.CreateVertexBuffer(length, 0, 0x112, 1, &vb, nullptr));
    uint8_t* block = vb->data;
    std::memset(block, 0, length);
    const uint32_t formats[] = {0x112, 0x042, 0x152, 0x002, 0x1C2, 0x10112, 0x104, 0x040};
    float radius = vb->boundsRadius;
    for (int step = 0; step < 400; ++step) {
        SCOPED_TRACE(step);
        if (r.Chance(60)) {
            // A few floats anywhere in the block, through Lock or not.
            void* p = block;
            const bool bLock = r.Chance(50);
            if (bLock) {
                ASSERT_TRUE(vb->Lock(0, 0, &p, 0));
            }
            for (int n = r.Int(1, 6); n > 0; --n) {
                const float value = r.Chance(10) ? 0.0f : r.Uniform(-40.0f, 40.0f);
                std::memcpy(static_cast<uint8_t*>(p) + 4 * r.Int(0, length / 4 - 1), &value, 4);
            }
            if (bLock)
                vb->Unlock();
        }
        if (r.Chance(40))
            d.SetFVF(formats[r.Int(0, int32_t(std::size(formats)) - 1)]);
        uint32_t fvf = 0;
        d.GetFVF(&fvf);
        const uint32_t formatStride = uint32_t(KxFvf::ComputeVertexSize(fvf));
        const uint32_t givenStride = r.Chance(70) ? formatStride : uint32_t(r.Int(4, 80));
        if (givenStride == 0)
            continue;
        ASSERT_TRUE(d.SetStreamSource(0, vb, 0, givenStride));
        if (fvf & KXFVF_XYZ)
            radius = DirectRadius(block, length, fvf, givenStride);
        ASSERT_EQ(vb->boundsRadius, radius) << std::hex << fvf << std::dec << " " << givenStride;
    }
    vb->Release();
}
