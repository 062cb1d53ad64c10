#include "render/kxfrustum.h"

#include <cmath>

namespace {

// The view volume in normalised device coordinates, z from 0 (near) to 1 (far).
const KxVector3 kDeviceCorners[8] = {
    KxVector3(-1.0f, -1.0f, 0.0f), KxVector3(1.0f, -1.0f, 0.0f),
    KxVector3(1.0f, -1.0f, 1.0f),  KxVector3(-1.0f, -1.0f, 1.0f),
    KxVector3(-1.0f, 1.0f, 0.0f),  KxVector3(1.0f, 1.0f, 0.0f),
    KxVector3(1.0f, 1.0f, 1.0f),   KxVector3(-1.0f, 1.0f, 1.0f),
};

// Corner triples of the planes top, bottom, near, far, left, right; their
// winding makes every normal point out of the volume.
const int kPlaneCorners[6][3] = {
    {4, 7, 6}, {0, 1, 2}, {0, 4, 5}, {2, 6, 7}, {0, 3, 7}, {1, 5, 6},
};

KxPlane PlaneThrough(const KxVector3& a, const KxVector3& b, const KxVector3& c)
{
    const KxVector3 normal = (b - a).Cross(c - a).Normalized();
    return KxPlane(normal.x, normal.y, normal.z, -normal.Dot(a));
}

double SignedDistance(const KxPlane& plane, const KxVector3& p)
{
    return double(plane.a) * p.x + double(plane.b) * p.y + double(plane.c) * p.z + double(plane.d);
}

}  // namespace

void KxFrustum::Build(const KxMatrix4& view, const KxMatrix4& projection)
{
    const KxMatrix4 inverse = (view * projection).Inverse();
    for (int i = 0; i < 8; ++i) {
        corners[i] = kDeviceCorners[i];
        corners[i].TransformPoint(inverse);
    }
    for (int i = 0; i < 6; ++i) {
        const int* triple = kPlaneCorners[i];
        planes[i] = PlaneThrough(corners[triple[0]], corners[triple[1]], corners[triple[2]]);
    }
}

int KxFrustum::ClassifySphere(const KxVector3& centre, float radius) const
{
    // Against the unbounded planes: a sphere crossing a plane's extension
    // outside the volume counts as intersecting too.
    for (const KxPlane& plane : planes) {
        const double normalLength =
            std::sqrt(double(plane.a) * plane.a + double(plane.b) * plane.b + double(plane.c) * plane.c);
        // Rounded to float as KxPlane::IntersectsSphere does: a distance just
        // below the radius that rounds to it touches, it does not cross.
        if (float(std::fabs(SignedDistance(plane, centre)) / normalLength) < radius)
            return Intersecting;
    }
    int nInside = 0;
    for (const KxPlane& plane : planes) {
        if (SignedDistance(plane, centre) < 0.0)
            ++nInside;
    }
    return nInside == 6 ? Inside : Outside;
}

bool KxFrustum::ExcludesTriangle(const KxVector3& p0, const KxVector3& p1, const KxVector3& p2) const
{
    for (const KxPlane& plane : planes) {
        if (SignedDistance(plane, p0) >= 0.0 && SignedDistance(plane, p1) >= 0.0 &&
            SignedDistance(plane, p2) >= 0.0)
            return true;
    }
    return false;
}
