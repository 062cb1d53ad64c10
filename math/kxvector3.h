// Three-component float vector: positions, normals and directions.
// Arithmetic is done in double precision; every stored component is rounded
// to float.
#pragma once

#include "math/kxexactfloat.h"

class KxMatrix4;

class KxVector3 {
public:
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    KxVector3() = default;
    KxVector3(float fx, float fy, float fz) : x(fx), y(fy), z(fz) {}

    KxVector3 operator+(const KxVector3& b) const;
    KxVector3 operator-(const KxVector3& b) const;
    KxVector3 operator-() const;
    KxVector3 operator*(float s) const;
    KxVector3 operator/(float s) const;  // one reciprocal, then three products

    float Dot(const KxVector3& b) const;
    KxVector3 Cross(const KxVector3& b) const;
    float Length() const;
    KxVector3 Normalized() const;
    // Unit cross product, or the zero vector when the product is too short to
    // give a direction.
    KxVector3 NormalizedCross(const KxVector3& b) const;

    // Row vector (x, y, z, 1) times M, divided by the resulting w; returns w.
    float TransformPoint(const KxMatrix4& m);
    // Row vector times the upper-left 3x3 of M; returns the new value.
    KxVector3 TransformNormal(const KxMatrix4& m);
};
