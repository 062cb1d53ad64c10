#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

#include "math/kxcolor.h"
#include "math/kxpoint4.h"
#include "math/kxvector3.h"

namespace {

std::array<float, 3> Xyz(const KxVector3& v)
{
    return {v.x, v.y, v.z};
}

std::array<float, 4> Rgba(const KxColor& c)
{
    return {c.r, c.g, c.b, c.a};
}

}  // namespace

TEST(Vector3, CrossFollowsTheRightHandRule)
{
    EXPECT_EQ(Xyz(KxVector3(1, 0, 0).Cross(KxVector3(0, 1, 0))), (std::array<float, 3>{0, 0, 1}));
    EXPECT_EQ(Xyz(KxVector3(0, 1, 0).Cross(KxVector3(0, 0, 1))), (std::array<float, 3>{1, 0, 0}));
}

TEST(Vector3, DotAndCrossWorkInDoubleBeforeRounding)
{
    // In float, 1e8 + 1 rounds back to 1e8 and the 1 is lost.
    EXPECT_EQ(KxVector3(1e8f, 1, -1e8f).Dot(KxVector3(1, 1, 1)), 1.0f);
    // y*bz = (1 + 2^-12)^2 = 1 + 2^-11 + 2^-24: exact in double, not in float.
    const float a = 1.0f + 1.0f / 4096.0f;
    EXPECT_EQ(KxVector3(0, a, 1).Cross(KxVector3(0, 1.0f + 1.0f / 2048.0f, a)).x, 1.0f / 16777216.0f);
}

TEST(Vector3, DivisionMultipliesByTheRoundedReciprocal)
{
    EXPECT_EQ(Xyz(KxVector3(2, 4, 6) / 2.0f), (std::array<float, 3>{1, 2, 3}));
    // The reciprocal is rounded before the product: 5 x float(1/3) rounds to
    // 1.66666675, where 5 / 3 would round to 1.66666663.
    EXPECT_EQ((KxVector3(5, 0, 0) / 3.0f).x, 1.66666675f);
}

TEST(Vector3, LengthAndNormalized)
{
    EXPECT_EQ(KxVector3(3, 4, 12).Length(), 13.0f);
    EXPECT_EQ(Xyz(KxVector3(0, 0, 12).Normalized()), (std::array<float, 3>{0, 0, 1}));
    const KxVector3 zero = KxVector3(0, 0, 0).Normalized();
    EXPECT_TRUE(std::isnan(zero.x) && std::isnan(zero.y) && std::isnan(zero.z));
}

TEST(Vector3, NormalizedCrossIsZeroAtOrBelowTheThreshold)
{
    EXPECT_EQ(Xyz(KxVector3(1, 2, 3).NormalizedCross(KxVector3(2, 4, 6))), (std::array<float, 3>{0, 0, 0}));
    // |c| = 1e-6 exactly (as a float) is not above the threshold.
    EXPECT_EQ(Xyz(KxVector3(0.000001f, 0, 0).NormalizedCross(KxVector3(0, 1, 0))), (std::array<float, 3>{0, 0, 0}));
    const KxVector3 above = KxVector3(0.0000011f, 0, 0).NormalizedCross(KxVector3(0, 1, 0));
    EXPECT_EQ(above.x, 0.0f);
    EXPECT_EQ(above.y, 0.0f);
    EXPECT_NEAR(above.z, 1.0f, 1e-6f);
}

TEST(Color, AddClampedLimitsAboveOnlyAndTheOthersKeepAlpha)
{
    KxColor c(0.75f, 0.5f, 0.0f, 1.0f);
    const KxColor copy = c.AddClamped(KxColor(0.5f, 0.25f, -0.5f, 1.0f));
    EXPECT_EQ(Rgba(c), (std::array<float, 4>{1.0f, 0.75f, -0.5f, 1.0f}));
    EXPECT_EQ(Rgba(copy), Rgba(c));

    const KxColor d(0.5f, 0.25f, 1.0f, 0.5f);
    EXPECT_EQ(Rgba(d.Scale(2.0f)), (std::array<float, 4>{1.0f, 0.5f, 2.0f, 1.0f}));
    EXPECT_EQ(Rgba(d.Modulate(KxColor(2.0f, 4.0f, 0.5f, 4.0f))), (std::array<float, 4>{1.0f, 1.0f, 0.5f, 2.0f}));
    EXPECT_EQ(Rgba(d.Add(KxColor(1, 1, 1, 1))), (std::array<float, 4>{1.5f, 1.25f, 2.0f, 1.5f}));  // not limited
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
