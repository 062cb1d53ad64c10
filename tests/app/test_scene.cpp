#include <gtest/gtest.h>

#include "app/kxscene.h"
#include "platform/kxkeyhook.h"
#include "../render/kxtestdevice.h"

namespace {

class Scene : public ::testing::Test {
protected:
    void SetUp() override { scene.Setup(window.hWnd); }
    void TearDown() override { KxReleaseAllKeys(); }

    void ExpectOffset(float x, float y, float z)
    {
        EXPECT_EQ(scene.GetOffset().x, x);
        EXPECT_EQ(scene.GetOffset().y, y);
        EXPECT_EQ(scene.GetOffset().z, z);
    }

    KxTestWindow window{640, 480};
    KxScene scene;
};

}  // namespace

TEST_F(Scene, SetupCreatesA640By480DeviceAndTheOffset)
{
    EXPECT_EQ(scene.GetDevice()->GetWidth(), 640);
    EXPECT_EQ(scene.GetDevice()->GetHeight(), 480);
    ExpectOffset(10, 5, 15);
    scene.HandleKeys();
    ExpectOffset(10, 5, 15);
}

TEST_F(Scene, HoldingWForTenFramesMovesTenUnitsAlongZ)
{
    KxHoldKey('W', true);
    for (int i = 0; i < 10; ++i)
        scene.HandleKeys();
    ExpectOffset(10, 5, 25);
}

TEST_F(Scene, EveryKeyActsIndependently)
{
    KxHoldKey('A', true);
    KxHoldKey('D', true);
    scene.HandleKeys();
    ExpectOffset(10, 5, 15);
    KxReleaseAllKeys();

    KxHoldKey('S', true);
    KxHoldKey('Z', true);
    KxHoldKey(VK_SHIFT, true);  // Shift changes nothing
    scene.HandleKeys();
    ExpectOffset(10, 6, 14);
    KxReleaseAllKeys();

    KxHoldKey('X', true);
    KxHoldKey('D', true);
    KxHoldKey(VK_F1, true);
    scene.HandleKeys();
    ExpectOffset(11, 5, 14);
}

TEST_F(Scene, EveryFrameStartsFromABlueClearAndAFarDepth)
{
    scene.Frame();
    const KxSoftwareRenderDevice& device = *scene.GetDevice();
    const uint8_t* corner = device.GetPixels();
    EXPECT_EQ(corner[0], 0xFF);
    EXPECT_EQ(corner[1], 0x00);
    EXPECT_EQ(corner[2], 0x00);
    EXPECT_EQ(device.GetDepth(0, 0), 65535u);
    EXPECT_EQ(device.GetDepth(639, 479), 65535u);
}

TEST(OffscreenScene, OnlyTheHeldKeysMoveTheCopy)
{
    KxScene scene;
    ASSERT_TRUE(scene.SetupOffscreen());
    EXPECT_EQ(scene.GetDevice()->GetWidth(), 640);
    EXPECT_EQ(scene.GetDevice()->GetHeight(), 480);
    KxHoldKey('A', true);  // the keyboard is not read
    scene.HoldKeys("WDZ");
    scene.Frame();
    scene.Frame();
    KxReleaseAllKeys();
    EXPECT_EQ(scene.GetOffset().x, 12.0f);
    EXPECT_EQ(scene.GetOffset().y, 7.0f);
    EXPECT_EQ(scene.GetOffset().z, 17.0f);
}
