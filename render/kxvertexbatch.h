// A draw's vertices in small batches: gathered from the buffer into compact
// arrays, one array per value, then transformed to the screen and lit
// together, four at a time where the processor has the lanes.
#pragma once

#include <cstdint>
#include <limits>

#include "math/kxmatrix4.h"
#include "render/kxlightterms.h"
#include "render/kxsoftwarerenderdevice.h"

struct KxVertexBatch {
    static constexpr int32_t kTriangles = 64;
    static constexpr int32_t kVertices = 3 * kTriangles;

    int32_t count = 0;
    // In: object-space position and normal, texture coordinates.
    alignas(32) float px[kVertices], py[kVertices], pz[kVertices];
    alignas(32) float nx[kVertices], ny[kVertices], nz[kVertices];
    alignas(32) float u[kVertices], v[kVertices];
    // Out: what the fillers take.
    alignas(32) int32_t x[kVertices], y[kVertices];
    alignas(32) float z[kVertices], uOverW[kVertices], vOverW[kVertices], invW[kVertices];
    alignas(32) uint32_t color[kVertices];
    // Whether the vertex needs no clipping (KxNeedsNoClipping).
    alignas(32) uint8_t bUnclipped[kVertices];
};

// How a draw takes its vertices to the screen: the composed matrix for the
// positions, the same before the viewport (clip space, for the near plane),
// the normal matrix (the 3x3 of the inverse world), the lighting, whether
// the normals are normalised first (the depth-tested path), whether there
// are texture coordinates to divide by w, and the world matrix, which
// point and spot lights need the vertices' world positions from.
struct KxVertexTransform {
    const KxMatrix4* combined;
    const KxMatrix4* clipSpace;
    const KxMatrix4* normalMatrix;
    const KxLightTerms* lighting;
    bool bNormalize;
    bool bTexCoords;
    const KxMatrix4* world = nullptr;
};

// The screen position x or y: value + 0.5 truncated toward zero. Non-finite
// and far out values become a coordinate the fillers refuse.
int32_t KxScreenCoordinate(float value);

// A vertex the fillers can take as it is: in front of the near plane
// (near >= 0), w positive and finite, and its screen position inside the
// guard band. A triangle of three such vertices is not clipped.
inline bool KxNeedsNoClipping(double nearDistance, float w, int32_t x, int32_t y)
{
    const int32_t band = KxSoftwareRenderDevice::kGuardBand;
    return nearDistance >= 0.0 && w > 0.0f && w < std::numeric_limits<float>::infinity() && x >= -band &&
           x <= band && y >= -band && y <= band;
}

// Every vertex of the batch, by the widest path the processor has.
void KxTransformVertices(const KxVertexTransform& transform, KxVertexBatch& batch);

// Vertices first .. first + count - 1, one at a time: the reference the
// vector path is compared with, and its fallback.
void KxTransformVerticesScalar(const KxVertexTransform& transform, KxVertexBatch& batch, int32_t first,
                               int32_t count);

// The colours of vertices first .. first + count - 1 whose normals the
// batch already holds transformed (and normalised where asked), under
// lighting with point or spot lights.
void KxShadeAtWorldPositions(const KxVertexTransform& transform, KxVertexBatch& batch, int32_t first,
                             int32_t count);
