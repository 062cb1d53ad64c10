#include "math/kxplane.h"

#include <cmath>

KxPlane::KxPlane(const KxVector3& normal, const KxVector3& point)
{
    SetFromNormalAndPoint(normal, point);
}

KxPlane::KxPlane(const KxVector3& p0, const KxVector3& p1, const KxVector3& p2)
{
    SetFromPoints(p0, p1, p2);
}

void KxPlane::SetFromNormalAndPoint(const KxVector3& normal, const KxVector3& point)
{
    a = normal.x;
    b = normal.y;
    c = normal.z;
    d = -normal.Dot(point);
}

void KxPlane::SetFromPoints(const KxVector3& p0, const KxVector3& p1, const KxVector3& p2)
{
    const KxVector3 n = (p1 - p0).Cross(p2 - p0);
    const float r = float(1.0 / n.Length());
    const KxVector3 unit = n * r;
    a = unit.x;
    b = unit.y;
    c = unit.z;
    d = -unit.Dot(p0);
}

float KxPlane::EvaluatePoint(const KxVector3& p) const
{
    return float(double(a) * p.x + double(b) * p.y + double(c) * p.z + d);
}

float KxPlane::EvaluateDirection(const KxVector3& v) const
{
    return float(double(a) * v.x + double(b) * v.y + double(c) * v.z);
}

void KxPlane::Normalize()
{
    const float r = float(1.0 / std::sqrt(double(a) * a + double(b) * b + double(c) * c));
    a *= r;
    b *= r;
    c *= r;
    d *= r;
}

KxPlane KxPlane::Normalized() const
{
    KxPlane plane = *this;
    plane.Normalize();
    return plane;
}

KxVector3 KxPlane::IntersectLine(const KxVector3& p, const KxVector3& q) const
{
    const KxVector3 n(a, b, c);
    const KxVector3 e = q - p;
    const double t = (double(n.Dot(p)) + d) / double(e.Dot(n));
    return KxVector3(float(p.x - e.x * t), float(p.y - e.y * t), float(p.z - e.z * t));
}

bool KxPlane::IntersectsSphere(const KxSphere& sphere) const
{
    const KxVector3& o = sphere.centre;
    const double distance = std::fabs(double(a) * o.x + double(b) * o.y + double(c) * o.z + d) /
                            std::sqrt(double(a) * a + double(b) * b + double(c) * c);
    return float(distance) < sphere.radius;
}
