#include "math/kxmatrix4.h"

#include <cmath>

KxMatrix4::KxMatrix4(float m00, float m01, float m02, float m03,
                     float m10, float m11, float m12, float m13,
                     float m20, float m21, float m22, float m23,
                     float m30, float m31, float m32, float m33)
    : m{{m00, m01, m02, m03}, {m10, m11, m12, m13}, {m20, m21, m22, m23}, {m30, m31, m32, m33}}
{
}

KxMatrix4::KxMatrix4(const KxVector3& xAxis, const KxVector3& yAxis, const KxVector3& zAxis)
    : KxMatrix4(xAxis.x, xAxis.y, xAxis.z, 0.0f,
                yAxis.x, yAxis.y, yAxis.z, 0.0f,
                zAxis.x, zAxis.y, zAxis.z, 0.0f,
                0.0f, 0.0f, 0.0f, 1.0f)
{
}

KxMatrix4 KxMatrix4::FromRows(const KxPoint4& r0, const KxPoint4& r1, const KxPoint4& r2, const KxPoint4& r3)
{
    return KxMatrix4(r0.x, r0.y, r0.z, r0.w,
                     r1.x, r1.y, r1.z, r1.w,
                     r2.x, r2.y, r2.z, r2.w,
                     r3.x, r3.y, r3.z, 1.0f);
}

KxPoint4 KxMatrix4::GetRow(int i) const
{
    return KxPoint4(m[i][0], m[i][1], m[i][2], m[i][3]);
}

KxMatrix4 KxMatrix4::AffineCopy() const
{
    return FromRows(GetRow(0), GetRow(1), GetRow(2), GetRow(3));
}

KxMatrix4 KxMatrix4::operator+(const KxMatrix4& b) const
{
    KxMatrix4 result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            result.m[r][c] = m[r][c] + b.m[r][c];
    return result;
}

KxMatrix4 KxMatrix4::operator-(const KxMatrix4& b) const
{
    KxMatrix4 result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            result.m[r][c] = m[r][c] - b.m[r][c];
    return result;
}

KxMatrix4 KxMatrix4::operator*(float s) const
{
    KxMatrix4 result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            result.m[r][c] = m[r][c] * s;
    return result;
}

KxMatrix4 KxMatrix4::operator*(const KxMatrix4& b) const
{
    KxMatrix4 product;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            product.m[r][c] = float(double(m[r][0]) * b.m[0][c] + double(m[r][1]) * b.m[1][c] +
                                    double(m[r][2]) * b.m[2][c] + double(m[r][3]) * b.m[3][c]);
        }
    }
    return product;
}

KxMatrix4 KxMatrix4::operator/(const KxMatrix4& b) const
{
    return *this * b.Inverse();
}

KxMatrix4 KxMatrix4::operator+=(const KxMatrix4& b)
{
    return *this = *this + b;
}

KxMatrix4 KxMatrix4::operator-=(const KxMatrix4& b)
{
    return *this = *this - b;
}

KxMatrix4 KxMatrix4::operator*=(float s)
{
    return *this = *this * s;
}

KxMatrix4 KxMatrix4::operator*=(const KxMatrix4& b)
{
    return *this = *this * b;  // the product reads both operands before writing
}

KxMatrix4 KxMatrix4::operator/=(const KxMatrix4& b)
{
    return *this = *this * b.Inverse();
}

KxMatrix4 KxMatrix4::operator-() const
{
    KxMatrix4 result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            result.m[r][c] = -m[r][c];
    return result;
}

bool KxMatrix4::operator==(const KxMatrix4& b) const
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!(m[r][c] == b.m[r][c]))
                return false;
    return true;
}

// Cramer's rule on the transpose S: twelve pair products of two rows give
// eight cofactors at a time; the cofactors of S form the adjugate directly.
KxMatrix4 KxMatrix4::Inverse() const
{
    double s[16];
    for (int i = 0; i < 4; ++i) {
        s[i] = m[i][0];
        s[i + 4] = m[i][1];
        s[i + 8] = m[i][2];
        s[i + 12] = m[i][3];
    }

    float r[16];
    double p[12];

    // Pairs from rows 2 and 3 of S, cofactors of result rows 0 and 1.
    p[0] = s[10] * s[15];
    p[1] = s[11] * s[14];
    p[2] = s[9] * s[15];
    p[3] = s[11] * s[13];
    p[4] = s[9] * s[14];
    p[5] = s[10] * s[13];
    p[6] = s[8] * s[15];
    p[7] = s[11] * s[12];
    p[8] = s[8] * s[14];
    p[9] = s[10] * s[12];
    p[10] = s[8] * s[13];
    p[11] = s[9] * s[12];

    r[0] = float((p[0] * s[5] + p[3] * s[6] + p[4] * s[7]) - (p[1] * s[5] + p[2] * s[6] + p[5] * s[7]));
    r[1] = float((p[1] * s[4] + p[6] * s[6] + p[9] * s[7]) - (p[0] * s[4] + p[7] * s[6] + p[8] * s[7]));
    r[2] = float((p[2] * s[4] + p[7] * s[5] + p[10] * s[7]) - (p[3] * s[4] + p[6] * s[5] + p[11] * s[7]));
    r[3] = float((p[5] * s[4] + p[8] * s[5] + p[11] * s[6]) - (p[4] * s[4] + p[9] * s[5] + p[10] * s[6]));
    r[4] = float((p[1] * s[1] + p[2] * s[2] + p[5] * s[3]) - (p[0] * s[1] + p[3] * s[2] + p[4] * s[3]));
    r[5] = float((p[0] * s[0] + p[7] * s[2] + p[8] * s[3]) - (p[1] * s[0] + p[6] * s[2] + p[9] * s[3]));
    r[6] = float((p[3] * s[0] + p[6] * s[1] + p[11] * s[3]) - (p[2] * s[0] + p[7] * s[1] + p[10] * s[3]));
    r[7] = float((p[4] * s[0] + p[9] * s[1] + p[10] * s[2]) - (p[5] * s[0] + p[8] * s[1] + p[11] * s[2]));

    // Pairs from rows 0 and 1 of S, cofactors of result rows 2 and 3.
    p[0] = s[2] * s[7];
    p[1] = s[3] * s[6];
    p[2] = s[1] * s[7];
    p[3] = s[3] * s[5];
    p[4] = s[1] * s[6];
    p[5] = s[2] * s[5];
    p[6] = s[0] * s[7];
    p[7] = s[3] * s[4];
    p[8] = s[0] * s[6];
    p[9] = s[2] * s[4];
    p[10] = s[0] * s[5];
    p[11] = s[1] * s[4];

    r[8] = float((p[0] * s[13] + p[3] * s[14] + p[4] * s[15]) - (p[1] * s[13] + p[2] * s[14] + p[5] * s[15]));
    r[9] = float((p[1] * s[12] + p[6] * s[14] + p[9] * s[15]) - (p[0] * s[12] + p[7] * s[14] + p[8] * s[15]));
    r[10] = float((p[2] * s[12] + p[7] * s[13] + p[10] * s[15]) - (p[3] * s[12] + p[6] * s[13] + p[11] * s[15]));
    r[11] = float((p[5] * s[12] + p[8] * s[13] + p[11] * s[14]) - (p[4] * s[12] + p[9] * s[13] + p[10] * s[14]));
    r[12] = float((p[2] * s[10] + p[5] * s[11] + p[1] * s[9]) - (p[4] * s[11] + p[0] * s[9] + p[3] * s[10]));
    r[13] = float((p[8] * s[11] + p[0] * s[8] + p[7] * s[10]) - (p[6] * s[10] + p[9] * s[11] + p[1] * s[8]));
    r[14] = float((p[6] * s[9] + p[11] * s[11] + p[3] * s[8]) - (p[10] * s[11] + p[2] * s[8] + p[7] * s[9]));
    r[15] = float((p[10] * s[10] + p[4] * s[8] + p[9] * s[9]) - (p[8] * s[9] + p[11] * s[10] + p[5] * s[8]));

    const double det = s[0] * r[0] + s[1] * r[1] + s[2] * r[2] + s[3] * r[3];
    const double f = 1.0 / det;

    KxMatrix4 inverse;
    for (int i = 0; i < 16; ++i)
        inverse.m[i / 4][i % 4] = float(r[i] * f);
    return inverse;
}

KxMatrix4& KxMatrix4::SetIdentity()
{
    return *this = KxMatrix4(1.0f, 0.0f, 0.0f, 0.0f,
                             0.0f, 1.0f, 0.0f, 0.0f,
                             0.0f, 0.0f, 1.0f, 0.0f,
                             0.0f, 0.0f, 0.0f, 1.0f);
}

KxMatrix4& KxMatrix4::SetRotationX(float angle)
{
    const float c = float(std::cos(double(angle)));
    const float s = float(std::sin(double(angle)));
    return *this = KxMatrix4(1.0f, 0.0f, 0.0f, 0.0f,
                             0.0f, c, s, 0.0f,
                             0.0f, -s, c, 0.0f,
                             0.0f, 0.0f, 0.0f, 1.0f);
}

KxMatrix4& KxMatrix4::SetRotationY(float angle)
{
    const float c = float(std::cos(double(angle)));
    const float s = float(std::sin(double(angle)));
    return *this = KxMatrix4(c, 0.0f, -s, 0.0f,
                             0.0f, 1.0f, 0.0f, 0.0f,
                             s, 0.0f, c, 0.0f,
                             0.0f, 0.0f, 0.0f, 1.0f);
}

KxMatrix4& KxMatrix4::SetRotationZ(float angle)
{
    const float c = float(std::cos(double(angle)));
    const float s = float(std::sin(double(angle)));
    return *this = KxMatrix4(c, s, 0.0f, 0.0f,
                             -s, c, 0.0f, 0.0f,
                             0.0f, 0.0f, 1.0f, 0.0f,
                             0.0f, 0.0f, 0.0f, 1.0f);
}

KxMatrix4& KxMatrix4::SetRotationXYZ(float angleX, float angleY, float angleZ)
{
    KxMatrix4 rotationY, rotationZ;
    rotationY.SetRotationY(angleY);
    rotationZ.SetRotationZ(angleZ);
    SetRotationX(angleX);
    return *this = *this * rotationY * rotationZ;
}

KxMatrix4& KxMatrix4::SetRotationAxis(float angle, float x, float y, float z)
{
    const double c = std::cos(double(angle));
    const double s = std::sin(double(angle));
    const double t = 1.0 - c;
    return *this = KxMatrix4(float(t * x * x + c), float(t * x * y + s * z), float(t * x * z - s * y), 0.0f,
                             float(t * x * y - s * z), float(t * y * y + c), float(t * y * z + s * x), 0.0f,
                             float(t * x * z + s * y), float(t * y * z - s * x), float(t * z * z + c), 0.0f,
                             0.0f, 0.0f, 0.0f, 1.0f);
}

KxMatrix4& KxMatrix4::SetScaling(float sx, float sy, float sz)
{
    return *this = KxMatrix4(sx, 0.0f, 0.0f, 0.0f,
                             0.0f, sy, 0.0f, 0.0f,
                             0.0f, 0.0f, sz, 0.0f,
                             0.0f, 0.0f, 0.0f, 1.0f);
}

KxMatrix4& KxMatrix4::SetTranslation(float tx, float ty, float tz)
{
    return *this = KxMatrix4(1.0f, 0.0f, 0.0f, 0.0f,
                             0.0f, 1.0f, 0.0f, 0.0f,
                             0.0f, 0.0f, 1.0f, 0.0f,
                             tx, ty, tz, 1.0f);
}

namespace {

// Camera rows from a z axis (the viewing direction) and the up vector.
KxMatrix4 LookAt(const KxVector3& eye, const KxVector3& zAxis, const KxVector3& up)
{
    const KxVector3 xAxis = up.NormalizedCross(zAxis);
    const KxVector3 yAxis = zAxis.Cross(xAxis);
    return KxMatrix4(xAxis.x, yAxis.x, zAxis.x, 0.0f,
                     xAxis.y, yAxis.y, zAxis.y, 0.0f,
                     xAxis.z, yAxis.z, zAxis.z, 0.0f,
                     -xAxis.Dot(eye), -yAxis.Dot(eye), -zAxis.Dot(eye), 1.0f);
}

}  // namespace

KxMatrix4& KxMatrix4::SetLookAtLeftHanded(const KxVector3& eye, const KxVector3& at, const KxVector3& up)
{
    return *this = LookAt(eye, (at - eye).Normalized(), up);
}

KxMatrix4& KxMatrix4::SetLookAtRightHanded(const KxVector3& eye, const KxVector3& at, const KxVector3& up)
{
    return *this = LookAt(eye, (eye - at).Normalized(), up);
}

KxMatrix4& KxMatrix4::SetPerspectiveLeftHanded(float fovY, float aspect, float zNear, float zFar)
{
    const double yScale = 1.0 / std::tan(double(fovY) / 2.0);
    const double xScale = yScale / aspect;
    const double q = double(zFar) / (double(zFar) - zNear);
    *this = KxMatrix4();
    m[0][0] = float(xScale);
    m[1][1] = float(yScale);
    m[2][2] = float(q);
    m[2][3] = 1.0f;
    m[3][2] = float(-double(zNear) * q);
    return *this;
}

KxMatrix4& KxMatrix4::SetPerspectiveRightHanded(float fovY, float aspect, float zNear, float zFar)
{
    const double yScale = 1.0 / std::tan(double(fovY) / 2.0);
    const double xScale = yScale / aspect;
    const double depth = double(zNear) - zFar;
    *this = KxMatrix4();
    m[0][0] = float(xScale);
    m[1][1] = float(yScale);
    m[2][2] = float(zFar / depth);
    m[2][3] = -1.0f;
    m[3][2] = float(double(zNear) * zFar / depth);
    return *this;
}

KxMatrix4& KxMatrix4::SetOrthographicLeftHanded(float width, float height, float zNear, float zFar)
{
    *this = KxMatrix4();
    m[0][0] = float(2.0 / width);
    m[1][1] = float(2.0 / height);
    m[2][2] = float(1.0 / (double(zFar) - zNear));
    m[3][2] = float(zNear / (double(zNear) - zFar));
    m[3][3] = 1.0f;
    return *this;
}

KxMatrix4& KxMatrix4::SetOrthographicRightHanded(float width, float height, float zNear, float zFar)
{
    *this = KxMatrix4();
    m[0][0] = float(2.0 / width);
    m[1][1] = float(2.0 / height);
    m[2][2] = float(1.0 / (double(zNear) - zFar));
    m[3][2] = float(zNear / (double(zNear) - zFar));
    m[3][3] = 1.0f;
    return *this;
}
