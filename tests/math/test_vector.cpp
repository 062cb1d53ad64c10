#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "math/kxcolor.h"
#include "math/kxpoint4.h"
#include "math/kxvector3.h"

namespace {

void ExpectVector(const KxVector3& v, float x, float y, float z)
{
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

}  // namespace

TEST(Vector3, CrossFollowsTheRightHandRule)
{
    ExpectVector(KxVector3(1, 0, 0).Cross(KxVector3(0, 1, 0)), 0, 0, 1);
    ExpectVector(KxVector3(0, 1, 0).Cross(KxVector3(0, 0, 1)), 1, 0, 0);
}

TEST(Vector3, DotSumsInDoubleBeforeRounding)
{
    // In float, 1e8 + 1 rounds back to 1e8 and the 1 is lost.
    EXPECT_EQ(KxVector3(1e8f, 1, -1e8f).Dot(KxVector3(1, 1, 1)), 1.0f);
}

TEST(Vector3, CrossSubtractsInDoubleBeforeRounding)
{
    // y*bz = (1 + 2^-12)^2 = 1 + 2^-11 + 2^-24: exact in double, not in float.
    const float a = 1.0f + 1.0f / 4096.0f;
    const KxVector3 c = KxVector3(0, a, 1).Cross(KxVector3(0, 1.0f + 1.0f / 2048.0f, a));
    EXPECT_EQ(c.x, 1.0f / 16777216.0f);
}

TEST(Vector3, DivisionMultipliesByTheRoundedReciprocal)
{
    ExpectVector(KxVector3(2, 4, 6) / 2.0f, 1, 2, 3);
    // 3 * float(1/3) is not 1: the reciprocal is rounded before the product.
    EXPECT_EQ((KxVector3(3, 0, 0) / 3.0f).x, 3.0f * float(1.0 / 3.0));
}

TEST(Vector3, LengthAndNormalized)
{
    EXPECT_EQ(KxVector3(3, 4, 12).Length(), 13.0f);
    const KxVector3 n = KxVector3(0, 0, 12).Normalized();
    ExpectVector(n, 0, 0, 1);
    const KxVector3 zero = KxVector3(0, 0, 0).Normalized();
    EXPECT_TRUE(std::isnan(zero.x) && std::isnan(zero.y) && std::isnan(zero.z));
}

TEST(Vector3, NormalizedCrossIsZeroAtOrBelowTheThreshold)
{
    ExpectVector(KxVector3(1, 2, 3).NormalizedCross(KxVector3(2, 4, 6)), 0, 0, 0);
    // |c| = 1e-6 exactly (as a float) is not above the threshold.
    ExpectVector(KxVector3(0.000001f, 0, 0).NormalizedCross(KxVector3(0, 1, 0)), 0, 0, 0);
    const KxVector3 above = KxVector3(0.0000011f, 0, 0).NormalizedCross(KxVector3(0, 1, 0));
    EXPECT_EQ(above.x, 0.0f);
    EXPECT_EQ(above.y, 0.0f);
    EXPECT_NEAR(above.z, 1.0f, 1e-6f);
}

TEST(Color, AddClampedLimitsAboveOnly)
{
    KxColor c(0.75f, 0.5f, 0.0f, 1.0f);
    const KxColor copy = c.AddClamped(KxColor(0.5f, 0.25f, -0.5f, 1.0f));
    EXPECT_EQ(c.r, 1.0f);
    EXPECT_EQ(c.g, 0.75f);
    EXPECT_EQ(c.b, -0.5f);
    EXPECT_EQ(c.a, 1.0f);
    EXPECT_EQ(std::memcmp(&c, &copy, sizeof(c)), 0);
}

TEST(Color, ScaleModulateAddKeepAlpha)
{
    const KxColor c(0.5f, 0.25f, 1.0f, 0.5f);
    const KxColor s = c.Scale(2.0f);
    EXPECT_EQ(s.a, 1.0f);
    const KxColor m = c.Modulate(KxColor(2.0f, 4.0f, 0.5f, 4.0f));
    EXPECT_EQ(m.g, 1.0f);
    EXPECT_EQ(m.a, 2.0f);
    const KxColor sum = c.Add(KxColor(1, 1, 1, 1));
    EXPECT_EQ(sum.b, 2.0f);  // not limited
}

namespace {

std::string lastExpression;
std::string lastSource;

void RecordAssertion(const char* expression, const char* source)
{
    lastExpression = expression;
    lastSource = source;
}

}  // namespace

TEST(Point4, IndexOutOfRangeIsReportedAndReadsTheNearestComponent)
{
    const KxAssertReporter previous = KxSetAssertReporter(RecordAssertion);
    const KxPoint4 p(1, 2, 3, 4);
    const unsigned long before = KxAssertFailureCount();

    EXPECT_EQ(p.GetX(), 1.0f);
    EXPECT_EQ(p.GetW(), 4.0f);
    EXPECT_EQ(KxAssertFailureCount(), before);

    EXPECT_EQ(p[-1], 1.0f);
    EXPECT_EQ(lastExpression, "i >= 0");
    EXPECT_EQ(lastSource, "kxpoint4");
    EXPECT_EQ(p[4], 4.0f);
    EXPECT_EQ(lastExpression, "i < 4");
    EXPECT_EQ(KxAssertFailureCount(), before + 2);
    KxSetAssertReporter(previous);
}

TEST(Point4, SettersChain)
{
    KxPoint4 p(0, 0, 0, 0);
    p.SetX(1).SetY(2).SetZ(3).SetW(4);
    EXPECT_EQ(p.GetY(), 2.0f);
    EXPECT_EQ(p.GetZ(), 3.0f);
}
