#include "math/kxvector3.h"

#include <cmath>

#include "math/kxmatrix4.h"

// A single float operation rounds the same whether it is done in float or in
// double and then rounded; sums of products are formed in double explicitly.

KxVector3 KxVector3::operator+(const KxVector3& b) const
{
    return KxVector3(x + b.x, y + b.y, z + b.z);
}

KxVector3 KxVector3::operator-(const KxVector3& b) const
{
    return KxVector3(x - b.x, y - b.y, z - b.z);
}

KxVector3 KxVector3::operator-() const
{
    return KxVector3(-x, -y, -z);
}

KxVector3 KxVector3::operator*(float s) const
{
    return KxVector3(x * s, y * s, z * s);
}

KxVector3 KxVector3::operator/(float s) const
{
    const float r = float(1.0 / s);
    return *this * r;
}

float KxVector3::Dot(const KxVector3& b) const
{
    return float(double(x) * b.x + double(y) * b.y + double(z) * b.z);
}

KxVector3 KxVector3::Cross(const KxVector3& b) const
{
    return KxVector3(float(double(y) * b.z - double(z) * b.y),
                     float(double(z) * b.x - double(x) * b.z),
                     float(double(x) * b.y - double(y) * b.x));
}

float KxVector3::Length() const
{
    const float squared = float(double(x) * x + double(y) * y + double(z) * z);
    return float(std::sqrt(double(squared)));
}

KxVector3 KxVector3::Normalized() const
{
    const float r = float(1.0 / Length());
    return *this * r;
}

KxVector3 KxVector3::NormalizedCross(const KxVector3& b) const
{
    const KxVector3 c = Cross(b);
    const float length = c.Length();
    if (double(length) > double(0.000001f))
        return c / length;
    return KxVector3(0.0f, 0.0f, 0.0f);
}

float KxVector3::TransformPoint(const KxMatrix4& mat)
{
    const auto& m = mat.m;
    const double px = x, py = y, pz = z;
    const float w = float(px * m[0][3] + py * m[1][3] + pz * m[2][3] + m[3][3]);
    x = float((px * m[0][0] + py * m[1][0] + pz * m[2][0] + m[3][0]) / w);
    y = float((px * m[0][1] + py * m[1][1] + pz * m[2][1] + m[3][1]) / w);
    z = float((px * m[0][2] + py * m[1][2] + pz * m[2][2] + m[3][2]) / w);
    return w;
}

KxVector3 KxVector3::TransformNormal(const KxMatrix4& mat)
{
    const auto& m = mat.m;
    const double nx = x, ny = y, nz = z;
    x = float(nx * m[0][0] + ny * m[1][0] + nz * m[2][0]);
    y = float(nx * m[0][1] + ny * m[1][1] + nz * m[2][1]);
    z = float(nx * m[0][2] + ny * m[1][2] + nz * m[2][2]);
    return *this;
}
