// Four-component float point; a matrix row.
#pragma once

#include "math/kxexactfloat.h"
#include "math/kxassert.h"

class KxPoint4 {
public:
    float x;
    float y;
    float z;
    float w;

    KxPoint4() = default;  // components left unset
    KxPoint4(float fx, float fy, float fz, float fw) : x(fx), y(fy), z(fz), w(fw) {}

    // An index outside 0..3 is reported and then read as the nearest valid
    // component, so a bad index never reads outside the point.
    float operator[](int i) const
    {
        KX_ASSERT(i >= 0, "kxpoint4");
        KX_ASSERT(i < 4, "kxpoint4");
        const float* components[4] = {&x, &y, &z, &w};
        return *components[i < 0 ? 0 : (i > 3 ? 3 : i)];
    }

    float GetX() const { return (*this)[0]; }
    float GetY() const { return (*this)[1]; }
    float GetZ() const { return (*this)[2]; }
    float GetW() const { return (*this)[3]; }

    KxPoint4& SetX(float v) { x = v; return *this; }
    KxPoint4& SetY(float v) { y = v; return *this; }
    KxPoint4& SetZ(float v) { z = v; return *this; }
    KxPoint4& SetW(float v) { w = v; return *this; }
};
