// Math values as plain float lists, so a test compares one with a table row
// in a single expectation and a failure prints every component.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "math/kxcolor.h"
#include "math/kxmatrix4.h"
#include "math/kxplane.h"
#include "math/kxquaternion.h"
#include "math/kxvector3.h"

typedef std::vector<float> KxFloats;

inline KxFloats Floats(const KxVector3& v) { return {v.x, v.y, v.z}; }
inline KxFloats Floats(const KxColor& c) { return {c.r, c.g, c.b, c.a}; }
inline KxFloats Floats(const KxPlane& p) { return {p.a, p.b, p.c, p.d}; }
inline KxFloats Floats(const KxQuaternion& q) { return {q.w, q.x, q.y, q.z}; }
inline KxFloats Floats(const KxMatrix4& m) { return KxFloats(&m.m[0][0], &m.m[0][0] + 16); }

// Every component within tolerance of the expected one.
inline ::testing::AssertionResult Near(const KxFloats& actual, const KxFloats& expected, float tolerance)
{
    for (size_t i = 0; i < actual.size(); ++i)
        if (!(std::abs(actual[i] - expected[i]) <= tolerance))
            return ::testing::AssertionFailure() << "component " << i << ": " << actual[i] << " vs " << expected[i];
    return ::testing::AssertionSuccess();
}
