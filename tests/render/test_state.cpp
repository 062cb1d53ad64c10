// The device state the pipeline reads back from the device itself: render
// states, the viewport matrix and the eye, and what a new device starts with.
#include <gtest/gtest.h>

#include <cstring>

#include "kxtestdevice.h"

namespace {

KxMatrix4 ScaleAndOffset(float sx, float sy, float sz, float tx, float ty, float tz)
{
    KxMatrix4 m = KxMatrix4().SetScaling(sx, sy, sz);
    m.m[3][0] = tx;
    m.m[3][1] = ty;
    m.m[3][2] = tz;
    return m;
}

}  // namespace

TEST(RenderState, AcceptedCodesTheirDefaultsAndWidths)
{
    // Switches keep "non-zero", two-bit fields their low two bits, the
    // ambient colour all 32 bits; writing one field leaves the others.
    const struct {
        uint32_t code, initial, written, stored;
    } fields[] = {{KXRS_ZENABLE, 1, 0x80000000u, 1},       {KXRS_SHADEMODE, 2, 6, 2},
                  {KXRS_SPECULARENABLE, 0, 1, 1},           {KXRS_CLIPPING, 1, 0, 0},
                  {KXRS_LIGHTING, 1, 5, 1},                 {KXRS_AMBIENT, 0, 0xABCDEF01u, 0xABCDEF01u},
                  {KXRS_SPECULARMATERIALSOURCE, 0, 1, 1},   {KXRS_AMBIENTMATERIALSOURCE, 0, 2, 2},
                  {KXRS_EMISSIVEMATERIALSOURCE, 0, 6, 2}};
    KxTestDevice t(4, 4);
    auto expectStored = [&t, &fields](bool bInitial) {
        for (const auto& f : fields) {
            uint32_t value = 0xDEADBEEF;
            EXPECT_TRUE(t.device.GetRenderState(f.code, &value)) << f.code;
            EXPECT_EQ(value, bInitial ? f.initial : f.stored) << f.code;
        }
    };
    expectStored(true);
    for (const auto& f : fields)
        EXPECT_TRUE(t.device.SetRenderState(f.code, f.written));
    expectStored(false);
    for (uint32_t code : {0u, 8u, 28u, 138u, 140u, 144u, 149u, 0xFFFFFFFFu}) {
        uint32_t value = 0x12345678;
        EXPECT_FALSE(t.device.SetRenderState(code, 1) || t.device.GetRenderState(code, &value)) << code;
        EXPECT_EQ(value, 0x12345678u) << code;
    }
    expectStored(false);
}

TEST(Viewport, MatrixAndReadBack)
{
    KxTestDevice t(640, 480);
    const struct {
        KxViewport set, read;
        KxMatrix4 matrix;
    } cases[] = {
        {{}, {0, 0, 640, 480, 0.0f, 1.0f}, ScaleAndOffset(320, -240, 1, 320, 240, 0)},  // as created
        {{10, 20, 640, 480, 0.0f, 1.0f}, {10, 20, 640, 480, 0.0f, 1.0f}, ScaleAndOffset(320, -240, 1, 330, 260, 0)},
        // Odd sizes read back one smaller.
        {{7, 3, 641, 481, 0.25f, 0.75f}, {7, 3, 640, 480, 0.25f, 0.75f},
         ScaleAndOffset(320, -240, 0.5f, 327, 243, 0.25f)},
    };
    for (const auto& c : cases) {
        if (c.set.Width)
            t.device.SetViewport(&c.set);
        KxViewport read;
        EXPECT_TRUE(t.device.GetViewport(&read));
        EXPECT_EQ(std::memcmp(&read, &c.read, sizeof(read)), 0) << c.set.Width;
        EXPECT_EQ(t.device.GetViewportMatrix(), c.matrix) << c.set.Width;
    }
}

TEST(Transform, OnlyTheViewMovesTheEye)
{
    KxSoftwareRenderDevice d;
    const KxMatrix4 other = KxMatrix4().SetTranslation(10, 20, 30);
    for (const KxVector3& eye : {KxVector3(0, 0, -5), KxVector3(3, -2, 7), KxVector3(-1, 4, 0.5f)}) {
        KxMatrix4 view;
        view.SetLookAtLeftHanded(eye, KxVector3(1, 2, 3), KxVector3(0, 1, 0));
        d.SetTransform(KXTS_VIEW, &view);
        for (uint32_t code : {0u, 1u, 3u, 4u, 256u})
            d.SetTransform(code, &other);
        EXPECT_LT((d.GetEyePosition() - eye).Length(), 1e-5f) << eye.x;
    }
}

// Culling, depth, alpha test and blending: Direct3D 9's codes and defaults,
// the values each takes; others are refused and change nothing.
TEST(RenderState, CullDepthAlphaAndBlendStates)
{
    const struct {
        uint32_t code, initial, first, last;
        bool bSwitch;
    } states[] = {{KXRS_CULLMODE, KXCULL_CCW, 1, 3, false},
                  {KXRS_ZWRITEENABLE, 1, 0, 1, true},
                  {KXRS_ZFUNC, KXCMP_LESSEQUAL, 1, 8, false},
                  {KXRS_ALPHABLENDENABLE, 0, 0, 1, true},
                  {KXRS_SRCBLEND, KXBLEND_ONE, 1, 13, false},
                  {KXRS_DESTBLEND, KXBLEND_ZERO, 1, 11, false},
                  {KXRS_BLENDOP, KXBLENDOP_ADD, 1, 5, false},
                  {KXRS_ALPHATESTENABLE, 0, 0, 1, true},
                  {KXRS_ALPHAREF, 0, 0, 255, false},
                  {KXRS_ALPHAFUNC, KXCMP_ALWAYS, 1, 8, false}};
    KxTestDevice t(4, 4);
    auto read = [&t](uint32_t code) {
        uint32_t value = 0xDEADBEEF;
        EXPECT_TRUE(t.device.GetRenderState(code, &value)) << code;
        return value;
    };
    for (const auto& s : states) {
        SCOPED_TRACE(s.code);
        EXPECT_EQ(read(s.code), s.initial);
        for (uint32_t value : {s.first, s.last, (s.first + s.last) / 2}) {
            EXPECT_TRUE(t.device.SetRenderState(s.code, value));
            EXPECT_EQ(read(s.code), value);
        }
        const uint32_t kept = read(s.code);
        if (s.bSwitch) {  // any non-zero value is on
            EXPECT_TRUE(t.device.SetRenderState(s.code, 0x80000000u));
            EXPECT_EQ(read(s.code), 1u);
            continue;
        }
        for (uint32_t value : {s.first - 1, s.last + 1, s.last + 256, 0xFFFFFFFFu}) {
            if (value >= s.first && value <= s.last)
                continue;
            EXPECT_FALSE(t.device.SetRenderState(s.code, value)) << value;
            EXPECT_EQ(read(s.code), kept);
        }
    }
    // The packed states are untouched by all of it.
    EXPECT_EQ(read(KXRS_ZENABLE), 1u);
    EXPECT_EQ(read(KXRS_SHADEMODE), 2u);
    EXPECT_EQ(read(KXRS_LIGHTING), 1u);
}
