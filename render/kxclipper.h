// The clipper: one triangle in homogeneous coordinates, cut by the near
// plane and the guard band before the divide by w, comes back as a convex
// polygon to fill as a fan. It knows nothing of how triangles are assembled:
// whatever forms a triangle hands its three vertices here.
#pragma once

#include <cstdint>

#include "math/kxmatrix4.h"

// A vertex before the divide: its position times the composed matrix, its
// distance to the near plane and the attributes that are interpolated.
struct KxClipVertex {
    double x, y, z, w;    // (position, 1) x composed matrix, viewport included, not divided
    double nearDistance;  // clip-space z: the composed matrix before the viewport; in front when >= 0
    float u, v;           // texture coordinates, not divided
    uint32_t color;       // packed colour, all four bytes
};

// What is left of a triangle: a convex polygon in the input's winding, to
// be filled as a fan from its first vertex. Each of the five planes adds at
// most half the polygon's vertices: 3, 4, 6, 9, 13, 19.
struct KxClipPolygon {
    static constexpr int32_t kMaxVertices = 19;
    KxClipVertex vertices[kMaxVertices];
    int32_t count = 0;

    struct Corners {
        int32_t a, b, c;
    };

    int32_t TriangleCount() const { return count < 3 ? 0 : count - 2; }
    // The vertices of fan triangle i, 0 .. TriangleCount() - 1, in order.
    Corners Triangle(int32_t i) const { return {0, i + 1, i + 2}; }
};

// A vertex's screen values, as the fillers take them.
struct KxProjectedVertex {
    int32_t x, y;
    float z;
    uint32_t color;
    float uOverW, vOverW, invW;
};

// The near distance of an object-space position: (x, y, z, 1) times column
// 2 of the clip-space matrix, summed left to right in double.
inline double KxNearDistance(float x, float y, float z, const KxMatrix4& clipSpace)
{
    const auto& m = clipSpace.m;
    return double(x) * m[0][2] + double(y) * m[1][2] + double(z) * m[2][2] + m[3][2];
}

// An object-space vertex in homogeneous form: the sums of TransformPoint,
// before the divide.
KxClipVertex KxMakeClipVertex(float px, float py, float pz, float u, float v, uint32_t color,
                              const KxMatrix4& composed, const KxMatrix4& clipSpace);

// Clips triangle a b c against the near plane, then the guard band's
// four sides |x / w| <= guardBand and |y / w| <= guardBand. A triangle with
// a coordinate or near distance that is not finite leaves nothing.
void KxClipTriangle(const KxClipVertex& a, const KxClipVertex& b, const KxClipVertex& c, double guardBand,
                    KxClipPolygon& polygon);

// The divide, as TransformPoint and the vertex batch do it: w rounded to
// float first. Without texture coordinates u/w and v/w are 0.
KxProjectedVertex KxProjectClipVertex(const KxClipVertex& vertex, bool bTexCoords);
