#include <gtest/gtest.h>

#include <cmath>

#include "math/kxplane.h"
#include "math/kxsphere.h"

TEST(Plane, EvaluatesPointsAndDirections)
{
    const KxPlane plane(2, 3, 4, 5);
    EXPECT_EQ(plane.EvaluatePoint(KxVector3(1, 2, 3)), 25.0f);
    EXPECT_EQ(plane.EvaluateDirection(KxVector3(1, 2, 3)), 20.0f);
}

TEST(Plane, Construction)
{
    // From points: the edge order decides the side; collinear points leave
    // no finite coefficient.
    const KxPlane plane(KxVector3(0, 0, 0), KxVector3(1, 0, 0), KxVector3(0, 1, 0));
    EXPECT_EQ(plane, KxPlane(0, 0, 1, 0));
    EXPECT_EQ(-KxPlane(KxVector3(0, 0, 0), KxVector3(0, 1, 0), KxVector3(1, 0, 0)), plane);
    const KxPlane collinear(KxVector3(1, 2, 3), KxVector3(3, 2, 1), KxVector3(2, 2, 2));
    for (float coefficient : {collinear.a, collinear.b, collinear.c, collinear.d})
        EXPECT_FALSE(std::isfinite(coefficient));
    // From a normal and a point: not normalised.
    EXPECT_EQ(KxPlane(KxVector3(0, 0, 2), KxVector3(1, 1, 3)), KxPlane(0, 0, 2, -6));
    // Normalising scales all four coefficients by the rounded reciprocal.
    const float r = float(1.0 / 5.0);
    EXPECT_EQ(KxPlane(0, 3, 4, 10).Normalized(), KxPlane(0, 3.0f * r, 4.0f * r, 10.0f * r));
}

TEST(Plane, IntersectLine)
{
    const KxVector3 hit = KxPlane(0, 0, 1, 0).IntersectLine(KxVector3(0, 0, -1), KxVector3(0, 0, 1));
    EXPECT_EQ(hit.x, 0.0f);
    EXPECT_EQ(hit.y, 0.0f);
    EXPECT_EQ(hit.z, 0.0f);
    const KxVector3 slanted = KxPlane(0, 0, 1, -2).IntersectLine(KxVector3(1, 1, 0), KxVector3(2, 3, 1));
    EXPECT_EQ(slanted.x, 3.0f);
    EXPECT_EQ(slanted.y, 5.0f);
    EXPECT_EQ(slanted.z, 2.0f);
}

TEST(PlaneAndSphere, TouchingIsNotIntersecting)
{
    const KxPlane plane(0, 0, 2, 0);  // not normalised
    EXPECT_FALSE(plane.IntersectsSphere(KxSphere(0, 0, 1, 1.0f)));
    EXPECT_TRUE(plane.IntersectsSphere(KxSphere(0, 0, 1, 1.5f)));
    EXPECT_TRUE(plane.IntersectsSphere(KxSphere(0, 0, -1, 1.5f)));
    EXPECT_FALSE(KxSphere(0, 0, 0, 1).Intersects(KxSphere(2, 0, 0, 1)));
    EXPECT_TRUE(KxSphere(0, 0, 0, 1).Intersects(KxSphere(2, 0, 0, 1.5f)));
    EXPECT_FALSE(KxSphere(0, 0, 0, 1).Intersects(KxSphere(0, 3, 0, 1.5f)));
}
