// The plane a x + b y + c z + d = 0; (a, b, c) is its normal.
#pragma once

#include "math/kxexactfloat.h"
#include "math/kxsphere.h"
#include "math/kxvector3.h"

class KxPlane {
public:
    float a = 0.0f;
    float b = 0.0f;
    float c = 0.0f;
    float d = 0.0f;

    KxPlane() = default;
    KxPlane(float fa, float fb, float fc, float fd) : a(fa), b(fb), c(fc), d(fd) {}
    KxPlane(const KxVector3& normal, const KxVector3& point);
    KxPlane(const KxVector3& p0, const KxVector3& p1, const KxVector3& p2);

    void SetFromNormalAndPoint(const KxVector3& normal, const KxVector3& point);
    void SetFromPoints(const KxVector3& p0, const KxVector3& p1, const KxVector3& p2);

    float EvaluatePoint(const KxVector3& p) const;  // signed distance for a unit normal
    float EvaluateDirection(const KxVector3& v) const;
    void Normalize();
    KxPlane Normalized() const;
    KxVector3 IntersectLine(const KxVector3& p, const KxVector3& q) const;
    bool IntersectsSphere(const KxSphere& sphere) const;

    KxPlane operator-() const { return KxPlane(-a, -b, -c, -d); }
    bool operator==(const KxPlane& o) const { return a == o.a && b == o.b && c == o.c && d == o.d; }
    bool operator!=(const KxPlane& o) const { return !(*this == o); }
};
