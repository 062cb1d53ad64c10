// A sphere: centre and radius.
#pragma once

#include "math/kxexactfloat.h"
#include "math/kxvector3.h"

class KxSphere {
public:
    KxVector3 centre;
    float radius = 0.0f;

    KxSphere() = default;
    KxSphere(float x, float y, float z, float r) : centre(x, y, z), radius(r) {}

    void SetRadius(float r) { radius = r; }
    // True when the spheres overlap; spheres that only touch do not.
    bool Intersects(const KxSphere& other) const;
};
