// The clipper as docs/api.md writes it down ("Clipping"), transcribed
// plainly: polygons in vectors, the five plane distances spelled out, every
// plane applied even when nothing crosses it. Shared by the clipper's tests
// and the pipeline reference.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "math/kxmatrix4.h"

struct KxRefClipVertex {
    double x, y, z, w, nearDistance;
    float u, v;
    uint32_t color;
};

struct KxRefScreenVertex {
    int32_t x, y;
    float z;
    uint32_t color;
    float uOverW, vOverW, invW;
};

// A vertex's screen column or row: value + 0.5 truncated, or 2^24 when that
// does not fit 32 bits.
inline int32_t KxRefScreen(float value)
{
    const double rounded = double(value) + 0.5;
    return std::fabs(rounded) < 2147483648.0 ? int32_t(rounded) : (1 << 24);
}

// The near distance: clip-space z, in double, left to right.
inline double KxRefNear(float x, float y, float z, const KxMatrix4& clip)
{
    return double(x) * clip.m[0][2] + double(y) * clip.m[1][2] + double(z) * clip.m[2][2] + clip.m[3][2];
}

inline KxRefClipVertex KxRefHomogeneous(float x, float y, float z, float u, float v, uint32_t color,
                                        const KxMatrix4& m, const KxMatrix4& clip)
{
    KxRefClipVertex r;
    r.x = double(x) * m.m[0][0] + double(y) * m.m[1][0] + double(z) * m.m[2][0] + m.m[3][0];
    r.y = double(x) * m.m[0][1] + double(y) * m.m[1][1] + double(z) * m.m[2][1] + m.m[3][1];
    r.z = double(x) * m.m[0][2] + double(y) * m.m[1][2] + double(z) * m.m[2][2] + m.m[3][2];
    r.w = double(x) * m.m[0][3] + double(y) * m.m[1][3] + double(z) * m.m[2][3] + m.m[3][3];
    r.nearDistance = KxRefNear(x, y, z, clip);
    r.u = u;
    r.v = v;
    r.color = color;
    return r;
}

// The plane distance of plane 0 (near), 1 (x >= -G), 2 (x <= G), 3 (y >= -G)
// or 4 (y <= G).
inline double KxRefPlaneDistance(const KxRefClipVertex& p, int plane, double g)
{
    if (plane == 0)
        return p.nearDistance;
    if (plane == 1)
        return p.x + g * p.w;
    if (plane == 2)
        return g * p.w - p.x;
    if (plane == 3)
        return p.y + g * p.w;
    return g * p.w - p.y;
}

// From inside end a (distance da >= 0) towards outside end b (db < 0).
inline KxRefClipVertex KxRefCrossing(const KxRefClipVertex& a, double da, const KxRefClipVertex& b, double db)
{
    const double t = da / (da - db);
    KxRefClipVertex r;
    r.x = a.x + t * (b.x - a.x);
    r.y = a.y + t * (b.y - a.y);
    r.z = a.z + t * (b.z - a.z);
    r.w = a.w + t * (b.w - a.w);
    r.nearDistance = a.nearDistance + t * (b.nearDistance - a.nearDistance);
    r.u = float(double(a.u) + t * (double(b.u) - double(a.u)));
    r.v = float(double(a.v) + t * (double(b.v) - double(a.v)));
    r.color = 0;
    for (int k = 0; k < 4; ++k) {
        const double ca = (a.color >> (8 * k)) & 0xFF, cb = (b.color >> (8 * k)) & 0xFF;
        r.color |= uint32_t(int64_t(ca + t * (cb - ca) + 0.5)) << (8 * k);
    }
    return r;
}

// The polygon left of triangle a b c; empty when nothing is left.
inline std::vector<KxRefClipVertex> KxRefClip(const KxRefClipVertex& a, const KxRefClipVertex& b,
                                              const KxRefClipVertex& c, double g)
{
    std::vector<KxRefClipVertex> polygon = {a, b, c};
    for (const KxRefClipVertex& p : polygon)
        for (double value : {p.x, p.y, p.z, p.w, p.nearDistance})
            if (!std::isfinite(value))
                return {};
    for (int plane = 0; plane < 5; ++plane) {
        std::vector<KxRefClipVertex> next;
        const size_t n = polygon.size();
        for (size_t i = 0; i < n; ++i) {
            const KxRefClipVertex& p = polygon[i];
            const KxRefClipVertex& q = polygon[(i + 1) % n];
            const double dp = KxRefPlaneDistance(p, plane, g), dq = KxRefPlaneDistance(q, plane, g);
            if (!std::isfinite(dp))
                return {};
            if (dp >= 0)
                next.push_back(p);
            if (dp >= 0 && dq < 0)
                next.push_back(KxRefCrossing(p, dp, q, dq));
            if (dp < 0 && dq >= 0)
                next.push_back(KxRefCrossing(q, dq, p, dp));
        }
        polygon = next;
        if (polygon.size() < 3)
            return {};
    }
    return polygon;
}

inline KxRefScreenVertex KxRefProject(const KxRefClipVertex& p, bool bTexCoords)
{
    const float w = float(p.w);
    KxRefScreenVertex s;
    s.x = KxRefScreen(float(p.x / w));
    s.y = KxRefScreen(float(p.y / w));
    s.z = float(p.z / w);
    s.color = p.color;
    s.uOverW = bTexCoords ? float(double(p.u) / w) : 0.0f;
    s.vOverW = bTexCoords ? float(double(p.v) / w) : 0.0f;
    s.invW = float(1.0 / w);
    return s;
}
