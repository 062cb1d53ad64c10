#include "render/kxclipper.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "render/kxvertexbatch.h"

namespace {

// The planes in the order they cut: near, then the guard band's left,
// right, top and bottom sides. Inside is a distance >= 0.
enum KxClipPlane { kNear, kLeft, kRight, kTop, kBottom, kPlaneCount };

double Distance(const KxClipVertex& v, int plane, double guardBand)
{
    switch (plane) {
    case kNear:
        return v.nearDistance;
    case kLeft:
        return v.x + guardBand * v.w;
    case kRight:
        return guardBand * v.w - v.x;
    case kTop:
        return v.y + guardBand * v.w;
    default:
        return guardBand * v.w - v.y;
    }
}

bool IsFinite(const KxClipVertex& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w) &&
           std::isfinite(v.nearDistance);
}

double Lerp(double from, double to, double t)
{
    return from + t * (to - from);
}

// Each byte on its own, rounded half up.
uint32_t LerpColor(uint32_t from, uint32_t to, double t)
{
    uint32_t color = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const double a = double((from >> shift) & 0xFF), b = double((to >> shift) & 0xFF);
        color |= uint32_t(Lerp(a, b, t) + 0.5) << shift;
    }
    return color;
}

// The point where the edge from the inside vertex to the outside one meets
// the plane. Always from the inside end, so an edge shared by two triangles
// gives the same point whichever way each of them runs along it.
KxClipVertex Intersect(const KxClipVertex& in, double dIn, const KxClipVertex& out, double dOut)
{
    const double t = dIn / (dIn - dOut);
    KxClipVertex v;
    v.x = Lerp(in.x, out.x, t);
    v.y = Lerp(in.y, out.y, t);
    v.z = Lerp(in.z, out.z, t);
    v.w = Lerp(in.w, out.w, t);
    v.nearDistance = Lerp(in.nearDistance, out.nearDistance, t);
    v.u = float(Lerp(in.u, out.u, t));
    v.v = float(Lerp(in.v, out.v, t));
    v.color = LerpColor(in.color, out.color, t);
    return v;
}

// The polygon's signed distances to a plane; false when one is not finite,
// which only values beyond about 10^300 reach.
bool Distances(const KxClipVertex* polygon, int32_t n, int plane, double guardBand, double* distance)
{
    for (int32_t i = 0; i < n; ++i) {
        distance[i] = Distance(polygon[i], plane, guardBand);
        if (!std::isfinite(distance[i]))
            return false;
    }
    return true;
}

// One Sutherland-Hodgman pass: each vertex inside is kept, and each edge
// that crosses the plane adds its crossing, in the polygon's order. Returns
// the count written to `to`.
int32_t ClipAgainst(const KxClipVertex* from, const double* distance, int32_t n, KxClipVertex* to)
{
    int32_t m = 0;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t j = i + 1 < n ? i + 1 : 0;
        const bool bInside = distance[i] >= 0.0, bNextInside = distance[j] >= 0.0;
        if (bInside)
            to[m++] = from[i];
        if (bInside && !bNextInside)
            to[m++] = Intersect(from[i], distance[i], from[j], distance[j]);
        else if (!bInside && bNextInside)
            to[m++] = Intersect(from[j], distance[j], from[i], distance[i]);
    }
    return m;
}

}  // namespace

KxClipVertex KxMakeClipVertex(float px, float py, float pz, float u, float v, uint32_t color,
                              const KxMatrix4& composed, const KxMatrix4& clipSpace)
{
    const auto& m = composed.m;
    const double x = px, y = py, z = pz;
    KxClipVertex vertex;
    vertex.x = x * m[0][0] + y * m[1][0] + z * m[2][0] + m[3][0];
    vertex.y = x * m[0][1] + y * m[1][1] + z * m[2][1] + m[3][1];
    vertex.z = x * m[0][2] + y * m[1][2] + z * m[2][2] + m[3][2];
    vertex.w = x * m[0][3] + y * m[1][3] + z * m[2][3] + m[3][3];
    vertex.nearDistance = KxNearDistance(px, py, pz, clipSpace);
    vertex.u = u;
    vertex.v = v;
    vertex.color = color;
    return vertex;
}

void KxClipTriangle(const KxClipVertex& a, const KxClipVertex& b, const KxClipVertex& c, double guardBand,
                    KxClipPolygon& polygon)
{
    polygon.count = 0;
    if (!IsFinite(a) || !IsFinite(b) || !IsFinite(c))
        return;
    KxClipVertex scratch[KxClipPolygon::kMaxVertices];
    KxClipVertex* from = polygon.vertices;
    KxClipVertex* to = scratch;
    from[0] = a;
    from[1] = b;
    from[2] = c;
    int32_t n = 3;
    for (int plane = kNear; plane < kPlaneCount && n >= 3; ++plane) {
        double distance[KxClipPolygon::kMaxVertices];
        if (!Distances(from, n, plane, guardBand, distance)) {
            n = 0;
            break;
        }
        n = ClipAgainst(from, distance, n, to);
        std::swap(from, to);
    }
    if (from != polygon.vertices)
        for (int32_t i = 0; i < n; ++i)
            polygon.vertices[i] = from[i];
    polygon.count = n < 3 ? 0 : n;
}

KxProjectedVertex KxProjectClipVertex(const KxClipVertex& vertex, bool bTexCoords)
{
    const float w = float(vertex.w);
    KxProjectedVertex p;
    p.x = KxScreenCoordinate(float(vertex.x / w));
    p.y = KxScreenCoordinate(float(vertex.y / w));
    p.z = float(vertex.z / w);
    p.color = vertex.color;
    p.uOverW = bTexCoords ? float(double(vertex.u) / w) : 0.0f;
    p.vOverW = bTexCoords ? float(double(vertex.v) / w) : 0.0f;
    p.invW = float(1.0 / w);
    return p;
}
