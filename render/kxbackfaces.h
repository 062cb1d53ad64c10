// The back-face test of a draw: every triangle's positions taken to world
// space and tested against the eye.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "math/kxmatrix4.h"
#include "math/kxvector3.h"

// Whether the triangle p0 p1 p2 faces the eye: (p1 - p0) x (p2 - p0)
// against eye - p0; edge-on counts as facing.
inline bool KxFacesEye(const KxVector3& eye, const KxVector3& p0, const KxVector3& p1, const KxVector3& p2)
{
    const KxVector3 normal = (p1 - p0).Cross(p2 - p0);
    const KxVector3 toEye = eye - p0;
    return toEye.Dot(normal) >= 0.0f;
}

// front[i] for triangles first .. first + count - 1 of the block (length
// bytes) whose positions open vertices of stride bytes, by the widest path
// the processor has.
void KxMarkFrontFaces(const uint8_t* data, size_t length, int32_t stride, uint32_t first, uint32_t count,
                      const KxMatrix4& world, const KxVector3& eye, std::vector<bool>& front);

// Triangles first .. first + count - 1, one at a time.
void KxMarkFrontFacesScalar(const uint8_t* data, int32_t stride, uint32_t first, uint32_t count,
                            const KxMatrix4& world, const KxVector3& eye, std::vector<bool>& front);
