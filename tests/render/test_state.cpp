#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <iterator>
#include <tuple>
#include <vector>

#include "render/kxsoftwarerenderdevice.h"
#include "tests/render/kxtestdevice.h"

namespace {

constexpr uint32_t kAcceptedCodes[] = {7, 9, 29, 136, 137, 139, 143, 145, 146, 147, 148};

std::vector<uint32_t> RenderStates(const KxSoftwareRenderDevice& d)
{
    std::vector<uint32_t> values;
    for (uint32_t code : kAcceptedCodes) {
        uint32_t v = 0xDEADBEEF;
        EXPECT_TRUE(d.GetRenderState(code, &v)) << code;
        values.push_back(v);
    }
    return values;
}

std::array<float, 3> Xyz(const KxVector3& v)
{
    return {v.x, v.y, v.z};
}

std::array<float, 4> Rgba(const KxColor& c)
{
    return {c.r, c.g, c.b, c.a};
}

std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, float, float> ReadViewport(const KxSoftwareRenderDevice& d)
{
    KxViewport vp{};
    EXPECT_TRUE(d.GetViewport(&vp));
    return {vp.X, vp.Y, vp.Width, vp.Height, vp.MinZ, vp.MaxZ};
}

KxMatrix4 ScaleAndOffset(float sx, float sy, float sz, float tx, float ty, float tz)
{
    KxMatrix4 m = KxMatrix4().SetScaling(sx, sy, sz);
    m.m[3][0] = tx;
    m.m[3][1] = ty;
    m.m[3][2] = tz;
    return m;
}

}  // namespace

TEST(RenderState, FieldsKeepTheirWidthAndLeaveTheOthersAlone)
{
    // Switches keep "non-zero", two-bit fields their low two bits (6 -> 2),
    // the ambient colour all 32 bits.
    KxSoftwareRenderDevice d;
    const uint32_t written[] = {0x80000000u, 6, 1, 1, 5, 0xABCDEF01u, 1, 3, 1, 2, 2};
    std::vector<uint32_t> expected = {1, 2, 1, 1, 1, 0xABCDEF01u, 1, 3, 1, 2, 2};
    for (size_t i = 0; i < std::size(kAcceptedCodes); ++i)
        EXPECT_TRUE(d.SetRenderState(kAcceptedCodes[i], written[i]));
    EXPECT_EQ(RenderStates(d), expected);

    // Clearing a two-bit field in the middle of the word and a switch touches nothing else.
    d.SetRenderState(KXRS_DIFFUSEMATERIALSOURCE, 0);
    d.SetRenderState(KXRS_LIGHTING, 0);
    expected[7] = expected[4] = 0;
    EXPECT_EQ(RenderStates(d), expected);
}

TEST(RenderState, UnknownCodesAreRefused)
{
    KxSoftwareRenderDevice d;
    const std::vector<uint32_t> before = RenderStates(d);
    for (uint32_t code : {0u, 8u, 28u, 138u, 140u, 144u, 149u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(d.SetRenderState(code, 1)) << code;
        uint32_t v = 0x12345678;
        EXPECT_FALSE(d.GetRenderState(code, &v)) << code;
        EXPECT_EQ(v, 0x12345678u) << code;
    }
    EXPECT_EQ(RenderStates(d), before);
}

TEST(Transform, OnlyTheViewMovesTheEye)
{
    KxSoftwareRenderDevice d;
    EXPECT_EQ(Xyz(d.GetEyePosition()), (std::array<float, 3>{0, 0, 0}));
    KxMatrix4 view;
    view.SetLookAtLeftHanded(KxVector3(0, 0, -5), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    d.SetTransform(KXTS_VIEW, &view);
    EXPECT_EQ(Xyz(d.GetEyePosition()), (std::array<float, 3>{0, 0, -5}));
    const KxMatrix4 other = KxMatrix4().SetTranslation(10, 20, 30);
    for (uint32_t code : {0u, 1u, 3u, 4u, 256u}) {
        d.SetTransform(code, &other);
        EXPECT_EQ(Xyz(d.GetEyePosition()), (std::array<float, 3>{0, 0, -5})) << code;
    }
    view.SetLookAtLeftHanded(KxVector3(3, -2, 7), KxVector3(1, 2, 3), KxVector3(0, 1, 0));
    d.SetTransform(KXTS_VIEW, &view);
    EXPECT_NEAR(d.GetEyePosition().x, 3.0f, 1e-5);
    EXPECT_NEAR(d.GetEyePosition().y, -2.0f, 1e-5);
    EXPECT_NEAR(d.GetEyePosition().z, 7.0f, 1e-5);
}

TEST(Viewport, MatrixAndReadBack)
{
    KxSoftwareRenderDevice d;
    KxViewport vp{10, 20, 640, 480, 0.0f, 1.0f};
    EXPECT_TRUE(d.SetViewport(&vp));
    EXPECT_EQ(d.GetViewportMatrix(), ScaleAndOffset(320, -240, 1, 330, 260, 0));
    EXPECT_EQ(ReadViewport(d), std::make_tuple(10u, 20u, 640u, 480u, 0.0f, 1.0f));

    // Odd sizes read back one smaller.
    vp = {7, 3, 641, 481, 0.25f, 0.75f};
    d.SetViewport(&vp);
    EXPECT_EQ(d.GetViewportMatrix(), ScaleAndOffset(320, -240, 0.5f, 327, 243, 0.25f));
    EXPECT_EQ(ReadViewport(d), std::make_tuple(7u, 3u, 640u, 480u, 0.25f, 0.75f));
}

TEST(ClipVolume, MapsTheVolumeOntoTheUnitCube)
{
    KxSoftwareRenderDevice d;
    KxClipVolume clip{-1.0f, 2.0f, 1.0f, 2.0f, 0.0f, 1.0f};
    EXPECT_TRUE(d.SetClipVolume(&clip));
    EXPECT_EQ(d.GetClipMatrix(), KxMatrix4::Identity());
    // x 0..1 and y 0..1 onto -1..1; z 2..4 onto 0..1.
    clip = {0.0f, 1.0f, 1.0f, 1.0f, 2.0f, 4.0f};
    d.SetClipVolume(&clip);
    EXPECT_EQ(d.GetClipMatrix(), ScaleAndOffset(2, 2, 0.5f, -1, -1, -1));
}

TEST(Lights, EnableNeedsAStoredLightAndKeepsTheLowByte)
{
    KxSoftwareRenderDevice d;
    EXPECT_FALSE(d.LightEnable(-7, 1));
    EXPECT_TRUE(d.GetLights().empty());
    KxLight light;
    d.SetLight(-7, &light);
    EXPECT_EQ(d.GetLights().at(-7).enabled, 0);  // a new light starts off
    for (auto [value, stored] : {std::pair{2, 2}, {256, 0}, {0x1FF, 0xFF}, {-1, 0xFF}}) {
        EXPECT_TRUE(d.LightEnable(-7, value));
        EXPECT_EQ(d.GetLights().at(-7).enabled, stored) << value;
    }
}

TEST(Lights, SetReplacesTheDescriptionKeepsTheSwitchAndOrdersByIndex)
{
    KxSoftwareRenderDevice d;
    KxLight first, second;
    second.Diffuse = KxColor(0.75f, 0, 0, 1);
    second.Direction = KxVector3(1, 0, 0);
    for (int index : {5, -1, 0, 2})
        d.SetLight(index, &first);
    d.LightEnable(2, 1);
    d.SetLight(2, &second);

    std::vector<int> order;
    for (const auto& entry : d.GetLights())
        order.push_back(entry.first);
    EXPECT_EQ(order, (std::vector<int>{-1, 0, 2, 5}));
    const KxLightSet& record = d.GetLights().at(2);
    EXPECT_EQ(record.enabled, 1);
    EXPECT_EQ(record.light.Diffuse.r, 0.75f);
    EXPECT_EQ(Xyz(record.storedDirection), (std::array<float, 3>{1, 0, 0}));
}

TEST(DefaultState, HoldsRightAfterCreate)
{
    KxTestDevice t(640, 480);
    const KxSoftwareRenderDevice& d = t.device;
    EXPECT_EQ(ReadViewport(d), std::make_tuple(0u, 0u, 640u, 480u, 0.0f, 1.0f));
    EXPECT_EQ(d.GetClipMatrix(), KxMatrix4::Identity());
    EXPECT_EQ(RenderStates(d), (std::vector<uint32_t>{1, 2, 0, 1, 1, 0, 0, 0, 0, 0, 0}));

    ASSERT_EQ(d.GetLights().size(), 1u);
    const KxLightSet& light0 = d.GetLights().at(0);
    EXPECT_NE(light0.enabled, 0);
    const std::array<float, 4> white = {1, 1, 1, 1}, black = {0, 0, 0, 1};
    EXPECT_EQ(Rgba(light0.light.Diffuse), white);
    EXPECT_EQ(Rgba(light0.light.Specular), black);
    EXPECT_EQ(Rgba(light0.light.Ambient), white);
    EXPECT_EQ(Xyz(light0.storedDirection), (std::array<float, 3>{0, 1, 0}));

    const KxMaterial& m = d.GetMaterial();
    EXPECT_EQ(Rgba(m.Diffuse), white);
    EXPECT_EQ(Rgba(m.Ambient), white);
    EXPECT_EQ(Rgba(m.Specular), white);
    EXPECT_EQ(Rgba(m.Emissive), black);
    EXPECT_EQ(m.Power, 1.0f);

    EXPECT_EQ(Xyz(d.GetEyePosition()), (std::array<float, 3>{0, 0, 0}));
    EXPECT_EQ(d.GetStreamSource(), nullptr);
    EXPECT_EQ(d.GetVertexCount(), 0u);
}
