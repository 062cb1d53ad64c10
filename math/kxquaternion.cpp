#include "math/kxquaternion.h"

#include <cmath>

const KxQuaternion KxQuaternion::Identity(1.0f, 0.0f, 0.0f, 0.0f);

namespace {

const float kPi = 3.1415927f;
const float kSmallSine = 0.001f;

// The linear inverse-square-root approximation around 0.959066, with its two
// constants computed once at start-up.
const float kIsqrtNeighbourhood = 0.959066f;
const float kIsqrtScale = 1.000311f;
const float kIsqrtAdditive = float(kIsqrtScale / std::sqrt(double(kIsqrtNeighbourhood)));
const float kIsqrtFactor = float(kIsqrtScale * (-0.5 / (double(kIsqrtNeighbourhood) *
                                                          std::sqrt(double(kIsqrtNeighbourhood)))));

double ApproximateInverseSqrt(double v)
{
    return kIsqrtAdditive + (v - kIsqrtNeighbourhood) * double(kIsqrtFactor);
}

double AcosClamped(double v)
{
    if (v <= -1.0)
        return kPi;
    if (v >= 1.0)
        return 0.0;
    return std::acos(v);
}

// The correction spline of the fast interpolation.
double SlerpCorrection(double u, float cosine)
{
    const float attenuation = float(1.0 - double(0.8227969f) * cosine);
    const float squared = attenuation * attenuation;
    const float k = 0.5854922f * squared;
    return u * (double(k) * u * (2.0 * u - 3.0) + 1.0 + k);
}

}  // namespace

KxQuaternion::KxQuaternion(float angle, const KxVector3& axis)
{
    const double half = double(angle) * 0.5;
    const double s = std::sin(half);
    w = float(std::cos(half));
    x = float(axis.x * s);
    y = float(axis.y * s);
    z = float(axis.z * s);
}

void KxQuaternion::SetRotationX(float angle)
{
    Set(float(std::cos(angle / 2.0)), float(std::sin(angle / 2.0)), 0.0f, 0.0f);
}

void KxQuaternion::SetRotationY(float angle)
{
    Set(float(std::cos(angle / 2.0)), 0.0f, float(std::sin(angle / 2.0)), 0.0f);
}

void KxQuaternion::SetRotationZ(float angle)
{
    Set(float(std::cos(angle / 2.0)), 0.0f, 0.0f, float(std::sin(angle / 2.0)));
}

KxQuaternion KxQuaternion::operator+(const KxQuaternion& q) const
{
    return KxQuaternion(w + q.w, x + q.x, y + q.y, z + q.z);
}

KxQuaternion KxQuaternion::operator-(const KxQuaternion& q) const
{
    return KxQuaternion(w - q.w, x - q.x, y - q.y, z - q.z);
}

KxQuaternion KxQuaternion::operator-() const
{
    return KxQuaternion(-w, -x, -y, -z);
}

KxQuaternion KxQuaternion::operator*(float s) const
{
    return KxQuaternion(w * s, x * s, y * s, z * s);
}

KxQuaternion KxQuaternion::operator*(const KxQuaternion& q) const
{
    const double w1 = w, x1 = x, y1 = y, z1 = z;
    return KxQuaternion(float(w1 * q.w - x1 * q.x - y1 * q.y - z1 * q.z),
                        float(w1 * q.x + x1 * q.w + y1 * q.z - z1 * q.y),
                        float(w1 * q.y + y1 * q.w + z1 * q.x - x1 * q.z),
                        float(w1 * q.z + z1 * q.w + x1 * q.y - y1 * q.x));
}

KxQuaternion KxQuaternion::operator+=(const KxQuaternion& q)
{
    return *this = *this + q;
}

KxQuaternion KxQuaternion::operator-=(const KxQuaternion& q)
{
    return *this = *this - q;
}

KxQuaternion KxQuaternion::operator*=(const KxQuaternion& q)
{
    return *this = *this * q;
}

KxQuaternion KxQuaternion::operator*=(float s)
{
    return *this = *this * s;
}

float KxQuaternion::Dot(const KxQuaternion& q) const
{
    return float(double(w) * q.w + double(x) * q.x + double(y) * q.y + double(z) * q.z);
}

KxQuaternion KxQuaternion::Conjugate() const
{
    return KxQuaternion(w, -x, -y, -z);
}

void KxQuaternion::Normalize()
{
    const float k = float(1.0 / std::sqrt(double(w) * w + double(x) * x + double(y) * y + double(z) * z));
    *this = *this * k;
}

void KxQuaternion::NormalizeFast()
{
    const double s = double(x) * x + double(y) * y + double(z) * z + double(w) * w;
    double k = ApproximateInverseSqrt(s);
    if (s <= double(0.91521198f)) {
        k *= ApproximateInverseSqrt(s * k * k);
        if (s <= double(0.6521197f))
            k *= ApproximateInverseSqrt(s * k * k);
    }
    w = float(w * k);
    x = float(x * k);
    y = float(y * k);
    z = float(z * k);
}

void KxQuaternion::ToAxisAngle(float& angle, KxVector3& axis) const
{
    angle = float(2.0 * AcosClamped(w));
    const float k = float(1.0 / std::sqrt(double(x) * x + double(y) * y + double(z) * z));
    axis = KxVector3(x * k, y * k, z * k);
}

void KxQuaternion::ToMatrix(KxMatrix4& matrix) const
{
    const double xy2 = 2.0 * x * y, xz2 = 2.0 * x * z, yz2 = 2.0 * y * z;
    const double wx2 = 2.0 * w * x, wy2 = 2.0 * w * y, wz2 = 2.0 * w * z;
    const double xx2 = 2.0 * x * x, yy2 = 2.0 * y * y, zz2 = 2.0 * z * z;
    auto& m = matrix.m;
    m[0][0] = float(1.0 - (yy2 + zz2));
    m[0][1] = float(xy2 + wz2);
    m[0][2] = float(xz2 - wy2);
    m[1][0] = float(xy2 - wz2);
    m[1][1] = float(1.0 - (zz2 + xx2));
    m[1][2] = float(yz2 + wx2);
    m[2][0] = float(xz2 + wy2);
    m[2][1] = float(yz2 - wx2);
    m[2][2] = float(1.0 - (yy2 + xx2));
}

void KxQuaternion::SetFromMatrix(const KxMatrix4& matrix)
{
    const auto& m = matrix.m;
    const double trace = double(m[0][0]) + m[1][1] + m[2][2];
    if (trace > 0.0) {
        const double r = std::sqrt(trace + 1.0);
        const double f = 0.5 / r;
        w = float(0.5 * r);
        x = float((double(m[2][1]) - m[1][2]) * f);
        y = float((double(m[0][2]) - m[2][0]) * f);
        z = float((double(m[1][0]) - m[0][1]) * f);
        return;
    }
    static const int next[3] = {1, 2, 0};
    int i = 0;
    if (m[0][0] < m[1][1])
        i = 1;
    if (m[i][i] < m[2][2])
        i = 2;
    const int j = next[i];
    const int k = next[j];
    const double r = std::sqrt(double(m[i][i]) - m[j][j] - m[k][k] + 1.0);
    const double f = 0.5 / r;
    float* components[3] = {&x, &y, &z};
    *components[i] = float(0.5 * r);
    w = float((double(m[k][j]) - m[j][k]) * f);
    *components[j] = float((double(m[j][i]) + m[i][j]) * f);
    *components[k] = float((double(m[k][i]) + m[i][k]) * f);
}

KxQuaternion KxQuaternion::Exp(const KxQuaternion& q)
{
    const double theta = std::sqrt(double(q.x) * q.x + double(q.y) * q.y + double(q.z) * q.z);
    const double s = std::sin(theta);
    const double f = std::fabs(s) < kSmallSine ? 1.0 : s / theta;
    return KxQuaternion(float(std::cos(theta)), float(q.x * f), float(q.y * f), float(q.z * f));
}

KxQuaternion KxQuaternion::Log(const KxQuaternion& q)
{
    const double theta = AcosClamped(q.w);
    const double s = std::sin(theta);
    const double f = std::fabs(s) < kSmallSine ? 1.0 : theta / s;
    return KxQuaternion(0.0f, float(q.x * f), float(q.y * f), float(q.z * f));
}

KxQuaternion KxQuaternion::Slerp(float t, const KxQuaternion& q1, const KxQuaternion& q2)
{
    const float cosine = q1.Dot(q2);
    const double blend = t <= 0.5f ? SlerpCorrection(t, cosine) : 1.0 - SlerpCorrection(1.0 - t, cosine);
    KxQuaternion result(float(q1.w + (double(q2.w) - q1.w) * blend),
                        float(q1.x + (double(q2.x) - q1.x) * blend),
                        float(q1.y + (double(q2.y) - q1.y) * blend),
                        float(q1.z + (double(q2.z) - q1.z) * blend));
    result.NormalizeFast();
    return result;
}

KxQuaternion KxQuaternion::SquadControlPoint(const KxQuaternion& qPrev, const KxQuaternion& q,
                                             const KxQuaternion& qNext)
{
    const KxQuaternion c = q.Conjugate();
    return q * Exp((Log(c * qNext) + Log(c * qPrev)) * -0.25f);
}

KxQuaternion KxQuaternion::Squad(float t, const KxQuaternion& q1, const KxQuaternion& a,
                                 const KxQuaternion& b, const KxQuaternion& q2)
{
    const float blend = float(2.0 * t * (1.0 - t));
    return Slerp(blend, Slerp(t, q1, q2), Slerp(t, a, b));
}
