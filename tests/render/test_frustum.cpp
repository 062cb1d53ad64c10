// The view volume's planes and the sphere and vertex tests on them: the
// pipeline reference shares them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "render/kxfrustum.h"

TEST(Frustum, ClassifiesSpheresAndVertices)
{
    KxMatrix4 view, projection;
    view.SetLookAtLeftHanded(KxVector3(0, 0, -5), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    projection.SetPerspectiveLeftHanded(0.7853982f, 4.0f / 3.0f, 1.0f, 100.0f);
    KxFrustum identity, camera;
    identity.Build(KxMatrix4::Identity(), KxMatrix4::Identity());  // x, y in -1..1, z in 0..1
    camera.Build(view, projection);
    const struct {
        const KxFrustum& f;
        KxVector3 centre;
        float radius;
        int side;
    } cases[] = {
        {identity, {0, 0, 0.5f}, 0.25f, KxFrustum::Inside},
        {identity, {0, 0, 0.5f}, 0.5f, KxFrustum::Inside},  // touching is not crossing
        {identity, {0, 0, 0.5f}, 0.50000006f, KxFrustum::Intersecting},
        {identity, {3, 0, 0.5f}, 0.5f, KxFrustum::Outside},
        {identity, {3, 1, 0.5f}, 0.1f, KxFrustum::Intersecting},  // across the top plane's extension
        {camera, {0, 0, 0}, 1.0f, KxFrustum::Inside},
        {camera, {0, 0, -10}, 1.0f, KxFrustum::Outside},  // behind the eye
        {camera, {0, 0, 200}, 1.0f, KxFrustum::Outside},  // beyond far
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.f.ClassifySphere(c.centre, c.radius), c.side) << &c - cases;

}

TEST(Frustum, ExcludesTrianglesOutsideOneAndTheSamePlane)
{
    KxFrustum box;  // x, y in -1..1, z in 0..1
    box.Build(KxMatrix4::Identity(), KxMatrix4::Identity());
    const float nan = std::nanf("");
    const struct {
        const char* name;
        KxVector3 p0, p1, p2;
        bool bExcluded;
    } cases[] = {
        {"inside", {0, 0, 0.5f}, {0.5f, 0, 0.5f}, {0, 0.5f, 0.5f}, false},
        {"one vertex inside", {5, 5, 5}, {-5, 5, 5}, {0, 0, 0.5f}, false},
        {"all right of the right plane", {2, 0, 0.5f}, {3, 9, 0.5f}, {2, -9, 3}, true},
        {"all behind the near plane", {0, 0, -1}, {9, 9, -2}, {-9, -9, -1}, true},
        {"outside, each vertex beyond another plane, across the volume", {-5, -0.5f, 0.5f}, {5, -0.5f, 0.5f},
         {0, 5, 0.5f}, false},
        {"corners behind and beside the eye, middle in view", {-3, 0, -1}, {3, 0, -1}, {0, 0, 3}, false},
        {"on the right plane counts as outside it", {1, 0, 0.5f}, {1, 0.5f, 0.5f}, {2, 0, 0.5f}, true},
        {"one vertex just inside the right plane", {0.99f, 0, 0.5f}, {1, 0.5f, 0.5f}, {2, 0, 0.5f}, false},
        {"NaN is outside no plane", {nan, 0, 0.5f}, {2, 0, 0.5f}, {3, 1, 0.5f}, false},
        {"NaN beside two outside the same plane", {nan, nan, nan}, {2, 0, 0.5f}, {3, 1, 0.5f}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(box.ExcludesTriangle(c.p0, c.p1, c.p2), c.bExcluded) << c.name;

    // A plane that is not finite (a projection whose far plane the float
    // inverse puts at infinity) culls nothing; the others still do.
    box.planes[3] = KxPlane(nan, nan, nan, nan);
    EXPECT_FALSE(box.ExcludesTriangle({0, 0, 5}, {0.5f, 0, 6}, {0, 0.5f, 7}));
    EXPECT_TRUE(box.ExcludesTriangle({2, 0, 5}, {3, 0, 6}, {2, 0.5f, 7}));
}

TEST(Frustum, DistancesAreRoundedToFloatBeforeTheRadiusTest)
{
    // A box 4 wide: this centre lies 2 - 2^-30 from the right plane, below
    // the radius 2 in double but equal to it once rounded to float, so the
    // sphere touches that plane and stays inside.
    KxFrustum f;
    const KxPlane planes[6] = {{0, 1, 0, -4},  {0, -1, 0, -4}, {0, 0, -1, -4},
                               {0, 0, 1, -4}, {-1, 0, 0, -4}, {1, 0, 0, -2}};
    std::copy(std::begin(planes), std::end(planes), f.planes);
    const KxVector3 centre(0x1p-30f, 0.0f, 0.0f);
    EXPECT_EQ(f.ClassifySphere(centre, 2.0f), KxFrustum::Inside);
    EXPECT_EQ(f.ClassifySphere(centre, 2.0000002f), KxFrustum::Intersecting);
}
