#include <gtest/gtest.h>

#include <cmath>

#include "tests/math/kxfloats.h"

namespace {

const float kHalfPi = 1.5707964f;

KxQuaternion AboutZ(float angle)
{
    KxQuaternion q;
    q.SetRotationZ(angle);
    return q;
}

}  // namespace

TEST(Quaternion, KnownResults)
{
    const KxQuaternion q(1, 2, 3, 4);
    KxQuaternion n(0, 3, 0, 4), i(0, 1, 0, 0), unit(0, 0, 1, 0), half(0.5f, 0.5f, 0, 0);
    n.Normalize();
    i *= KxQuaternion(0, 0, 1, 0);
    unit.NormalizeFast();  // squared length 1: one approximation step
    half.NormalizeFast();  // squared length 0.5: all three
    KxMatrix4 m;
    KxQuaternion fromMatrix, fromAxis, halfTurn;
    fromMatrix.SetFromMatrix(m.SetRotationZ(1.0f));
    fromAxis.SetFromMatrix(m.SetRotationAxis(1.0f, 1.0f / 3, 2.0f / 3, 2.0f / 3));
    halfTurn.SetFromMatrix(m.SetScaling(1, -1, -1));  // trace -1: the other branch
    const struct {
        KxQuaternion actual;
        KxFloats expected;
        float tolerance = 0.0f;
    } cases[] = {
        {q.Conjugate(), {1, -2, -3, -4}},
        {n, {0, 3 * 0.2f, 0, 4 * 0.2f}},
        {i, {0, 0, 0, 1}},  // i j = k
        {KxQuaternion(0, 0, 1, 0) * KxQuaternion(0, 0, 0, 1), {0, 1, 0, 0}},  // j k = i
        {AboutZ(0.5f) * AboutZ(0.25f), Floats(AboutZ(0.75f)), 1e-7f},
        {KxQuaternion(kHalfPi, KxVector3(0, 0, 1)), {0.70710677f, 0, 0, 0.70710677f}},
        {unit, {0, 0, 0.99963713f, 0}},
        {KxQuaternion::Slerp(0.0f, KxQuaternion(1, 0, 0, 0), i), {0.99963713f, 0, 0, 0}},
        {KxQuaternion::Slerp(1.0f, KxQuaternion(1, 0, 0, 0), KxQuaternion(0, 1, 0, 0)), {0, 0.99963713f, 0, 0}},
        {KxQuaternion::Slerp(0.5f, KxQuaternion(1, 0, 0, 0), KxQuaternion(0, 1, 0, 0)),
         {0.70710677f, 0.70710677f, 0, 0}, 1e-3f},
        {KxQuaternion::Exp(KxQuaternion(0, 0, 0, 0)), {1, 0, 0, 0}},
        {KxQuaternion::Exp(KxQuaternion::Log(KxQuaternion(0.8f, KxVector3(0, 1, 0)))),
         Floats(KxQuaternion(0.8f, KxVector3(0, 1, 0))), 1e-6f},
        // A rotation matrix gives the conjugate of its quaternion.
        {fromMatrix, {std::cos(0.5f), 0, 0, -std::sin(0.5f)}, 1e-6f},
        {fromAxis, {std::cos(0.5f), -std::sin(0.5f) / 3, -std::sin(0.5f) * 2 / 3, -std::sin(0.5f) * 2 / 3}, 1e-6f},
        {halfTurn, {0, 1, 0, 0}},
    };
    for (size_t c = 0; c < std::size(cases); ++c)
        EXPECT_TRUE(Near(Floats(cases[c].actual), cases[c].expected, cases[c].tolerance)) << "case " << c;
    EXPECT_EQ(q.Dot(q), 30.0f);
    EXPECT_NEAR(half.Dot(half), 1.0f, 2e-3f);
    EXPECT_EQ(&q.x + 3, &q.w);  // stored x, y, z, w
}
