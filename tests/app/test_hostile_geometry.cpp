// The movement keys fly the second pyramid anywhere: into the camera,
// behind it, far away. Every frame must complete, the first pyramid must keep
// all its pixels, and once the second one is out of sight the frame must be
// exactly the first pyramid's.
//
// The reference is a second scene whose own second pyramid is parked far
// behind the camera; both scenes render each frame at the same angle.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "app/kxscene.h"
#include "platform/kxkeyhook.h"
#include "tests/render/kxtestdevice.h"

namespace {

constexpr uint32_t kFarDepth = 65535;
// Beyond this distance from the eye the second pyramid is past the far plane
// (110) by more than its bounding radius, whatever the direction.
constexpr double kOutOfSight = 200.0;

class HostileGeometry : public ::testing::Test {
protected:
    void SetUp() override
    {
        KxScene::SetAngle(1.0f);
        scene.Setup(window.hWnd);
        reference.Setup(window.hWnd);
        // Park the reference's second pyramid out of sight: behind, left and below.
        for (int key : {'S', 'A', 'X'})
            KxHoldKey(key, true);
        for (int i = 0; i < 150; ++i)
            reference.HandleKeys();
        KxReleaseAllKeys();
        ASSERT_GE(DistanceFromEye(reference), kOutOfSight);
    }

    void TearDown() override { KxReleaseAllKeys(); }

    static double DistanceFromEye(const KxScene& s)
    {
        // The second pyramid's centre is the offset moved 24 along z; the eye is at z = -12.
        const KxVector3& o = s.GetOffset();
        return std::sqrt(double(o.x) * o.x + double(o.y) * o.y + (double(o.z) + 36.0) * (double(o.z) + 36.0));
    }

    // One frame of both scenes at the same angle, the keys held only for the
    // scene under test; then the checks.
    void Frame(const std::vector<int>& keys)
    {
        const float angle = KxScene::GetAngle();
        KxReleaseAllKeys();
        reference.Frame();
        KxScene::SetAngle(angle);
        for (int key : keys)
            KxHoldKey(key, true);
        scene.Frame();
        KxReleaseAllKeys();
        ++nFrames;
        CheckFrame();
    }

    void CheckFrame()
    {
        const KxSoftwareRenderDevice& test = *scene.GetDevice();
        const KxSoftwareRenderDevice& ref = *reference.GetDevice();
        int nFirstPyramid = 0;
        int nLost = 0;
        for (int32_t y = 0; y < ref.GetHeight(); ++y) {
            for (int32_t x = 0; x < ref.GetWidth(); ++x) {
                const uint32_t refDepth = ref.GetDepth(x, y);
                nFirstPyramid += refDepth < kFarDepth;
                nLost += test.GetDepth(x, y) > refDepth;
            }
        }
        ASSERT_GT(nFirstPyramid, 1000) << "frame " << nFrames << ": the first pyramid is not on screen";
        ASSERT_EQ(nLost, 0) << "frame " << nFrames << " at offset " << Offset()
                            << ": pixels of the first pyramid went missing";
        if (DistanceFromEye(scene) >= kOutOfSight) {
            ++nOutOfSight;
            const size_t bytes = size_t(ref.GetRowStride()) * size_t(ref.GetHeight());
            ASSERT_EQ(std::memcmp(test.GetPixels(), ref.GetPixels(), bytes), 0)
                << "frame " << nFrames << " at offset " << Offset() << " differs from the first pyramid alone";
        }
    }

    std::string Offset() const
    {
        const KxVector3& o = scene.GetOffset();
        return "(" + std::to_string(o.x) + ", " + std::to_string(o.y) + ", " + std::to_string(o.z) + ")";
    }

    void Fly(const std::vector<int>& keys, int frames)
    {
        for (int i = 0; i < frames && !HasFatalFailure(); ++i)
            Frame(keys);
    }

    KxTestWindow window{640, 480};
    KxScene scene;
    KxScene reference;
    int nFrames = 0;
    int nOutOfSight = 0;
};

}  // namespace

class HostileKey : public HostileGeometry, public ::testing::WithParamInterface<char> {};

// One key held for long enough to carry the pyramid 300 units away.
TEST_P(HostileKey, CarriesTheSecondPyramidOutOfSight)
{
    Fly({GetParam()}, 300);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_GE(DistanceFromEye(scene), kOutOfSight);
    EXPECT_GE(nOutOfSight, 50);
}

INSTANTIATE_TEST_SUITE_P(MovementKeys, HostileKey, ::testing::Values('W', 'S', 'A', 'D', 'Z', 'X'),
                         [](const ::testing::TestParamInfo<char>& info) { return std::string(1, info.param); });

// Straight into the eye, then sideways through it and away, and from the eye
// backwards behind the camera.
TEST_F(HostileGeometry, ThroughTheCameraAndBehindIt)
{
    Fly({'S'}, 51);
    Fly({'A'}, 10);
    Fly({'X'}, 5);
    ASSERT_EQ(DistanceFromEye(scene), 0.0) << Offset();  // the centre sits on the eye
    Fly({'A'}, 250);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_GE(DistanceFromEye(scene), kOutOfSight);

    Fly({'D'}, 250);  // back to the eye
    Fly({'S'}, 250);  // and out behind the camera
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_GE(DistanceFromEye(scene), kOutOfSight);
    EXPECT_GT(nOutOfSight, 0);
}
