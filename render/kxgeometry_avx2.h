// The geometry's AVX2 path: four vertices or four triangles at a time in
// double lanes, computing what the scalar path computes. Chosen at run time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "math/kxmatrix4.h"
#include "render/kxvertexbatch.h"

// Whether this processor has AVX2 (false where the path is not built).
bool KxGeometryAvx2Available();

// Every vertex of the batch.
void KxTransformVerticesAvx2(const KxVertexTransform& transform, KxVertexBatch& batch);

// KxKeepsFace flags of triangles first .. first + count - 1 of the block
// whose positions open vertices of stride bytes: the AVX2 path takes the
// leading groups of four whose positions it can read 16 bytes at a time
// inside length bytes, and returns how many triangles it did.
uint32_t KxMarkKeptFacesAvx2(const uint8_t* data, size_t length, int32_t stride, uint32_t first, uint32_t count,
                             const KxMatrix4& world, const KxVector3& eye, uint32_t cullMode, std::vector<bool>& kept);
