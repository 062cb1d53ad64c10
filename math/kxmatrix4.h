// 4x4 float matrix for row vectors: translation in row 3, and A * B applies
// A first, then B. Arithmetic is done in double precision and every stored
// element is rounded to float.
#pragma once

#include "math/kxexactfloat.h"
#include "math/kxpoint4.h"
#include "math/kxvector3.h"

class KxMatrix4 {
public:
    float m[4][4] = {};  // m[row][column]

    KxMatrix4() = default;  // all zeros, not the identity
    KxMatrix4(float m00, float m01, float m02, float m03,
              float m10, float m11, float m12, float m13,
              float m20, float m21, float m22, float m23,
              float m30, float m31, float m32, float m33);
    // Rows (x, 0), (y, 0), (z, 0), (0, 0, 0, 1).
    KxMatrix4(const KxVector3& xAxis, const KxVector3& yAxis, const KxVector3& zAxis);

    // Rows r0, r1, r2 whole; row 3 is (r3.x, r3.y, r3.z, 1).
    static KxMatrix4 FromRows(const KxPoint4& r0, const KxPoint4& r1, const KxPoint4& r2, const KxPoint4& r3);
    KxPoint4 GetRow(int i) const;
    KxMatrix4 AffineCopy() const;  // a copy whose m33 is 1

    KxMatrix4 operator+(const KxMatrix4& b) const;
    KxMatrix4 operator-(const KxMatrix4& b) const;
    KxMatrix4 operator*(float s) const;
    KxMatrix4 operator*(const KxMatrix4& b) const;
    KxMatrix4 operator/(const KxMatrix4& b) const;  // this * b.Inverse()
    KxMatrix4 operator+=(const KxMatrix4& b);
    KxMatrix4 operator-=(const KxMatrix4& b);
    KxMatrix4 operator*=(float s);
    KxMatrix4 operator*=(const KxMatrix4& b);
    KxMatrix4 operator/=(const KxMatrix4& b);
    KxMatrix4 operator-() const;
    bool operator==(const KxMatrix4& b) const;
    bool operator!=(const KxMatrix4& b) const { return !(*this == b); }

    // Cofactor inverse; a singular matrix gives non-finite elements.
    KxMatrix4 Inverse() const;

    KxMatrix4& SetIdentity();
    KxMatrix4& SetRotationX(float angle);
    KxMatrix4& SetRotationY(float angle);
    KxMatrix4& SetRotationZ(float angle);
    KxMatrix4& SetRotationXYZ(float angleX, float angleY, float angleZ);
    KxMatrix4& SetRotationAxis(float angle, float x, float y, float z);
    KxMatrix4& SetScaling(float sx, float sy, float sz);
    KxMatrix4& SetTranslation(float tx, float ty, float tz);
    KxMatrix4& SetLookAtLeftHanded(const KxVector3& eye, const KxVector3& at, const KxVector3& up);
    KxMatrix4& SetLookAtRightHanded(const KxVector3& eye, const KxVector3& at, const KxVector3& up);
    KxMatrix4& SetPerspectiveLeftHanded(float fovY, float aspect, float zNear, float zFar);
    KxMatrix4& SetPerspectiveRightHanded(float fovY, float aspect, float zNear, float zFar);
    KxMatrix4& SetOrthographicLeftHanded(float width, float height, float zNear, float zFar);
    KxMatrix4& SetOrthographicRightHanded(float width, float height, float zNear, float zFar);

    static KxMatrix4 Identity() { return KxMatrix4().SetIdentity(); }
};
