// Vectors, colours, points and planes: sums of products formed in
// double and rounded once, reciprocals rounded before they are used.
#include <gtest/gtest.h>

#include <cmath>

#include "math/kxpoint4.h"
#include "tests/math/kxfloats.h"

TEST(Vector3, RoundingPointsAndKnownResults)
{
    const float a = 1.0f + 1.0f / 4096.0f;
    const float r = float(1.0 / 5.0);
    const struct {
        KxFloats actual, expected;
        float tolerance = 0.0f;
    } cases[] = {
        // In float 1e8 + 1 would round back to 1e8 and lose the 1.
        {{KxVector3(1e8f, 1, -1e8f).Dot(KxVector3(1, 1, 1))}, {1.0f}},
        // (1 + 2^-12)^2 is exact in double, not in float.
        {{KxVector3(0, a, 1).Cross(KxVector3(0, 1.0f + 1.0f / 2048.0f, a)).x}, {1.0f / 16777216.0f}},
        {Floats(KxVector3(1, 0, 0).Cross(KxVector3(0, 1, 0))), {0, 0, 1}},
        // 5 x float(1/3), not 5 / 3 (1.66666663).
        {Floats(KxVector3(5, 4, 6) / 3.0f), {1.66666675f, 4 * float(1.0 / 3.0), 2}},
        // A cross product of length 1e-6 or less gives no direction.
        {Floats(KxVector3(1, 2, 3).NormalizedCross(KxVector3(2, 4, 6))), {0, 0, 0}},
        {Floats(KxVector3(0.000001f, 0, 0).NormalizedCross(KxVector3(0, 1, 0))), {0, 0, 0}},
        {Floats(KxVector3(0.0000011f, 0, 0).NormalizedCross(KxVector3(0, 1, 0))), {0, 0, 1}, 1e-6f},
        // Planes: the edge order decides the side; not normalised; the
        // normalised one scales by the rounded reciprocal.
        {Floats(KxPlane(KxVector3(0, 0, 0), KxVector3(1, 0, 0), KxVector3(0, 1, 0))), {0, 0, 1, 0}},
        {Floats(KxPlane(KxVector3(0, 0, 2), KxVector3(1, 1, 3))), {0, 0, 2, -6}},
        {Floats(KxPlane(0, 3, 4, 10).Normalized()), {0, 3 * r, 4 * r, 10 * r}},
        {{KxPlane(2, 3, 4, 5).EvaluatePoint(KxVector3(1, 2, 3)), KxPlane(2, 3, 4, 5).EvaluateDirection(KxVector3(1, 2, 3))},
         {25, 20}},
        {Floats(KxPlane(0, 0, 1, -2).IntersectLine(KxVector3(1, 1, 0), KxVector3(2, 3, 1))), {3, 5, 2}},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_TRUE(Near(cases[i].actual, cases[i].expected, cases[i].tolerance)) << "case " << i;
    for (float f : Floats(KxVector3(0, 0, 0).Normalized()))
        EXPECT_TRUE(std::isnan(f));
    const KxPlane collinear(KxVector3(1, 2, 3), KxVector3(3, 2, 1), KxVector3(2, 2, 2));
    for (float f : Floats(collinear))
        EXPECT_FALSE(std::isfinite(f));
}

TEST(Color, AddClampedLimitsAboveOnlyAndTheOthersKeepAlpha)
{
    KxColor c(0.75f, 0.5f, 0.0f, 1.0f);
    const KxColor copy = c.AddClamped(KxColor(0.5f, 0.25f, -0.5f, 1.0f));
    EXPECT_EQ(Floats(c), (KxFloats{1.0f, 0.75f, -0.5f, 1.0f}));
    EXPECT_EQ(Floats(copy), Floats(c));
    const KxColor d(0.5f, 0.25f, 1.0f, 0.5f);
    EXPECT_EQ(Floats(d.Scale(2.0f)), (KxFloats{1.0f, 0.5f, 2.0f, 1.0f}));
    EXPECT_EQ(Floats(d.Modulate(KxColor(2.0f, 4.0f, 0.5f, 4.0f))), (KxFloats{1.0f, 1.0f, 0.5f, 2.0f}));
    EXPECT_EQ(Floats(d.Add(KxColor(1, 1, 1, 1))), (KxFloats{1.5f, 1.25f, 2.0f, 1.5f}));  // not limited
}

TEST(Point4, IndexOutOfRangeIsReportedAndReadsTheNearestComponent)
{
    const KxAssertReporter previous = KxSetAssertReporter([](const char*, const char*) {});
    const KxPoint4 p(1, 2, 3, 4);
    const unsigned long before = KxAssertFailureCount();
    EXPECT_EQ(p.GetX() + p.GetW(), 5.0f);
    EXPECT_EQ(KxAssertFailureCount(), before);
    EXPECT_EQ(p[-1] + 10.0f * p[4], 41.0f);
    EXPECT_EQ(KxAssertFailureCount(), before + 2);
    KxSetAssertReporter(previous);
}
