// The geometry's AVX2 path against its scalar path on random vertex batches
// and blocks: every output bit must agree, and so must the marks of the
// vertices that need clipping. (Back faces are marked in lanes too; the
// pipeline reference compares their marks with its own.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "kxtestdevice.h"
#include "render/kxboundsradius.h"
#include "render/kxgeometry_avx2.h"
#include "render/kxvertexbatch.h"

namespace {

struct KxRandom : KxTestRandom {
    // Mostly ordinary values, now and then one that tests an edge: zero of
    // either sign, huge, tiny, infinite, NaN.
    float Value(float spread)
    {
        if (!Chance(3))
            return Uniform(-spread, spread);
        const float special[] = {0.0f, -0.0f, 1e30f, -3e38f, 1e-40f, std::numeric_limits<float>::infinity(),
                                 std::nanf(""), 1.0f};
        return special[rng() % std::size(special)];
    }

    KxColor Color()
    {
        return KxColor(Uniform(-0.5f, 1.5f), Uniform(0.0f, 1.0f), Uniform(0.0f, 1.2f),
                       Chance(70) ? 1.0f : Value(2.0f));
    }

    KxMatrix4 Matrix(float spread)
    {
        KxMatrix4 m;
        for (auto& row : m.m)
            for (float& e : row)
                e = Uniform(-spread, spread);
        if (Chance(50)) {
            m.m[0][3] = m.m[1][3] = m.m[2][3] = 0.0f;  // affine: w is 1
            m.m[3][3] = 1.0f;
        }
        return m;
    }

    KxLightTerms Lighting()
    {
        KxLightTerms terms{Chance(90), Chance(40), {}, Color(), Color(),
                           Chance(50) ? KxColor(0, 0, 0, Chance(80) ? 1.0f : 0.0f) : Color(),
                           Chance(30) ? 0.0f : Uniform(0.0f, 30.0f)};
        for (int n = Int(0, 3); n > 0; --n)
            terms.lights.push_back({KxVector3(Value(1), Value(1), Value(1)), Color(),
                                    KxVector3(Value(1), Value(1), Value(1)), Color()});
        return terms;
    }
};

// Bit for bit, but a float NaN's sign and payload depend on which operand
// the compiler puts first in a sum, in the scalar code too; every use of a
// value tests it, so any NaN stands for any other.
template <typename T>
bool SameBits(const T* a, const T* b, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (std::memcmp(&a[i], &b[i], 4) != 0 && !(std::isnan(float(a[i])) && std::isnan(float(b[i]))))
            return false;
    return true;
}

}  // namespace

TEST(GeometryLanes, VertexBatchesMatchTheScalarPath)
{
    if (!KxGeometryAvx2Available())
        GTEST_SKIP() << "no AVX2";
    KxRandom r{{std::mt19937(7)}};
    for (int round = 0; round < 2000; ++round) {
        SCOPED_TRACE(round);
        KxMatrix4 combined = r.Matrix(r.Chance(50) ? 2.0f : 300.0f);
        KxMatrix4 clipSpace = r.Matrix(2.0f);
        const KxMatrix4 normals = r.Matrix(1.5f);
        // Now and then screen positions about the guard band's edges.
        const bool bNearBand = r.Chance(15);
        if (bNearBand)
            combined = KxMatrix4().SetScaling(KxSoftwareRenderDevice::kGuardBand * r.Uniform(0.99f, 1.01f),
                                              KxSoftwareRenderDevice::kGuardBand * r.Uniform(0.99f, 1.01f), 1.0f);
        // A viewport that keeps z leaves column 2 as it was in clip space.
        if (r.Chance(40))
            for (auto& row : clipSpace.m)
                row[2] = combined.m[&row - clipSpace.m][2];
        const KxLightTerms lighting = r.Lighting();
        const KxVertexTransform t{&combined, &clipSpace, &normals, &lighting, r.Chance(60), r.Chance(70)};
        KxVertexBatch in;
        in.count = int32_t(r.rng() % (KxVertexBatch::kVertices + 1));
        for (int32_t i = 0; i < in.count; ++i) {
            const float spread = bNearBand ? 1.0f : r.Chance(10) ? 1e7f : 3.0f;
            for (float* value : {&in.px[i], &in.py[i], &in.pz[i]})
                *value = r.Value(spread);
            for (float* value : {&in.nx[i], &in.ny[i], &in.nz[i]})
                *value = r.Value(1.0f);
            in.u[i] = r.Value(2.0f);
            in.v[i] = r.Value(2.0f);
        }
        KxVertexBatch lanes = in, scalar = in;
        KxTransformVerticesAvx2(t, lanes);
        KxTransformVerticesScalar(t, scalar, 0, scalar.count);
        const size_t n = size_t(in.count);
        ASSERT_TRUE(SameBits(lanes.x, scalar.x, n) && SameBits(lanes.y, scalar.y, n) &&
                    SameBits(lanes.z, scalar.z, n) && SameBits(lanes.uOverW, scalar.uOverW, n) &&
                    SameBits(lanes.vOverW, scalar.vOverW, n) && SameBits(lanes.invW, scalar.invW, n) &&
                    SameBits(lanes.color, scalar.color, n));
        ASSERT_EQ(std::memcmp(lanes.bUnclipped, scalar.bUnclipped, n), 0);
    }
}

// The radius pass over random blocks: any stride from 12 bytes, any count,
// blocks that end right after the last position (the sanitizer build
// checks every read), and positions with NaN, infinities, zeros of either
// sign and squares past the float range.
TEST(GeometryLanes, BoundsRadiusMatchesTheScalarPath)
{
    if (!KxGeometryAvx2Available())
        GTEST_SKIP() << "no AVX2";
    KxRandom r{{std::mt19937(11)}};
    for (int round = 0; round < 3000; ++round) {
        SCOPED_TRACE(round);
        const size_t stride = 12 + 4 * size_t(r.Int(0, 13));
        const uint32_t count = uint32_t(r.Chance(5) ? r.Int(0, 3) : r.Int(4, 90));
        const size_t length = count * stride + (count > 0 && r.Chance(50) ? 0 : size_t(r.Int(0, 20)));
        const float spread = r.Chance(20) ? 1e19f : r.Chance(50) ? 1e-21f : 50.0f;
        std::vector<uint8_t> block(length);
        for (size_t i = 0; i + 4 <= length; i += 4) {
            const float value = r.Value(spread);
            std::memcpy(&block[i], &value, 4);
        }
        float lanes = -1.0f;
        const uint32_t done = KxBoundsRadiusAvx2(block.data(), length, stride, count, lanes);
        // Whole groups of four, every 16-byte read inside, and no group left
        // that would fit.
        auto fits = [&](uint32_t n) { return n == 0 || (n - 1) * stride + 16 <= length; };
        ASSERT_TRUE(done % 4 == 0 && done <= count && fits(done));
        ASSERT_TRUE(done + 4 > count || !fits(done + 4));
        const float scalar = KxBoundsRadiusScalar(block.data(), stride, 0, count, 0.0f);
        const float both = KxBoundsRadiusScalar(block.data(), stride, done, count - done, lanes);
        const float chosen = KxBoundsRadius(block.data(), length, stride, count);
        ASSERT_TRUE(done < count || std::memcmp(&lanes, &scalar, 4) == 0);
        ASSERT_TRUE(std::memcmp(&both, &scalar, 4) == 0 && std::memcmp(&chosen, &scalar, 4) == 0)
            << both << " " << chosen << " " << scalar;
    }
}
