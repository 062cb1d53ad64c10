#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "math/kxquaternion.h"

namespace {

const float kHalfPi = 1.5707964f;

std::array<float, 4> Wxyz(const KxQuaternion& q)
{
    return {q.w, q.x, q.y, q.z};
}

}  // namespace

TEST(Quaternion, StorageOrderIsXyzwAndTheIdentityIsShared)
{
    const KxQuaternion q(4, 1, 2, 3);
    const float* f = &q.x;
    EXPECT_EQ((std::array<float, 4>{f[0], f[1], f[2], f[3]}), (std::array<float, 4>{1, 2, 3, 4}));
    EXPECT_EQ(Wxyz(KxQuaternion::Identity), (std::array<float, 4>{1, 0, 0, 0}));
}

TEST(Quaternion, AxisAngleMatrixAndBack)
{
    const KxQuaternion q(kHalfPi, KxVector3(0, 0, 1));
    EXPECT_EQ(Wxyz(q), (std::array<float, 4>{0.70710677f, 0, 0, 0.70710677f}));
    KxQuaternion z;
    z.SetRotationZ(kHalfPi);
    EXPECT_EQ(Wxyz(z), Wxyz(q));
    KxMatrix4 fromQuaternion = KxMatrix4::Identity(), expected;
    q.ToMatrix(fromQuaternion);
    expected.SetRotationZ(kHalfPi);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(fromQuaternion.m[i / 4][i % 4], expected.m[i / 4][i % 4], 1e-7f) << i;

    float angle = 0;
    KxVector3 axis;
    q.ToAxisAngle(angle, axis);
    EXPECT_FLOAT_EQ(angle, kHalfPi);
    EXPECT_EQ(axis.x, 0.0f);
    EXPECT_FLOAT_EQ(axis.z, 1.0f);
    KxQuaternion::Identity.ToAxisAngle(angle, axis);
    EXPECT_EQ(angle, 0.0f);
    EXPECT_FALSE(std::isfinite(axis.x));
    KxQuaternion(-1.5f, 0, 0, 1).ToAxisAngle(angle, axis);
    EXPECT_EQ(angle, float(2.0 * 3.1415927f));  // clamped arc cosine
}

TEST(Quaternion, ArithmeticHamiltonProductAndConjugate)
{
    const KxQuaternion q(1, 2, 3, 4);
    EXPECT_EQ(Wxyz(q + q), (std::array<float, 4>{2, 4, 6, 8}));
    EXPECT_EQ(Wxyz(q - q), (std::array<float, 4>{0, 0, 0, 0}));
    EXPECT_EQ(Wxyz(-q), (std::array<float, 4>{-1, -2, -3, -4}));
    EXPECT_EQ(Wxyz(q * 0.5f), (std::array<float, 4>{0.5f, 1, 1.5f, 2}));
    EXPECT_EQ(Wxyz(q.Conjugate()), (std::array<float, 4>{1, -2, -3, -4}));
    EXPECT_EQ(q.Dot(q), 30.0f);
    KxQuaternion n(0, 3, 0, 4);
    n.Normalize();
    EXPECT_EQ(Wxyz(n), (std::array<float, 4>{0, 3 * 0.2f, 0, 4 * 0.2f}));

    // i * j = k, j * k = i, and rotations about one axis compose.
    KxQuaternion i(0, 1, 0, 0);
    i *= KxQuaternion(0, 0, 1, 0);
    EXPECT_EQ(Wxyz(i), (std::array<float, 4>{0, 0, 0, 1}));
    EXPECT_EQ(Wxyz(KxQuaternion(0, 0, 1, 0) * KxQuaternion(0, 0, 0, 1)), (std::array<float, 4>{0, 1, 0, 0}));
    KxQuaternion a, b, expected;
    a.SetRotationZ(0.5f);
    b.SetRotationZ(0.25f);
    expected.SetRotationZ(0.75f);
    EXPECT_NEAR((a * b).w, expected.w, 1e-7f);
    EXPECT_NEAR((a * b).z, expected.z, 1e-7f);
}

TEST(Quaternion, SlerpEndPointsPassThroughOneApproximationStep)
{
    const KxQuaternion q1(1, 0, 0, 0), q2(0, 1, 0, 0);
    EXPECT_EQ(Wxyz(KxQuaternion::Slerp(0.0f, q1, q2)), (std::array<float, 4>{0.99963713f, 0, 0, 0}));
    EXPECT_EQ(Wxyz(KxQuaternion::Slerp(1.0f, q1, q2)), (std::array<float, 4>{0, 0.99963713f, 0, 0}));
    const KxQuaternion mid = KxQuaternion::Slerp(0.5f, q1, q2);
    EXPECT_EQ(mid.w, mid.x);
    EXPECT_NEAR(mid.w, 0.70710677f, 1e-3f);
}

TEST(Quaternion, NormalizeFastStepsByLength)
{
    // Squared length 1: one step of I(1).
    KxQuaternion unit(0, 0, 1, 0);
    unit.NormalizeFast();
    EXPECT_EQ(unit.y, 0.99963713f);
    // Squared length 0.5 takes all three steps and 0.8 two; both land close
    // to unit length.
    KxQuaternion half(0.5f, 0.5f, 0, 0), two(std::sqrt(0.8f), 0, 0, 0);
    half.NormalizeFast();
    two.NormalizeFast();
    EXPECT_NEAR(half.Dot(half), 1.0f, 2e-3f);
    EXPECT_NEAR(two.w * two.w, 1.0f, 2e-3f);
}

TEST(Quaternion, ExpAndLog)
{
    EXPECT_EQ(Wxyz(KxQuaternion::Exp(KxQuaternion(0, 0, 0, 0))), (std::array<float, 4>{1, 0, 0, 0}));
    EXPECT_EQ(Wxyz(KxQuaternion::Log(KxQuaternion(1, 0, 0, 0))), (std::array<float, 4>{0, 0, 0, 0}));
    const KxQuaternion q(0.8f, KxVector3(0, 1, 0));
    const KxQuaternion roundTrip = KxQuaternion::Exp(KxQuaternion::Log(q));
    EXPECT_NEAR(roundTrip.w, q.w, 1e-6f);
    EXPECT_NEAR(roundTrip.y, q.y, 1e-6f);
}

TEST(Quaternion, SetFromMatrixGivesTheConjugate)
{
    KxMatrix4 m;
    KxQuaternion q;
    for (float theta : {0.1f, 1.0f, 2.0f}) {
        q.SetFromMatrix(m.SetRotationZ(theta));
        EXPECT_NEAR(q.w, std::cos(theta / 2), 1e-6f);
        EXPECT_NEAR(q.z, -std::sin(theta / 2), 1e-6f);
        EXPECT_EQ(q.x, 0.0f);
        EXPECT_EQ(q.y, 0.0f);
    }
    // A half turn has trace -1 and takes the other branch.
    q.SetFromMatrix(m.SetScaling(1, -1, -1));
    EXPECT_EQ(Wxyz(q), (std::array<float, 4>{0, 1, 0, 0}));
}

TEST(Quaternion, SquadAtTheEndsReturnsTheKeys)
{
    KxQuaternion q1, q2;
    q1.SetRotationY(0.2f);
    q2.SetRotationY(0.6f);
    const KxQuaternion a = KxQuaternion::SquadControlPoint(q1, q1, q2);
    const KxQuaternion b = KxQuaternion::SquadControlPoint(q1, q2, q2);
    EXPECT_NEAR(KxQuaternion::Squad(0.0f, q1, a, b, q2).y, q1.y, 2e-3f);
    EXPECT_NEAR(KxQuaternion::Squad(1.0f, q1, a, b, q2).y, q2.y, 2e-3f);
}
