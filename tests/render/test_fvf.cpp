#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "math/kxassert.h"
#include "render/kxfvf.h"
#include "render/kxsoftwarerenderdevice.h"
#include "render/kxvertexbuffer.h"

namespace {

std::string lastAssertSource;

// Installs a reporter that records the source of each assertion.
struct AssertCapture {
    AssertCapture() : previous(KxSetAssertReporter([](const char*, const char* source) { lastAssertSource = source; }))
    {
        lastAssertSource.clear();
    }
    ~AssertCapture() { KxSetAssertReporter(previous); }
    unsigned long Failures() const { return KxAssertFailureCount() - countBefore; }

    KxAssertReporter previous;
    unsigned long countBefore = KxAssertFailureCount();
};

// Through Lock and Unlock, as the contents may change only between them.
void WritePosition(KxVertexBuffer* vb, uint32_t offset, float x, float y, float z)
{
    const float xyz[3] = {x, y, z};
    void* p = nullptr;
    ASSERT_TRUE(vb->Lock(0, 0, &p, 0));
    std::memcpy(static_cast<uint8_t*>(p) + offset, xyz, sizeof(xyz));
    vb->Unlock();
}

// A zeroed buffer of format 274 (32-byte vertices).
KxVertexBuffer* MakeZeroBuffer(KxSoftwareRenderDevice& d, uint32_t length)
{
    KxVertexBuffer* vb = nullptr;
    EXPECT_TRUE(d.CreateVertexBuffer(length, 0, 274, 1, &vb, nullptr));
    std::memset(vb->data, 0, length);
    return vb;
}

}  // namespace

TEST(Fvf, VertexAndComponentSizes)
{
    const struct {
        uint32_t code;
        int32_t size;
    } cases[] = {
        {274, 32}, {0x152, 36}, {0x1C2, 28}, {0x104, 24}, {0x10112, 36}, {0x20112, 40},
        {0x30112, 28}, {0x212, 40}, {0x032, 24}, {0x000, 0}, {0x001, 0},
        // Position fields: the first of 0x002, 0x004, 0x008 decides.
        {0x006, 12}, {0x008, 8}, {0x00C, 16}, {0x00E, 12},
        // Counts above eight are held to eight sets.
        {0xF02, 12 + 8 * 8}, {0x802 | 0xFFFF0000u, 12 + 8 * 4},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KxFvf::ComputeVertexSize(c.code), c.size) << std::hex << c.code;
    const int32_t sizes[] = {0, 12, 16, 8, 12, 0, 4, 4};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(KxFvf::ComponentSize(1u << i), sizes[i]) << i;
}

TEST(Fvf, SeekWalksTheComponentsOfEachVertex)
{
    uint8_t block[3 * 36] = {};
    KxFvf f;
    f.SetFormat(274);
    f.SetData(block);
    EXPECT_EQ(f.GetStride(), 32);
    EXPECT_EQ(f.Seek(0, KXFVF_XYZ), block);
    EXPECT_EQ(f.Seek(KXFVF_XYZ, KXFVF_DIFFUSE), nullptr);  // missing: the cursor stays
    EXPECT_EQ(f.Seek(0, KXFVF_XYZRHW), nullptr);
    EXPECT_EQ(f.Seek(KXFVF_XYZ, KXFVF_NORMAL), block + 12);
    EXPECT_EQ(f.Seek(KXFVF_NORMAL, KXFVF_TEX1), block + 24);
    f.NextVertex();
    EXPECT_EQ(f.Seek(0, KXFVF_XYZ), block + 32);
    EXPECT_EQ(f.Seek(KXFVF_XYZ, KXFVF_NORMAL), block + 44);

    f.SetFormat(0x152);
    f.Rewind();
    EXPECT_EQ(f.Seek(KXFVF_XYZ, KXFVF_DIFFUSE), block + 24);
    EXPECT_EQ(f.Seek(KXFVF_DIFFUSE, KXFVF_TEX1), block + 28);
    f.NextVertex();
    EXPECT_EQ(f.Seek(0, KXFVF_XYZ), block + 36);

    f.SetFormat(0x212);  // two sets leave bit 0x100 clear: no first set
    f.Rewind();
    EXPECT_EQ(f.Seek(0, KXFVF_TEX1), nullptr);
    f.SetFormat(0x016);  // 0x006 counts one 12-byte position; the normal follows it
    EXPECT_EQ(f.Seek(0, KXFVF_NORMAL), block + 12);
    f.SetFormat(0x80000003u);
    f.Rewind();
    EXPECT_EQ(f.Seek(0, 0x80000001u), block + 12);  // the walk ends at the top bit

    AssertCapture capture;
    f.SetData(nullptr);  // reported, and never walked
    EXPECT_EQ(capture.Failures(), 1u);
    EXPECT_EQ(lastAssertSource, "kxfvf");
    f.NextVertex();
    EXPECT_EQ(f.Seek(0, KXFVF_XYZ), nullptr);
}

TEST(VertexBuffer, LockHandsOutTheWholeBlock)
{
    KxVertexBuffer* vb = new KxVertexBuffer(768);
    void* p = nullptr;
    EXPECT_TRUE(vb->Lock(64, 32, &p, 0));
    EXPECT_EQ(p, vb->data);
    EXPECT_FALSE(vb->Lock(0, 0, nullptr, 0));
    EXPECT_TRUE(vb->Release());
}

TEST(DeviceFormat, CreateAndSetSelectTheFormat)
{
    KxSoftwareRenderDevice d;
    uint32_t fvf = 1;
    EXPECT_TRUE(d.GetFVF(&fvf));
    EXPECT_EQ(fvf, 0u);
    EXPECT_FALSE(d.GetFVF(nullptr));
    EXPECT_TRUE(d.SetFVF(274));
    KxVertexBuffer* vb = nullptr;
    EXPECT_TRUE(d.CreateVertexBuffer(64, 0, 0x142, 1, &vb, nullptr));
    EXPECT_EQ(vb->length, 64u);
    // Nowhere to return the buffer: nothing is created and the format stays.
    EXPECT_FALSE(d.CreateVertexBuffer(64, 0, 274, 1, nullptr, nullptr));
    d.GetFVF(&fvf);
    EXPECT_EQ(fvf, 0x142u);
    vb->Release();
}

TEST(StreamSource, VertexCountUsesTheGivenStrideAndRefusalsKeepTheBinding)
{
    KxSoftwareRenderDevice d;
    KxVertexBuffer* vb = MakeZeroBuffer(d, 24 * 32);
    KxVertexBuffer* other = MakeZeroBuffer(d, 128);
    for (auto [stride, count] : {std::pair{32u, 24u}, {30u, 25u}, {1000u, 0u}, {32u, 24u}}) {
        EXPECT_TRUE(d.SetStreamSource(0, vb, 0, stride));
        EXPECT_EQ(d.GetVertexCount(), count) << stride;
    }
    EXPECT_FALSE(d.SetStreamSource(0, nullptr, 0, 32));
    EXPECT_FALSE(d.SetStreamSource(0, other, 0, 0));
    EXPECT_EQ(d.GetStreamSource(), vb);
    EXPECT_EQ(d.GetVertexCount(), 24u);
    other->Release();
    vb->Release();
}

TEST(StreamSource, BoundsRadiusFollowsTheContentsAndTheFormat)
{
    KxSoftwareRenderDevice d;
    KxVertexBuffer* vb = MakeZeroBuffer(d, 24 * 32);
    for (uint32_t i = 0; i < 24; ++i)
        WritePosition(vb, i * 32, (i & 1) ? 1.0f : -1.0f, (i & 2) ? 1.0f : -1.0f, (i & 4) ? 1.0f : -1.0f);
    d.SetStreamSource(0, vb, 0, 32);
    EXPECT_EQ(vb->boundsRadius, float(std::sqrt(3.0)));
    WritePosition(vb, 5 * 32, 0.0f, -4.0f, 3.0f);  // the largest distance wins wherever it stands
    d.SetStreamSource(0, vb, 0, 32);
    EXPECT_EQ(vb->boundsRadius, 5.0f);

    // Read as 16-byte vertices (position, diffuse) the vertex at 16 counts.
    WritePosition(vb, 16, 0.0f, 0.0f, 6.0f);
    d.SetFVF(0x042);
    d.SetStreamSource(0, vb, 0, 16);
    EXPECT_EQ(vb->boundsRadius, 6.0f);
    // Without a position the radius keeps its value.
    d.SetFVF(0x104);
    WritePosition(vb, 0, 100.0f, 0.0f, 0.0f);
    d.SetStreamSource(0, vb, 0, 24);
    EXPECT_EQ(vb->boundsRadius, 6.0f);
    vb->Release();
}

TEST(StreamSource, RadiusReadsOnlyWholeVerticesInsideTheBlock)
{
    // Three 32-byte vertices bound with stride 16 count as six, but only the
    // three that fit are read (the sanitizer build checks the bounds); 40
    // bytes hold one vertex and a partial one.
    KxSoftwareRenderDevice d;
    KxVertexBuffer* vb = MakeZeroBuffer(d, 96);
    WritePosition(vb, 64, 0.0f, 7.0f, 0.0f);
    EXPECT_TRUE(d.SetStreamSource(0, vb, 0, 16));
    EXPECT_EQ(d.GetVertexCount(), 6u);
    EXPECT_EQ(vb->boundsRadius, 7.0f);
    KxVertexBuffer* odd = MakeZeroBuffer(d, 40);
    WritePosition(odd, 0, 1.5f, 0.0f, 0.0f);
    EXPECT_TRUE(d.SetStreamSource(0, odd, 0, 20));
    EXPECT_EQ(d.GetVertexCount(), 2u);
    EXPECT_EQ(odd->boundsRadius, 1.5f);
    odd->Release();
    vb->Release();
}

TEST(StreamSource, NullDataIsBoundWithoutReading)
{
    AssertCapture capture;
    KxSoftwareRenderDevice d;
    KxVertexBuffer* vb = MakeZeroBuffer(d, 96);
    std::free(vb->data);
    vb->data = nullptr;
    EXPECT_TRUE(d.SetStreamSource(0, vb, 0, 32));
    EXPECT_EQ(capture.Failures(), 1u);
    EXPECT_EQ(lastAssertSource, "kxfvf");
    EXPECT_EQ(d.GetVertexCount(), 3u);
    EXPECT_EQ(vb->boundsRadius, 0.0f);
    void* p = &p;
    EXPECT_FALSE(vb->Lock(0, 0, &p, 0));
    EXPECT_EQ(p, &p);
    vb->Release();
}
