#include <gtest/gtest.h>

#include <cmath>

#include "math/kxquaternion.h"

namespace {

const float kHalfPi = 1.5707964f;

void ExpectQuaternion(const KxQuaternion& q, float w, float x, float y, float z)
{
    EXPECT_EQ(q.w, w);
    EXPECT_EQ(q.x, x);
    EXPECT_EQ(q.y, y);
    EXPECT_EQ(q.z, z);
}

}  // namespace

TEST(Quaternion, StorageOrderIsXYZW)
{
    const KxQuaternion q(4, 1, 2, 3);
    const float* f = &q.x;
    EXPECT_EQ(f[0], 1.0f);
    EXPECT_EQ(f[3], 4.0f);
    ExpectQuaternion(KxQuaternion::Identity, 1, 0, 0, 0);
}

TEST(Quaternion, FromAxisAngleMatchesTheMatrixBuilder)
{
    const KxQuaternion q(kHalfPi, KxVector3(0, 0, 1));
    ExpectQuaternion(q, 0.70710677f, 0, 0, 0.70710677f);
    KxMatrix4 fromQuaternion = KxMatrix4::Identity(), expected;
    q.ToMatrix(fromQuaternion);
    expected.SetRotationZ(kHalfPi);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(fromQuaternion.m[r][c], expected.m[r][c], 1e-7f);

    KxQuaternion z;
    z.SetRotationZ(kHalfPi);
    ExpectQuaternion(z, q.w, 0, 0, q.z);
}

TEST(Quaternion, ToAxisAngle)
{
    float angle = 0;
    KxVector3 axis;
    KxQuaternion(kHalfPi, KxVector3(0, 0, 1)).ToAxisAngle(angle, axis);
    EXPECT_FLOAT_EQ(angle, kHalfPi);
    EXPECT_EQ(axis.x, 0.0f);
    EXPECT_FLOAT_EQ(axis.z, 1.0f);
    KxQuaternion::Identity.ToAxisAngle(angle, axis);
    EXPECT_EQ(angle, 0.0f);
    EXPECT_FALSE(std::isfinite(axis.x));
    KxQuaternion(-1.5f, 0, 0, 1).ToAxisAngle(angle, axis);
    EXPECT_EQ(angle, float(2.0 * 3.1415927f));  // clamped arc cosine
}

TEST(Quaternion, HamiltonProductComposesRotations)
{
    KxQuaternion a, b;
    a.SetRotationZ(0.5f);
    b.SetRotationZ(0.25f);
    const KxQuaternion c = a * b;
    KxQuaternion expected;
    expected.SetRotationZ(0.75f);
    EXPECT_NEAR(c.w, expected.w, 1e-7f);
    EXPECT_NEAR(c.z, expected.z, 1e-7f);
    // i * j = k
    ExpectQuaternion(KxQuaternion(0, 1, 0, 0) * KxQuaternion(0, 0, 1, 0), 0, 0, 0, 1);
    KxQuaternion i(0, 1, 0, 0);
    i *= KxQuaternion(0, 0, 1, 0);
    ExpectQuaternion(i, 0, 0, 0, 1);
}

TEST(Quaternion, ArithmeticAndConjugate)
{
    const KxQuaternion q(1, 2, 3, 4);
    ExpectQuaternion(q + q, 2, 4, 6, 8);
    ExpectQuaternion(q - q, 0, 0, 0, 0);
    ExpectQuaternion(-q, -1, -2, -3, -4);
    ExpectQuaternion(q * 0.5f, 0.5f, 1, 1.5f, 2);
    ExpectQuaternion(q.Conjugate(), 1, -2, -3, -4);
    EXPECT_EQ(q.Dot(q), 30.0f);
    KxQuaternion n(0, 3, 0, 4);
    n.Normalize();
    ExpectQuaternion(n, 0, 3 * 0.2f, 0, 4 * 0.2f);
}

TEST(Quaternion, SlerpEndPointsPassThroughOneApproximationStep)
{
    const KxQuaternion q1(1, 0, 0, 0);
    const KxQuaternion q2(0, 1, 0, 0);
    ExpectQuaternion(KxQuaternion::Slerp(0.0f, q1, q2), 0.99963713f, 0, 0, 0);
    ExpectQuaternion(KxQuaternion::Slerp(1.0f, q1, q2), 0, 0.99963713f, 0, 0);
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
    // Squared length 0.5 takes all three steps and lands close to unit length.
    KxQuaternion half(0.5f, 0.5f, 0, 0);
    half.NormalizeFast();
    EXPECT_NEAR(half.Dot(half), 1.0f, 2e-3f);
    // Squared length 0.8 takes two steps only.
    const float s = std::sqrt(0.8f);
    KxQuaternion two(s, 0, 0, 0);
    two.NormalizeFast();
    EXPECT_NEAR(two.w * two.w, 1.0f, 2e-3f);
}

TEST(Quaternion, ExpAndLog)
{
    ExpectQuaternion(KxQuaternion::Exp(KxQuaternion(0, 0, 0, 0)), 1, 0, 0, 0);
    ExpectQuaternion(KxQuaternion::Log(KxQuaternion(1, 0, 0, 0)), 0, 0, 0, 0);
    const KxQuaternion q(0.8f, KxVector3(0, 1, 0));
    const KxQuaternion roundTrip = KxQuaternion::Exp(KxQuaternion::Log(q));
    EXPECT_NEAR(roundTrip.w, q.w, 1e-6f);
    EXPECT_NEAR(roundTrip.y, q.y, 1e-6f);
}

TEST(Quaternion, SetFromMatrixGivesTheConjugate)
{
    for (float theta : {0.1f, 1.0f, 2.0f}) {
        KxMatrix4 m;
        m.SetRotationZ(theta);
        KxQuaternion q;
        q.SetFromMatrix(m);
        EXPECT_NEAR(q.w, std::cos(theta / 2), 1e-6f);
        EXPECT_NEAR(q.z, -std::sin(theta / 2), 1e-6f);
        EXPECT_EQ(q.x, 0.0f);
        EXPECT_EQ(q.y, 0.0f);
    }
    // A half turn has trace -1 and takes the other branch.
    KxMatrix4 halfTurn;
    halfTurn.SetScaling(1, -1, -1);
    KxQuaternion q;
    q.SetFromMatrix(halfTurn);
    ExpectQuaternion(q, 0, 1, 0, 0);
}

TEST(Quaternion, SquadAtTheEndsReturnsTheKeys)
{
    KxQuaternion q1, q2;
    q1.SetRotationY(0.2f);
    q2.SetRotationY(0.6f);
    const KxQuaternion a = KxQuaternion::SquadControlPoint(q1, q1, q2);
    const KxQuaternion b = KxQuaternion::SquadControlPoint(q1, q2, q2);
    const KxQuaternion start = KxQuaternion::Squad(0.0f, q1, a, b, q2);
    EXPECT_NEAR(start.y, q1.y, 2e-3f);
    const KxQuaternion end = KxQuaternion::Squad(1.0f, q1, a, b, q2);
    EXPECT_NEAR(end.y, q2.y, 2e-3f);
}
