// Rotations held as quaternions, stored x, y, z, w. A unit quaternion
// (cos(a/2), axis * sin(a/2)) turns by a about the axis, in the same sense
// as KxMatrix4's rotation builders.
#pragma once

#include "math/kxexactfloat.h"
#include "math/kxmatrix4.h"
#include "math/kxvector3.h"

class KxQuaternion {
public:
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;

    static const KxQuaternion Identity;

    KxQuaternion() = default;
    KxQuaternion(float fw, float fx, float fy, float fz) : x(fx), y(fy), z(fz), w(fw) {}
    KxQuaternion(float angle, const KxVector3& axis);

    void Set(float fw, float fx, float fy, float fz) { w = fw; x = fx; y = fy; z = fz; }
    void SetRotationX(float angle);
    void SetRotationY(float angle);
    void SetRotationZ(float angle);

    float GetW() const { return w; }
    float GetX() const { return x; }
    float GetY() const { return y; }
    float GetZ() const { return z; }
    void Get(float& fw, float& fx, float& fy, float& fz) const { fw = w; fx = x; fy = y; fz = z; }
    void SetW(float v) { w = v; }
    void SetX(float v) { x = v; }
    void SetY(float v) { y = v; }
    void SetZ(float v) { z = v; }

    KxQuaternion operator+(const KxQuaternion& q) const;
    KxQuaternion operator-(const KxQuaternion& q) const;
    KxQuaternion operator-() const;
    KxQuaternion operator*(float s) const;
    KxQuaternion operator*(const KxQuaternion& q) const;  // Hamilton product
    KxQuaternion operator+=(const KxQuaternion& q);
    KxQuaternion operator-=(const KxQuaternion& q);
    KxQuaternion operator*=(const KxQuaternion& q);
    KxQuaternion operator*=(float s);

    float Dot(const KxQuaternion& q) const;
    KxQuaternion Conjugate() const;
    void Normalize();
    // Approximate renormalisation without square roots, for quaternions that
    // are close to unit length.
    void NormalizeFast();

    void ToAxisAngle(float& angle, KxVector3& axis) const;
    void ToMatrix(KxMatrix4& matrix) const;  // writes the upper-left 3x3 only
    // Reads the matrix in transposed element order: a rotation matrix yields
    // the conjugate of its quaternion.
    void SetFromMatrix(const KxMatrix4& matrix);

    static KxQuaternion Exp(const KxQuaternion& q);
    static KxQuaternion Log(const KxQuaternion& q);
    // Fast approximate spherical interpolation: a corrected linear blend,
    // then NormalizeFast. It does not pick the nearer of q2 and -q2.
    static KxQuaternion Slerp(float t, const KxQuaternion& q1, const KxQuaternion& q2);
    static KxQuaternion SquadControlPoint(const KxQuaternion& qPrev, const KxQuaternion& q,
                                          const KxQuaternion& qNext);
    static KxQuaternion Squad(float t, const KxQuaternion& q1, const KxQuaternion& a,
                              const KxQuaternion& b, const KxQuaternion& q2);
};
