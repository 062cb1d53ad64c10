#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <vector>

#include "render/kxsoftwarerenderdevice.h"
#include "tests/render/kxtestdevice.h"

namespace {

constexpr uint32_t kAcceptedCodes[] = {7, 9, 29, 136, 137, 139, 143, 145, 146, 147, 148};

std::vector<uint32_t> ReadAllRenderStates(const KxSoftwareRenderDevice& d)
{
    std::vector<uint32_t> values;
    for (uint32_t code : kAcceptedCodes) {
        uint32_t v = 0xDEADBEEF;
        EXPECT_TRUE(d.GetRenderState(code, &v)) << code;
        values.push_back(v);
    }
    return values;
}

uint32_t RenderState(const KxSoftwareRenderDevice& d, uint32_t code)
{
    uint32_t v = 0xDEADBEEF;
    EXPECT_TRUE(d.GetRenderState(code, &v)) << code;
    return v;
}

void ExpectColor(const KxColor& c, float r, float g, float b, float a)
{
    EXPECT_EQ(c.r, r);
    EXPECT_EQ(c.g, g);
    EXPECT_EQ(c.b, b);
    EXPECT_EQ(c.a, a);
}

KxLight MakeLight(float diffuseRed, const KxVector3& direction)
{
    KxLight light;
    light.Diffuse = KxColor(diffuseRed, 0.0f, 0.0f, 1.0f);
    light.Direction = direction;
    return light;
}

}  // namespace

TEST(RenderState, FieldsKeepTheirWidth)
{
    KxSoftwareRenderDevice d;
    EXPECT_TRUE(d.SetRenderState(KXRS_SHADEMODE, 6));
    EXPECT_EQ(RenderState(d, KXRS_SHADEMODE), 2u);
    EXPECT_TRUE(d.SetRenderState(KXRS_LIGHTING, 5));
    EXPECT_EQ(RenderState(d, KXRS_LIGHTING), 1u);
    EXPECT_TRUE(d.SetRenderState(KXRS_LIGHTING, 0));
    EXPECT_EQ(RenderState(d, KXRS_LIGHTING), 0u);
    EXPECT_TRUE(d.SetRenderState(KXRS_ZENABLE, 0x80000000u));
    EXPECT_EQ(RenderState(d, KXRS_ZENABLE), 1u);
    EXPECT_TRUE(d.SetRenderState(KXRS_AMBIENT, 0xFF123456u));
    EXPECT_EQ(RenderState(d, KXRS_AMBIENT), 0xFF123456u);
}

TEST(RenderState, EachFieldLeavesTheOthersAlone)
{
    KxSoftwareRenderDevice d;
    const uint32_t values[] = {0, 3, 1, 1, 1, 0xABCDEF01u, 1, 3, 1, 2, 2};
    for (size_t i = 0; i < std::size(kAcceptedCodes); ++i)
        EXPECT_TRUE(d.SetRenderState(kAcceptedCodes[i], values[i]));
    std::vector<uint32_t> expected(std::begin(values), std::end(values));
    EXPECT_EQ(ReadAllRenderStates(d), expected);

    // Clearing one two-bit field in the middle of the word touches nothing else.
    d.SetRenderState(KXRS_DIFFUSEMATERIALSOURCE, 0);
    expected[7] = 0;
    EXPECT_EQ(ReadAllRenderStates(d), expected);
}

TEST(RenderState, UnknownCodesAreRefused)
{
    KxSoftwareRenderDevice d;
    std::vector<uint32_t> before = ReadAllRenderStates(d);
    for (uint32_t code : {0u, 8u, 28u, 138u, 140u, 144u, 149u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(d.SetRenderState(code, 1)) << code;
        uint32_t v = 0x12345678;
        EXPECT_FALSE(d.GetRenderState(code, &v)) << code;
        EXPECT_EQ(v, 0x12345678u) << code;
    }
    EXPECT_EQ(ReadAllRenderStates(d), before);
}

TEST(Transform, EyePositionFollowsTheView)
{
    KxSoftwareRenderDevice d;
    EXPECT_EQ(d.GetEyePosition().x, 0.0f);
    EXPECT_EQ(d.GetEyePosition().y, 0.0f);
    EXPECT_EQ(d.GetEyePosition().z, 0.0f);

    KxMatrix4 view;
    view.SetLookAtLeftHanded(KxVector3(0, 0, -5), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    d.SetTransform(KXTS_VIEW, &view);
    EXPECT_EQ(d.GetEyePosition().x, 0.0f);
    EXPECT_EQ(d.GetEyePosition().y, 0.0f);
    EXPECT_EQ(d.GetEyePosition().z, -5.0f);

    view.SetLookAtLeftHanded(KxVector3(3, -2, 7), KxVector3(1, 2, 3), KxVector3(0, 1, 0));
    d.SetTransform(KXTS_VIEW, &view);
    EXPECT_NEAR(d.GetEyePosition().x, 3.0f, 1e-5);
    EXPECT_NEAR(d.GetEyePosition().y, -2.0f, 1e-5);
    EXPECT_NEAR(d.GetEyePosition().z, 7.0f, 1e-5);
}

TEST(Transform, OnlyTheViewMovesTheEye)
{
    KxSoftwareRenderDevice d;
    KxMatrix4 view;
    view.SetLookAtLeftHanded(KxVector3(0, 0, -5), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    d.SetTransform(KXTS_VIEW, &view);

    KxMatrix4 other;
    other.SetTranslation(10, 20, 30);
    for (uint32_t code : {0u, 1u, 3u, 4u, 256u}) {
        d.SetTransform(code, &other);
        EXPECT_EQ(d.GetEyePosition().z, -5.0f) << code;
        EXPECT_EQ(d.GetEyePosition().x, 0.0f) << code;
    }
}

TEST(Viewport, MatrixAndReadBack)
{
    KxSoftwareRenderDevice d;
    KxViewport vp{10, 20, 640, 480, 0.0f, 1.0f};
    EXPECT_TRUE(d.SetViewport(&vp));
    KxMatrix4 expected = KxMatrix4::Identity();
    expected.m[0][0] = 320.0f;
    expected.m[1][1] = -240.0f;
    expected.m[2][2] = 1.0f;
    expected.m[3][0] = 330.0f;
    expected.m[3][1] = 260.0f;
    expected.m[3][2] = 0.0f;
    EXPECT_EQ(d.GetViewportMatrix(), expected);

    KxViewport out{};
    EXPECT_TRUE(d.GetViewport(&out));
    EXPECT_EQ(out.X, 10u);
    EXPECT_EQ(out.Y, 20u);
    EXPECT_EQ(out.Width, 640u);
    EXPECT_EQ(out.Height, 480u);
    EXPECT_EQ(out.MinZ, 0.0f);
    EXPECT_EQ(out.MaxZ, 1.0f);
}

TEST(Viewport, OddSizesReadBackOneSmaller)
{
    KxSoftwareRenderDevice d;
    KxViewport vp{7, 3, 641, 481, 0.25f, 0.75f};
    d.SetViewport(&vp);
    EXPECT_EQ(d.GetViewportMatrix().m[2][2], 0.5f);
    EXPECT_EQ(d.GetViewportMatrix().m[3][2], 0.25f);

    KxViewport out{};
    d.GetViewport(&out);
    EXPECT_EQ(out.X, 7u);
    EXPECT_EQ(out.Y, 3u);
    EXPECT_EQ(out.Width, 640u);
    EXPECT_EQ(out.Height, 480u);
    EXPECT_EQ(out.MinZ, 0.25f);
    EXPECT_EQ(out.MaxZ, 0.75f);
}

TEST(ClipVolume, MapsTheVolumeOntoTheUnitCube)
{
    KxSoftwareRenderDevice d;
    KxClipVolume full{-1.0f, 2.0f, 1.0f, 2.0f, 0.0f, 1.0f};
    EXPECT_TRUE(d.SetClipVolume(&full));
    EXPECT_EQ(d.GetClipMatrix(), KxMatrix4::Identity());

    // x 0..1 and y 0..1 onto -1..1; z 2..4 onto 0..1.
    KxClipVolume quarter{0.0f, 1.0f, 1.0f, 1.0f, 2.0f, 4.0f};
    d.SetClipVolume(&quarter);
    KxMatrix4 expected = KxMatrix4::Identity();
    expected.m[0][0] = 2.0f;
    expected.m[1][1] = 2.0f;
    expected.m[2][2] = 0.5f;
    expected.m[3][0] = -1.0f;
    expected.m[3][1] = -1.0f;
    expected.m[3][2] = -1.0f;
    EXPECT_EQ(d.GetClipMatrix(), expected);
}

TEST(Lights, EnableNeedsAStoredLight)
{
    KxSoftwareRenderDevice d;
    EXPECT_FALSE(d.LightEnable(3, 1));
    EXPECT_TRUE(d.GetLights().empty());

    KxLight light = MakeLight(0.5f, KxVector3(0, 1, 0));
    d.SetLight(3, &light);
    ASSERT_EQ(d.GetLights().count(3), 1u);
    EXPECT_EQ(d.GetLights().at(3).enabled, 0);
}

TEST(Lights, EnableStoresTheLowByte)
{
    KxSoftwareRenderDevice d;
    KxLight light = MakeLight(0.5f, KxVector3(0, 1, 0));
    d.SetLight(-7, &light);
    EXPECT_TRUE(d.LightEnable(-7, 2));
    EXPECT_EQ(d.GetLights().at(-7).enabled, 2);
    EXPECT_TRUE(d.LightEnable(-7, 256));
    EXPECT_EQ(d.GetLights().at(-7).enabled, 0);
    EXPECT_TRUE(d.LightEnable(-7, 0x1FF));
    EXPECT_EQ(d.GetLights().at(-7).enabled, 0xFF);
    EXPECT_TRUE(d.LightEnable(-7, -1));
    EXPECT_EQ(d.GetLights().at(-7).enabled, 0xFF);
}

TEST(Lights, SetReplacesTheDescriptionAndKeepsTheSwitch)
{
    KxSoftwareRenderDevice d;
    KxLight first = MakeLight(0.25f, KxVector3(0, 1, 0));
    KxLight second = MakeLight(0.75f, KxVector3(1, 0, 0));
    second.Range = 12.0f;
    d.SetLight(2, &first);
    d.LightEnable(2, 1);
    d.SetLight(2, &second);

    ASSERT_EQ(d.GetLights().size(), 1u);
    const KxLightSet& record = d.GetLights().at(2);
    EXPECT_EQ(record.enabled, 1);
    EXPECT_EQ(record.light.Diffuse.r, 0.75f);
    EXPECT_EQ(record.light.Range, 12.0f);
    EXPECT_EQ(record.storedDirection.x, 1.0f);
    EXPECT_EQ(record.storedDirection.y, 0.0f);
}

TEST(Lights, MapIsOrderedByIndex)
{
    KxSoftwareRenderDevice d;
    KxLight light = MakeLight(1.0f, KxVector3(0, 0, 1));
    for (int index : {5, -1, 0})
        d.SetLight(index, &light);
    std::vector<int> order;
    for (const auto& entry : d.GetLights())
        order.push_back(entry.first);
    EXPECT_EQ(order, (std::vector<int>{-1, 0, 5}));
}

TEST(DefaultState, HoldsRightAfterCreate)
{
    KxTestDevice t(640, 480);
    const KxSoftwareRenderDevice& d = t.device;

    KxViewport vp{};
    EXPECT_TRUE(d.GetViewport(&vp));
    EXPECT_EQ(vp.X, 0u);
    EXPECT_EQ(vp.Y, 0u);
    EXPECT_EQ(vp.Width, 640u);
    EXPECT_EQ(vp.Height, 480u);
    EXPECT_EQ(vp.MinZ, 0.0f);
    EXPECT_EQ(vp.MaxZ, 1.0f);
    EXPECT_EQ(d.GetClipMatrix(), KxMatrix4::Identity());

    // 7, 9, 29, 136, 137, 139, 143, 145, 146, 147, 148
    std::vector<uint32_t> expected = {1, 2, 0, 1, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ReadAllRenderStates(d), expected);

    ASSERT_EQ(d.GetLights().size(), 1u);
    ASSERT_EQ(d.GetLights().count(0), 1u);
    const KxLightSet& light0 = d.GetLights().at(0);
    EXPECT_NE(light0.enabled, 0);
    ExpectColor(light0.light.Diffuse, 1, 1, 1, 1);
    ExpectColor(light0.light.Specular, 0, 0, 0, 1);
    ExpectColor(light0.light.Ambient, 1, 1, 1, 1);
    EXPECT_EQ(light0.storedDirection.x, 0.0f);
    EXPECT_EQ(light0.storedDirection.y, 1.0f);
    EXPECT_EQ(light0.storedDirection.z, 0.0f);

    ExpectColor(d.GetMaterial().Diffuse, 1, 1, 1, 1);
    ExpectColor(d.GetMaterial().Ambient, 1, 1, 1, 1);
    ExpectColor(d.GetMaterial().Specular, 1, 1, 1, 1);
    ExpectColor(d.GetMaterial().Emissive, 0, 0, 0, 1);
    EXPECT_EQ(d.GetMaterial().Power, 1.0f);

    EXPECT_EQ(d.GetEyePosition().x, 0.0f);
    EXPECT_EQ(d.GetEyePosition().y, 0.0f);
    EXPECT_EQ(d.GetEyePosition().z, 0.0f);
    EXPECT_EQ(d.GetStreamSource(), nullptr);
    EXPECT_EQ(d.GetVertexCount(), 0u);
}
