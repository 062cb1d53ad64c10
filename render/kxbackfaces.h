// The back-face test of a draw: every triangle's positions taken to world
// space and tested against the eye under the cull mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "math/kxmatrix4.h"
#include "math/kxvector3.h"
#include "render/kxrasterstates.h"

// (eye - p0) . ((p1 - p0) x (p2 - p0)): positive where the vertices run
// clockwise as the eye sees them, 0 edge-on.
inline float KxFacingDot(const KxVector3& eye, const KxVector3& p0, const KxVector3& p1, const KxVector3& p2)
{
    const KxVector3 normal = (p1 - p0).Cross(p2 - p0);
    const KxVector3 toEye = eye - p0;
    return toEye.Dot(normal);
}

// Whether the triangle p0 p1 p2 faces the eye; edge-on counts as facing.
inline bool KxFacesEye(const KxVector3& eye, const KxVector3& p0, const KxVector3& p1, const KxVector3& p2)
{
    return KxFacingDot(eye, p0, p1, p2) >= 0.0f;
}

// Whether a triangle whose facing dot is d is drawn under the cull mode.
// Both culling modes keep an edge-on triangle (d = 0) and drop one whose d
// is NaN; KXCULL_NONE keeps every triangle.
inline bool KxKeepsFace(uint32_t cullMode, float d)
{
    if (cullMode == KXCULL_NONE)
        return true;
    return cullMode == KXCULL_CW ? d <= 0.0f : d >= 0.0f;
}

// kept[i] for triangles first .. first + count - 1 of the block (length
// bytes) whose positions open vertices of stride bytes, by the widest path
// the processor has.
void KxMarkKeptFaces(const uint8_t* data, size_t length, int32_t stride, uint32_t first, uint32_t count,
                     const KxMatrix4& world, const KxVector3& eye, uint32_t cullMode, std::vector<bool>& kept);

// Triangles first .. first + count - 1, one at a time.
void KxMarkKeptFacesScalar(const uint8_t* data, int32_t stride, uint32_t first, uint32_t count,
                           const KxMatrix4& world, const KxVector3& eye, uint32_t cullMode, std::vector<bool>& kept);
