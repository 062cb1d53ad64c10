// The movement keys fly the second pyramid anywhere: into the camera,
// behind it, far away. Every frame must complete, the first pyramid must keep
// all its pixels, and once the second one is out of sight the frame must be
// exactly the first pyramid's: that of a reference scene whose second
// pyramid is parked far behind the camera, drawn at the same angle.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "app/kxscene.h"

namespace {

// Beyond this distance from the eye the second pyramid is past the far plane
// (110) by more than its bounding radius, whatever the direction.
constexpr double kOutOfSight = 200.0;

double DistanceFromEye(const KxScene& s)
{
    // The second pyramid's centre is the offset moved 24 along z; the eye is at z = -12.
    const KxVector3& o = s.GetOffset();
    return std::sqrt(double(o.x) * o.x + double(o.y) * o.y + (double(o.z) + 36.0) * (double(o.z) + 36.0));
}

struct KxFlight {
    KxFlight()
    {
        KxScene::SetAngle(1.0f);
        EXPECT_TRUE(scene.SetupOffscreen() && reference.SetupOffscreen());
        reference.HoldKeys("SAX");  // behind, left and below
        for (int i = 0; i < 150; ++i)
            reference.HandleKeys();
        reference.HoldKeys("");
        EXPECT_GE(DistanceFromEye(reference), kOutOfSight);
    }

    // Frames of both scenes at the same angle, the keys held for the scene
    // under test only.
    void Fly(const char* keys, int frames)
    {
        scene.HoldKeys(keys);
        for (int i = 0; i < frames && !::testing::Test::HasFailure(); ++i) {
            const float angle = KxScene::GetAngle();
            reference.Frame();
            KxScene::SetAngle(angle);
            scene.Frame();
            Check();
        }
    }

    void Check()
    {
        const KxSoftwareRenderDevice& test = *scene.GetDevice();
        const KxSoftwareRenderDevice& ref = *reference.GetDevice();
        int nFirstPyramid = 0, nLost = 0;
        for (int32_t y = 0; y < ref.GetHeight(); ++y) {
            for (int32_t x = 0; x < ref.GetWidth(); ++x) {
                nFirstPyramid += ref.GetDepth(x, y) < 65535u;
                nLost += test.GetDepth(x, y) > ref.GetDepth(x, y);
            }
        }
        const KxVector3& o = scene.GetOffset();
        SCOPED_TRACE("offset " + std::to_string(o.x) + ", " + std::to_string(o.y) + ", " + std::to_string(o.z));
        EXPECT_GT(nFirstPyramid, 1000) << "the first pyramid is not on screen";
        EXPECT_EQ(nLost, 0) << "pixels of the first pyramid went missing";
        if (DistanceFromEye(scene) >= kOutOfSight) {
            ++nOutOfSight;
            EXPECT_EQ(std::memcmp(test.GetPixels(), ref.GetPixels(), size_t(ref.GetRowStride()) * ref.GetHeight()), 0)
                << "the frame differs from the first pyramid's alone";
        }
    }

    KxScene scene, reference;
    int nOutOfSight = 0;
};

}  // namespace

TEST(HostileGeometry, EveryKeyCarriesTheSecondPyramidOutOfSight)
{
    for (const char* key : {"W", "S", "A", "D", "Z", "X"}) {
        SCOPED_TRACE(key);
        KxFlight flight;
        flight.Fly(key, 300);
        EXPECT_GE(DistanceFromEye(flight.scene), kOutOfSight);
        EXPECT_GE(flight.nOutOfSight, 50);
    }
}

// Straight into the eye, then sideways through it and away, and from the eye
// backwards behind the camera.
TEST(HostileGeometry, ThroughTheCameraAndBehindIt)
{
    KxFlight flight;
    flight.Fly("S", 51);
    flight.Fly("A", 10);
    flight.Fly("X", 5);
    ASSERT_EQ(DistanceFromEye(flight.scene), 0.0);  // the centre sits on the eye
    flight.Fly("A", 250);
    EXPECT_GE(DistanceFromEye(flight.scene), kOutOfSight);
    flight.Fly("D", 250);  // back to the eye
    flight.Fly("S", 250);  // and out behind the camera
    EXPECT_GE(DistanceFromEye(flight.scene), kOutOfSight);
    EXPECT_GT(flight.nOutOfSight, 0);
}
