#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "render/kxsoftwarerenderdevice.h"
#include "tests/render/kxtestdevice.h"

namespace {

const KxColor kBlack(0.0f, 0.0f, 0.0f, 0.0f);
const KxColor kOpaqueBlack(0.0f, 0.0f, 0.0f, 1.0f);
const KxColor kWhite(1.0f, 1.0f, 1.0f, 1.0f);

KxLight Directional(const KxColor& diffuse, const KxColor& ambient, const KxColor& specular)
{
    KxLight light;
    light.Diffuse = diffuse;
    light.Ambient = ambient;
    light.Specular = specular;
    light.Direction = KxVector3(0.0f, 1.0f, 0.0f);  // shines along +y: toward the light is -y
    return light;
}

KxMaterial Material(const KxColor& diffuse, const KxColor& ambient, const KxColor& emissive)
{
    KxMaterial m;
    m.Diffuse = diffuse;
    m.Ambient = ambient;
    m.Specular = kWhite;
    m.Emissive = emissive;
    m.Power = 1.0f;
    return m;
}

// Lighting reads each light's working direction, which every draw refreshes
// from the direction given to SetLight. The fixture's draw is of an object
// on the near plane, culled whole, so it only does that refresh.
class LightingTest : public ::testing::Test {
protected:
    LightingTest()
    {
        t.device.CreateVertexBuffer(72, 0, KXFVF_XYZ | KXFVF_NORMAL, 1, &pBuffer, nullptr);
        void* p = nullptr;
        pBuffer->Lock(0, 0, &p, 0);
        std::memset(p, 0, 72);
        pBuffer->Unlock();
        t.device.SetStreamSource(0, pBuffer, 0, 24);
    }
    ~LightingTest() override { pBuffer->Release(); }

    void RefreshLightDirections() { t.device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0); }

    uint32_t Light(float nx, float ny, float nz) { return t.device.LightVertex(KxVector3(nx, ny, nz)); }

    void SetMaterial(const KxMaterial& m) { t.device.SetMaterial(&m); }

    KxTestDevice t{16, 16};
    KxVertexBuffer* pBuffer = nullptr;
};

}  // namespace

TEST_F(LightingTest, CreatedDeviceLightsEveryNormalWhite)
{
    RefreshLightDirections();
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0xFFFFFFu);
    EXPECT_EQ(Light(0.0f, 1.0f, 0.0f), 0xFFFFFFu);
    EXPECT_EQ(Light(1.0f, 0.0f, 0.0f), 0xFFFFFFu);
}

TEST_F(LightingTest, LightingOffGivesBlack)
{
    t.device.SetRenderState(KXRS_LIGHTING, 0);
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0u);
}

TEST_F(LightingTest, GlobalAmbientWithoutLights)
{
    t.device.LightEnable(0, 0);
    SetMaterial(Material(kWhite, kWhite, kBlack));
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0u);
    t.device.SetRenderState(KXRS_AMBIENT, 0xFF);
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0xFFu);
    t.device.SetRenderState(KXRS_AMBIENT, 0xFF00FF00u);  // bits 24-31 take no part
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0x00FF00u);
}

TEST_F(LightingTest, DiffuseFollowsTheWorkingDirection)
{
    const KxLight light = Directional(kWhite, kOpaqueBlack, kOpaqueBlack);
    t.device.SetLight(0, &light);
    SetMaterial(Material(KxColor(0.5f, 0.25f, 1.0f, 1.0f), kWhite, kBlack));
    for (int draw = 0; draw < 2; ++draw) {
        RefreshLightDirections();
        EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0xFF3F7Fu);   // 127.5, 63.75, 255 truncated
        EXPECT_EQ(Light(0.0f, -0.5f, 0.0f), 0x7F1F3Fu);   // half the diffuse term
        EXPECT_EQ(Light(0.0f, 1.0f, 0.0f), 0u);           // facing away
        EXPECT_EQ(Light(1.0f, 0.0f, 0.0f), 0u);           // n . L = 0
    }
}

TEST_F(LightingTest, TwoLightsSaturatePerChannel)
{
    const KxLight light = Directional(KxColor(0.75f, 0.5f, 0.25f, 1.0f), kOpaqueBlack, kOpaqueBlack);
    t.device.SetLight(0, &light);
    t.device.SetLight(1, &light);
    SetMaterial(Material(kWhite, kWhite, kBlack));
    RefreshLightDirections();
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0x3F7FBFu);
    t.device.LightEnable(1, 1);
    RefreshLightDirections();
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0x7FFFFFu);
}

TEST_F(LightingTest, SpecularTerm)
{
    // The normal faces away from the light and the halfway vector: no diffuse
    // light, and n . H clamps to 0.
    const KxLight light = Directional(kWhite, kOpaqueBlack, KxColor(0.2f, 0.4f, 0.6f, 1.0f));
    t.device.SetLight(0, &light);
    KxMaterial m = Material(kWhite, kWhite, kBlack);
    m.Power = 0.0f;
    SetMaterial(m);
    RefreshLightDirections();
    EXPECT_EQ(Light(0.0f, 1.0f, 0.0f), 0u);  // specular state off

    t.device.SetRenderState(KXRS_SPECULARENABLE, 1);
    EXPECT_EQ(Light(0.0f, 1.0f, 0.0f), 0x996633u);  // 0^0 = 1: the full specular colour

    m.Power = 1.0f;
    SetMaterial(m);
    EXPECT_EQ(Light(0.0f, 1.0f, 0.0f), 0u);

    // Facing the viewer, (0, 0, 1) against the halfway vector (0, -1, 1)/sqrt 2
    // of the identity view: n . H = 0.7071, raised to the power.
    const KxLight white = Directional(kWhite, kOpaqueBlack, kWhite);
    t.device.SetLight(0, &white);
    RefreshLightDirections();
    EXPECT_EQ(Light(0.0f, 0.0f, 1.0f), 0xB4B4B4u);  // 180.3
    m.Power = 2.0f;
    SetMaterial(m);
    EXPECT_EQ(Light(0.0f, 0.0f, 1.0f), 0x7F7F7Fu);  // 127.5
}

TEST_F(LightingTest, MaterialAmbientScalesGlobalAndLightAmbientTogether)
{
    const KxLight light = Directional(kWhite, KxColor(0.5f, 0.5f, 0.5f, 1.0f), kOpaqueBlack);
    t.device.SetLight(0, &light);
    t.device.SetRenderState(KXRS_AMBIENT, 0x0000FF);
    SetMaterial(Material(kWhite, KxColor(0.5f, 0.5f, 0.5f, 1.0f), kBlack));
    RefreshLightDirections();
    // 0.5 x (1 + 0.5) in red, 0.5 x 0.5 in green and blue; no diffuse light.
    EXPECT_EQ(Light(0.0f, 1.0f, 0.0f), 0x3F3FBFu);
}

TEST_F(LightingTest, DiffuseSourceOtherThanMaterialKeepsTheLastColour)
{
    const KxLight light = Directional(kWhite, kOpaqueBlack, kOpaqueBlack);
    t.device.SetLight(0, &light);
    SetMaterial(Material(KxColor(0.5f, 0.5f, 0.5f, 1.0f), kWhite, kBlack));
    RefreshLightDirections();
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0x7F7F7Fu);

    t.device.SetRenderState(KXRS_DIFFUSEMATERIALSOURCE, 1);
    SetMaterial(Material(kWhite, kWhite, kBlack));
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0x7F7F7Fu);

    t.device.SetRenderState(KXRS_DIFFUSEMATERIALSOURCE, 0);
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0xFFFFFFu);
}

TEST_F(LightingTest, FinalAlphaDividesTheChannels)
{
    t.device.LightEnable(0, 0);
    t.device.SetRenderState(KXRS_AMBIENT, 0xFFFFFF);
    SetMaterial(Material(kWhite, KxColor(0.25f, 0.25f, 0.25f, 0.5f), kBlack));
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0x7F7F7Fu);  // 0.25 x 255 / 0.5 = 127.5

    // -0.75 x 255 / 0.5 = -382.5: truncated to -382, whose low byte is 0x82.
    SetMaterial(Material(kWhite, KxColor(0.25f, 0.25f, 0.25f, 0.5f), KxColor(-1.0f, 0.0f, 0.0f, 0.0f)));
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0x7F7F82u);

    SetMaterial(Material(kWhite, KxColor(1.0f, 1.0f, 1.0f, 0.0f), kBlack));
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0u);  // alpha 0

    // 255 / 1e-30 fits no integer: black rather than an undefined conversion.
    SetMaterial(Material(kWhite, KxColor(1.0f, 1.0f, 1.0f, 1e-30f), kBlack));
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0u);
}
