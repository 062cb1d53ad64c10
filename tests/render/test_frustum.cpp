// The view volume's planes and the sphere and vertex tests on them: the
// pipeline reference shares them.
#include <gtest/gtest.h>

#include <algorithm>
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

    const KxVector3 middle(0, 0, 0.5f), onPlane(1, 0, 0.5f), outside(2, 2, 2);
    EXPECT_TRUE(identity.ContainsAnyVertex(outside, outside, middle));
    EXPECT_FALSE(identity.ContainsAnyVertex(outside, onPlane, outside));  // strictly inside only
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
