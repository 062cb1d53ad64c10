// The bounding radius a binding measures: the largest distance of a
// block's positions from the origin.
#pragma once

#include <cstddef>
#include <cstdint>

// The largest KxVector3::Length of the positions opening the first count
// vertices of stride bytes in the block of length bytes, kept with a strict
// > from 0, so a NaN length never counts. By the widest path the processor
// has; every path gives the same bits.
float KxBoundsRadius(const uint8_t* data, size_t length, size_t stride, uint32_t count);

// The same over vertices first .. first + count - 1, one at a time, going
// on from radius: the definition the other paths are checked against.
float KxBoundsRadiusScalar(const uint8_t* data, size_t stride, uint32_t first, uint32_t count, float radius);

// The AVX2 path: the radius of the leading vertices whose positions it can
// read 16 bytes at a time inside the block (0 for none), and how many it
// took. Call it only when KxGeometryAvx2Available(); where the path is not
// built it takes none.
uint32_t KxBoundsRadiusAvx2(const uint8_t* data, size_t length, size_t stride, uint32_t count, float& radius);
