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

std::string lastAssertExpression;
std::string lastAssertSource;

void CaptureAssert(const char* expression, const char* source)
{
    lastAssertExpression = expression;
    lastAssertSource = source;
}

// Installs the capturing reporter for one test.
struct AssertCapture {
    AssertCapture() : previous(KxSetAssertReporter(CaptureAssert)), countBefore(KxAssertFailureCount())
    {
        lastAssertExpression.clear();
        lastAssertSource.clear();
    }
    ~AssertCapture() { KxSetAssertReporter(previous); }
    unsigned long Failures() const { return KxAssertFailureCount() - countBefore; }

    KxAssertReporter previous;
    unsigned long countBefore;
};

void WritePosition(KxVertexBuffer* vb, uint32_t offset, float x, float y, float z)
{
    const float xyz[3] = {x, y, z};
    std::memcpy(vb->data + offset, xyz, sizeof(xyz));
}

// A buffer of format 274 (32-byte vertices) whose positions are all (0, 0, 0).
KxVertexBuffer* MakeZeroBuffer(KxSoftwareRenderDevice& d, uint32_t vertices)
{
    KxVertexBuffer* vb = nullptr;
    EXPECT_TRUE(d.CreateVertexBuffer(vertices * 32, 0, 274, 1, &vb, nullptr));
    std::memset(vb->data, 0, vertices * 32);
    return vb;
}

}  // namespace

TEST(Fvf, VertexSizes)
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

    KxFvf f;
    f.SetFormat(0x152);
    EXPECT_EQ(f.GetFormat(), 0x152u);
    EXPECT_EQ(f.GetStride(), 36);
}

TEST(Fvf, ComponentSizes)
{
    const uint32_t flags[] = {0x001, 0x002, 0x004, 0x008, 0x010, 0x020, 0x040, 0x080};
    const int32_t sizes[] = {0, 12, 16, 8, 12, 0, 4, 4};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(KxFvf::ComponentSize(flags[i]), sizes[i]) << std::hex << flags[i];
}

TEST(Fvf, SeekWalksTheComponents)
{
    uint8_t block[3 * 36] = {};
    KxFvf f;
    f.SetFormat(274);
    f.SetData(block);
    EXPECT_EQ(f.Seek(0, KXFVF_XYZ), block);
    EXPECT_EQ(f.Seek(KXFVF_XYZ, KXFVF_NORMAL), block + 12);
    EXPECT_EQ(f.Seek(KXFVF_NORMAL, KXFVF_TEX1), block + 24);
    f.NextVertex();
    EXPECT_EQ(f.Seek(0, KXFVF_XYZ), block + 32);
    EXPECT_EQ(f.Seek(KXFVF_XYZ, KXFVF_NORMAL), block + 44);

    f.SetFormat(0x152);
    f.Rewind();
    EXPECT_EQ(f.Seek(0, KXFVF_XYZ), block);
    EXPECT_EQ(f.Seek(KXFVF_XYZ, KXFVF_DIFFUSE), block + 24);
    EXPECT_EQ(f.Seek(KXFVF_DIFFUSE, KXFVF_TEX1), block + 28);
    f.NextVertex();
    EXPECT_EQ(f.Seek(0, KXFVF_XYZ), block + 36);
}

TEST(Fvf, SeekToAMissingComponentLeavesTheCursor)
{
    uint8_t block[32] = {};
    KxFvf f;
    f.SetFormat(274);
    f.SetData(block);
    EXPECT_EQ(f.Seek(KXFVF_XYZ, KXFVF_DIFFUSE), nullptr);
    EXPECT_EQ(f.Seek(0, KXFVF_XYZRHW), nullptr);
    EXPECT_EQ(f.Seek(0, KXFVF_XYZ), block);
    EXPECT_EQ(f.Seek(KXFVF_XYZ, KXFVF_NORMAL), block + 12);

    // Two sets of texture coordinates leave bit 0x100 clear: no first set.
    f.SetFormat(0x212);
    f.Rewind();
    EXPECT_EQ(f.Seek(0, KXFVF_TEX1), nullptr);
}

TEST(Fvf, SeekStaysInsideTheStrideForBlendPositions)
{
    // 0x006 counts one 12-byte position; the normal follows it directly.
    uint8_t block[24] = {};
    KxFvf f;
    f.SetFormat(0x016);
    f.SetData(block);
    ASSERT_EQ(f.GetStride(), 24);
    EXPECT_EQ(f.Seek(0, KXFVF_XYZ), block);
    EXPECT_EQ(f.Seek(KXFVF_XYZ, KXFVF_NORMAL), block + 12);
}

TEST(Fvf, SeekToTheTopBitEnds)
{
    uint8_t block[16] = {};
    KxFvf f;
    f.SetFormat(0x80000003u);
    f.SetData(block);
    EXPECT_EQ(f.Seek(0, 0x80000001u), block + 12);
}

TEST(Fvf, NullDataIsReportedAndNotWalked)
{
    AssertCapture capture;
    KxFvf f;
    f.SetFormat(274);
    f.SetData(nullptr);
    EXPECT_EQ(capture.Failures(), 1u);
    EXPECT_EQ(lastAssertExpression, "0");
    EXPECT_EQ(lastAssertSource, "kxfvf");
    EXPECT_EQ(f.Seek(0, KXFVF_XYZ), nullptr);
    f.NextVertex();
    EXPECT_EQ(f.Seek(0, KXFVF_XYZ), nullptr);

    uint8_t block[32] = {};
    f.SetData(block);
    EXPECT_EQ(capture.Failures(), 1u);
}

TEST(VertexBuffer, LockHandsOutTheWholeBlock)
{
    KxVertexBuffer* vb = new KxVertexBuffer(768);
    EXPECT_EQ(vb->length, 768u);
    EXPECT_EQ(vb->boundsRadius, 0.0f);
    EXPECT_EQ(vb->boundsCentre.x, 0.0f);
    ASSERT_NE(vb->data, nullptr);

    void* first = nullptr;
    void* second = nullptr;
    EXPECT_TRUE(vb->Lock(64, 32, &first, 0));
    EXPECT_EQ(first, vb->data);
    EXPECT_TRUE(vb->Unlock());
    EXPECT_TRUE(vb->Lock(0, 0, &second, 0));
    EXPECT_EQ(second, first);
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
    ASSERT_NE(vb, nullptr);
    EXPECT_EQ(vb->length, 64u);
    d.GetFVF(&fvf);
    EXPECT_EQ(fvf, 0x142u);

    // Nowhere to return the buffer: nothing is created and the format stays.
    EXPECT_FALSE(d.CreateVertexBuffer(64, 0, 274, 1, nullptr, nullptr));
    d.GetFVF(&fvf);
    EXPECT_EQ(fvf, 0x142u);
    vb->Release();
}

TEST(StreamSource, VertexCountUsesTheGivenStride)
{
    KxSoftwareRenderDevice d;
    KxVertexBuffer* vb = MakeZeroBuffer(d, 24);
    EXPECT_TRUE(d.SetStreamSource(0, vb, 0, 32));
    EXPECT_EQ(d.GetVertexCount(), 24u);
    EXPECT_EQ(d.GetStreamSource(), vb);
    EXPECT_TRUE(d.SetStreamSource(0, vb, 0, 30));
    EXPECT_EQ(d.GetVertexCount(), 25u);
    EXPECT_TRUE(d.SetStreamSource(0, vb, 0, 1000));
    EXPECT_EQ(d.GetVertexCount(), 0u);
    vb->Release();
}

TEST(StreamSource, RefusalsKeepThePreviousBinding)
{
    KxSoftwareRenderDevice d;
    KxVertexBuffer* vb = MakeZeroBuffer(d, 24);
    KxVertexBuffer* other = MakeZeroBuffer(d, 4);
    d.SetStreamSource(0, vb, 0, 32);
    EXPECT_FALSE(d.SetStreamSource(0, nullptr, 0, 32));
    EXPECT_FALSE(d.SetStreamSource(0, other, 0, 0));
    EXPECT_EQ(d.GetStreamSource(), vb);
    EXPECT_EQ(d.GetVertexCount(), 24u);
    other->Release();
    vb->Release();
}

TEST(StreamSource, BoundsRadius)
{
    KxSoftwareRenderDevice d;
    KxVertexBuffer* vb = MakeZeroBuffer(d, 24);
    d.SetStreamSource(0, vb, 0, 32);
    EXPECT_EQ(vb->boundsRadius, 0.0f);

    for (uint32_t i = 0; i < 24; ++i)
        WritePosition(vb, i * 32, (i & 1) ? 1.0f : -1.0f, (i & 2) ? 1.0f : -1.0f, (i & 4) ? 1.0f : -1.0f);
    d.SetStreamSource(0, vb, 0, 32);
    EXPECT_EQ(vb->boundsRadius, static_cast<float>(std::sqrt(3.0)));

    // The largest distance wins wherever it stands.
    WritePosition(vb, 5 * 32, 0.0f, -4.0f, 3.0f);
    d.SetStreamSource(0, vb, 0, 32);
    EXPECT_EQ(vb->boundsRadius, 5.0f);
    vb->Release();
}

TEST(StreamSource, RadiusFollowsTheCurrentFormat)
{
    KxSoftwareRenderDevice d;
    KxVertexBuffer* vb = MakeZeroBuffer(d, 4);
    WritePosition(vb, 0, 2.0f, 0.0f, 0.0f);
    WritePosition(vb, 16, 0.0f, 0.0f, 6.0f);
    d.SetStreamSource(0, vb, 0, 32);
    EXPECT_EQ(vb->boundsRadius, 2.0f);

    // Read as 16-byte vertices (position, diffuse) the second one is at 16.
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
    // three that fit are read (the sanitizer build checks the bounds).
    KxSoftwareRenderDevice d;
    KxVertexBuffer* vb = MakeZeroBuffer(d, 3);
    WritePosition(vb, 64, 0.0f, 7.0f, 0.0f);
    EXPECT_TRUE(d.SetStreamSource(0, vb, 0, 16));
    EXPECT_EQ(d.GetVertexCount(), 6u);
    EXPECT_EQ(vb->boundsRadius, 7.0f);

    // A 40-byte block holds one 32-byte vertex and a partial one.
    KxVertexBuffer* odd = nullptr;
    d.CreateVertexBuffer(40, 0, 274, 1, &odd, nullptr);
    std::memset(odd->data, 0, 40);
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
    KxVertexBuffer* vb = nullptr;
    d.CreateVertexBuffer(96, 0, 274, 1, &vb, nullptr);
    std::free(vb->data);
    vb->data = nullptr;

    EXPECT_TRUE(d.SetStreamSource(0, vb, 0, 32));
    EXPECT_EQ(capture.Failures(), 1u);
    EXPECT_EQ(lastAssertSource, "kxfvf");
    EXPECT_EQ(d.GetStreamSource(), vb);
    EXPECT_EQ(d.GetVertexCount(), 3u);
    EXPECT_EQ(vb->boundsRadius, 0.0f);
    void* p = &p;
    EXPECT_FALSE(vb->Lock(0, 0, &p, 0));
    EXPECT_EQ(p, &p);
    vb->Release();
}
