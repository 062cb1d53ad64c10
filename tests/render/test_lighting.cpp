#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "render/kxsoftwarerenderdevice.h"
#include "tests/render/kxtestdevice.h"

namespace {

const KxColor kBlack(0.0f, 0.0f, 0.0f, 0.0f);
const KxColor kOpaqueBlack(0.0f, 0.0f, 0.0f, 1.0f);
const KxColor kHalf(0.5f, 0.5f, 0.5f, 1.0f);
const KxColor kWhite(1.0f, 1.0f, 1.0f, 1.0f);

// Shines along +y: toward the light is -y.
KxLight Directional(const KxColor& diffuse, const KxColor& ambient = kOpaqueBlack,
                    const KxColor& specular = kOpaqueBlack)
{
    KxLight light;
    light.Diffuse = diffuse;
    light.Specular = specular;
    light.Ambient = ambient;
    light.Direction = KxVector3(0, 1, 0);
    return light;
}

// Lighting reads each light's working direction, which every draw refreshes
// from the direction given to SetLight. The fixture's draw is of an object
// on the near plane, culled whole, so it only does that refresh.
class LightingTest : public ::testing::Test {
protected:
    LightingTest()
    {
        t.device.CreateVertexBuffer(72, 0, KXFVF_XYZ | KXFVF_NORMAL, 1, &pBuffer, nullptr);
        std::memset(pBuffer->data, 0, 72);
        t.device.SetStreamSource(0, pBuffer, 0, 24);
    }
    ~LightingTest() override { pBuffer->Release(); }

    void Refresh() { t.device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0); }

    void SetLight(int index, const KxLight& light)
    {
        t.device.SetLight(index, &light);
        Refresh();
    }

    void SetMaterial(const KxColor& diffuse, const KxColor& ambient, const KxColor& emissive = kBlack,
                     float power = 1.0f)
    {
        const KxMaterial m{diffuse, ambient, kWhite, emissive, power};
        t.device.SetMaterial(&m);
    }

    uint32_t Light(float nx, float ny, float nz) { return t.device.LightVertex(KxVector3(nx, ny, nz)); }

    KxTestDevice t{16, 16};
    KxVertexBuffer* pBuffer = nullptr;
};

}  // namespace

TEST_F(LightingTest, CreatedDeviceLightsEveryNormalWhiteUnlessLightingIsOff)
{
    Refresh();
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0xFFFFFFu);
    EXPECT_EQ(Light(0.0f, 1.0f, 0.0f), 0xFFFFFFu);
    EXPECT_EQ(Light(1.0f, 0.0f, 0.0f), 0xFFFFFFu);
    t.device.SetRenderState(KXRS_LIGHTING, 0);
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0u);
}

TEST_F(LightingTest, GlobalAmbientWithoutLights)
{
    t.device.LightEnable(0, 0);
    SetMaterial(kWhite, kWhite);
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0u);
    t.device.SetRenderState(KXRS_AMBIENT, 0xFF);
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0xFFu);
    t.device.SetRenderState(KXRS_AMBIENT, 0xFF00FF00u);  // bits 24-31 take no part
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0x00FF00u);
}

TEST_F(LightingTest, DiffuseFollowsTheWorkingDirection)
{
    SetMaterial(KxColor(0.5f, 0.25f, 1.0f, 1.0f), kWhite);
    SetLight(0, Directional(kWhite));
    for (int draw = 0; draw < 2; ++draw, Refresh()) {
        EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0xFF3F7Fu);  // 127.5, 63.75, 255 truncated
        EXPECT_EQ(Light(0.0f, -0.5f, 0.0f), 0x7F1F3Fu);  // half the diffuse term
        EXPECT_EQ(Light(0.0f, 1.0f, 0.0f), 0u);          // facing away
        EXPECT_EQ(Light(1.0f, 0.0f, 0.0f), 0u);          // n . L = 0
    }
}

TEST_F(LightingTest, TwoLightsSaturatePerChannel)
{
    SetMaterial(kWhite, kWhite);
    SetLight(1, Directional(KxColor(0.75f, 0.5f, 0.25f, 1.0f)));
    SetLight(0, Directional(KxColor(0.75f, 0.5f, 0.25f, 1.0f)));
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0x3F7FBFu);
    t.device.LightEnable(1, 1);
    Refresh();
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0x7FFFFFu);
}

TEST_F(LightingTest, SpecularTerm)
{
    // The normal faces away from the light and the halfway vector: no diffuse
    // light, and n . H clamps to 0.
    SetLight(0, Directional(kWhite, kOpaqueBlack, KxColor(0.2f, 0.4f, 0.6f, 1.0f)));
    SetMaterial(kWhite, kWhite, kBlack, 0.0f);
    EXPECT_EQ(Light(0.0f, 1.0f, 0.0f), 0u);  // specular state off
    t.device.SetRenderState(KXRS_SPECULARENABLE, 1);
    EXPECT_EQ(Light(0.0f, 1.0f, 0.0f), 0x996633u);  // 0^0 = 1: the full specular colour
    SetMaterial(kWhite, kWhite, kBlack, 1.0f);
    EXPECT_EQ(Light(0.0f, 1.0f, 0.0f), 0u);

    // Facing the viewer, (0, 0, 1) against the halfway vector (0, -1, 1)/sqrt 2
    // of the identity view: n . H = 0.7071, raised to the power.
    SetLight(0, Directional(kWhite, kOpaqueBlack, kWhite));
    EXPECT_EQ(Light(0.0f, 0.0f, 1.0f), 0xB4B4B4u);  // 180.3
    SetMaterial(kWhite, kWhite, kBlack, 2.0f);
    EXPECT_EQ(Light(0.0f, 0.0f, 1.0f), 0x7F7F7Fu);  // 127.5
}

TEST_F(LightingTest, MaterialAmbientScalesGlobalAndLightAmbientTogether)
{
    SetLight(0, Directional(kWhite, kHalf));
    t.device.SetRenderState(KXRS_AMBIENT, 0x0000FF);
    SetMaterial(kWhite, kHalf);
    // 0.5 x (1 + 0.5) in red, 0.5 x 0.5 in green and blue; no diffuse light.
    EXPECT_EQ(Light(0.0f, 1.0f, 0.0f), 0x3F3FBFu);
}

TEST_F(LightingTest, DiffuseSourceOtherThanMaterialKeepsTheLastColour)
{
    SetLight(0, Directional(kWhite));
    SetMaterial(kHalf, kWhite);
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0x7F7F7Fu);
    t.device.SetRenderState(KXRS_DIFFUSEMATERIALSOURCE, 1);
    SetMaterial(kWhite, kWhite);
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0x7F7F7Fu);
    t.device.SetRenderState(KXRS_DIFFUSEMATERIALSOURCE, 0);
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0xFFFFFFu);
}

TEST_F(LightingTest, FinalAlphaDividesTheChannels)
{
    t.device.LightEnable(0, 0);
    t.device.SetRenderState(KXRS_AMBIENT, 0xFFFFFF);
    const KxColor quarter(0.25f, 0.25f, 0.25f, 0.5f);
    SetMaterial(kWhite, quarter);
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0x7F7F7Fu);  // 0.25 x 255 / 0.5 = 127.5
    // -0.75 x 255 / 0.5 = -382.5: truncated to -382, whose low byte is 0x82.
    SetMaterial(kWhite, quarter, KxColor(-1.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0x7F7F82u);
    SetMaterial(kWhite, KxColor(1.0f, 1.0f, 1.0f, 0.0f));
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0u);  // alpha 0
    // 255 / 1e-30 fits no integer: black rather than an undefined conversion.
    SetMaterial(kWhite, KxColor(1.0f, 1.0f, 1.0f, 1e-30f));
    EXPECT_EQ(Light(0.0f, -1.0f, 0.0f), 0u);
}
