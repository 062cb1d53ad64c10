// The view volume in world space, rebuilt at every draw for culling.
#pragma once

#include "math/kxmatrix4.h"
#include "math/kxplane.h"
#include "math/kxvector3.h"

class KxFrustum {
public:
    enum { Outside = 0, Intersecting = 1, Inside = 2 };

    void Build(const KxMatrix4& view, const KxMatrix4& projection);
    int ClassifySphere(const KxVector3& centre, float radius) const;
    // True when all three points lie outside one and the same plane: at a
    // signed distance of 0 or more. NaN is outside no plane, so a plane
    // that is not finite culls nothing.
    bool ExcludesTriangle(const KxVector3& p0, const KxVector3& p1, const KxVector3& p2) const;

    KxVector3 corners[8];
    KxPlane planes[6];  // top, bottom, near, far, left, right; normals point out
};
