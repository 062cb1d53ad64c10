// The geometry's AVX2 path. Float values live in double lanes; wherever the
// scalar path stores a float, the lanes are rounded to float and back, and
// every sum keeps the scalar path's order. A packed double operation rounds
// each lane as the scalar one does, so the results agree bit for bit.
#include "render/kxgeometry_avx2.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "render/kxsoftwarerenderdevice.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

// Per function, so the rest of the program still runs on any x86-64. No
// fused multiply-add: the target names AVX2 alone.
#define KX_AVX2 __attribute__((target("avx2")))
#define KX_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace {

KX_AVX2_INLINE __m256d RoundToFloat(__m256d v)
{
    return _mm256_cvtps_pd(_mm256_cvtpd_ps(v));
}

KX_AVX2_INLINE __m256d Lanes(double v)
{
    return _mm256_set1_pd(v);
}

KX_AVX2_INLINE __m256d Load(const float* p)
{
    return _mm256_cvtps_pd(_mm_load_ps(p));
}

// A matrix's elements widened to double once.
struct KxMatrixD {
    double m[4][4];
    explicit KxMatrixD(const KxMatrix4& mat)
    {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                m[r][c] = mat.m[r][c];
    }
};

// x m0c + y m1c + z m2c, summed left to right.
KX_AVX2_INLINE __m256d Column3(__m256d x, __m256d y, __m256d z, const KxMatrixD& mat, int c)
{
    const __m256d xy = _mm256_add_pd(_mm256_mul_pd(x, Lanes(mat.m[0][c])), _mm256_mul_pd(y, Lanes(mat.m[1][c])));
    return _mm256_add_pd(xy, _mm256_mul_pd(z, Lanes(mat.m[2][c])));
}

KX_AVX2_INLINE __m256d Column4(__m256d x, __m256d y, __m256d z, const KxMatrixD& mat, int c)
{
    return _mm256_add_pd(Column3(x, y, z, mat, c), Lanes(mat.m[3][c]));
}

struct KxPointLanes {
    __m256d x, y, z, w;
};

// KxVector3::TransformPoint: w rounded to float, then each column divided
// by it. Dividing by a w of exactly 1 changes nothing, so an affine matrix
// skips the divisions.
KX_AVX2_INLINE KxPointLanes TransformPoint(__m256d x, __m256d y, __m256d z, const KxMatrixD& mat)
{
    KxPointLanes p;
    p.w = RoundToFloat(Column4(x, y, z, mat, 3));
    p.x = Column4(x, y, z, mat, 0);
    p.y = Column4(x, y, z, mat, 1);
    p.z = Column4(x, y, z, mat, 2);
    if (_mm256_movemask_pd(_mm256_cmp_pd(p.w, Lanes(1.0), _CMP_NEQ_UQ)) != 0) {
        p.x = _mm256_div_pd(p.x, p.w);
        p.y = _mm256_div_pd(p.y, p.w);
        p.z = _mm256_div_pd(p.z, p.w);
    }
    p.x = RoundToFloat(p.x);
    p.y = RoundToFloat(p.y);
    p.z = RoundToFloat(p.z);
    return p;
}

// (x a + y b) + z c: KxVector3::Dot, rounded to float.
KX_AVX2_INLINE __m128 Dot(__m256d x, __m256d y, __m256d z, const KxVector3& v)
{
    const __m256d xy = _mm256_add_pd(_mm256_mul_pd(x, Lanes(v.x)), _mm256_mul_pd(y, Lanes(v.y)));
    return _mm256_cvtpd_ps(_mm256_add_pd(xy, _mm256_mul_pd(z, Lanes(v.z))));
}

// ----- The back-face test, four triangles at a time -----

// The positions of vertex k of triangles t .. t + 3, each read as 16 bytes
// and transposed.
KX_AVX2_INLINE void LoadPositions(const uint8_t* data, size_t stride, uint32_t t, int k, __m256d& x, __m256d& y,
                                  __m256d& z)
{
    __m128 p[4];
    for (int j = 0; j < 4; ++j)
        p[j] = _mm_loadu_ps(reinterpret_cast<const float*>(data + (3 * size_t(t + j) + size_t(k)) * stride));
    _MM_TRANSPOSE4_PS(p[0], p[1], p[2], p[3]);
    x = _mm256_cvtps_pd(p[0]);
    y = _mm256_cvtps_pd(p[1]);
    z = _mm256_cvtps_pd(p[2]);
}

// KxKeepsFace of four triangles under a culling mode, as four bits: the
// ordered comparisons drop NaN as the scalar ones do.
KX_AVX2_INLINE int KeptFaces(const KxPointLanes p[3], const __m256d eye[3], uint32_t cullMode)
{
    const __m256d e1x = RoundToFloat(_mm256_sub_pd(p[1].x, p[0].x));
    const __m256d e1y = RoundToFloat(_mm256_sub_pd(p[1].y, p[0].y));
    const __m256d e1z = RoundToFloat(_mm256_sub_pd(p[1].z, p[0].z));
    const __m256d e2x = RoundToFloat(_mm256_sub_pd(p[2].x, p[0].x));
    const __m256d e2y = RoundToFloat(_mm256_sub_pd(p[2].y, p[0].y));
    const __m256d e2z = RoundToFloat(_mm256_sub_pd(p[2].z, p[0].z));
    const __m256d nx = RoundToFloat(_mm256_sub_pd(_mm256_mul_pd(e1y, e2z), _mm256_mul_pd(e1z, e2y)));
    const __m256d ny = RoundToFloat(_mm256_sub_pd(_mm256_mul_pd(e1z, e2x), _mm256_mul_pd(e1x, e2z)));
    const __m256d nz = RoundToFloat(_mm256_sub_pd(_mm256_mul_pd(e1x, e2y), _mm256_mul_pd(e1y, e2x)));
    const __m256d tx = RoundToFloat(_mm256_sub_pd(eye[0], p[0].x));
    const __m256d ty = RoundToFloat(_mm256_sub_pd(eye[1], p[0].y));
    const __m256d tz = RoundToFloat(_mm256_sub_pd(eye[2], p[0].z));
    const __m256d txy = _mm256_add_pd(_mm256_mul_pd(tx, nx), _mm256_mul_pd(ty, ny));
    const __m256d dot = RoundToFloat(_mm256_add_pd(txy, _mm256_mul_pd(tz, nz)));
    if (cullMode == KXCULL_CW)
        return _mm256_movemask_pd(_mm256_cmp_pd(dot, _mm256_setzero_pd(), _CMP_LE_OQ));
    return _mm256_movemask_pd(_mm256_cmp_pd(dot, _mm256_setzero_pd(), _CMP_GE_OQ));
}

// ----- Vertex lighting, four vertices at a time -----

// One colour per channel r, g, b, a, four vertices a vector.
struct KxColorLanes {
    __m128 c[4];
};

KX_AVX2_INLINE float Channel(const KxColor& color, int k)
{
    const float channels[4] = {color.r, color.g, color.b, color.a};
    return channels[k];
}

// c + e limited to at most 1: the minimum returns its second operand when
// either is NaN, so a NaN sum stays, as in the scalar comparison.
KX_AVX2_INLINE __m128 AddClamped(__m128 c, __m128 e)
{
    return _mm_min_ps(_mm_set1_ps(1.0f), _mm_add_ps(c, e));
}

// sum += color x factor, clamped, channel by channel.
KX_AVX2_INLINE void AddScaled(KxColorLanes& sum, const KxColor& color, __m128 factor)
{
    for (int k = 0; k < 4; ++k)
        sum.c[k] = AddClamped(sum.c[k], _mm_mul_ps(_mm_set1_ps(Channel(color, k)), factor));
}

// The single-precision power of each lane, by the scalar function.
KX_AVX2_INLINE __m128 Power(__m128 base, float exponent)
{
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, base);
    for (float& lane : lanes)
        lane = std::pow(lane, exponent);
    return _mm_load_ps(lanes);
}

// KxLightTerms::Shade's packing: each channel times 255 over alpha, its
// truncation's low byte; black where alpha is 0. The vertex alpha comes
// after. Quotients outside the
// 32-bit range take the scalar conversion.
KX_AVX2_INLINE __m128i Pack(const KxColorLanes& total)
{
    const __m256d alpha = _mm256_cvtps_pd(total.c[3]);
    const __m256d zeroAlpha = _mm256_cmp_pd(alpha, _mm256_setzero_pd(), _CMP_EQ_OQ);
    const __m256d limit = Lanes(2147483648.0);
    const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    __m256d bad = _mm256_setzero_pd();
    __m128i channel[3];
    for (int k = 0; k < 3; ++k) {
        const __m256d q = _mm256_div_pd(_mm256_mul_pd(_mm256_cvtps_pd(total.c[k]), Lanes(255.0)), alpha);
        bad = _mm256_or_pd(bad, _mm256_cmp_pd(_mm256_and_pd(q, absMask), limit, _CMP_NLT_UQ));
        channel[k] = _mm_and_si128(_mm256_cvttpd_epi32(q), _mm_set1_epi32(0xFF));
    }
    if (_mm256_movemask_pd(_mm256_andnot_pd(zeroAlpha, bad)) != 0) {
        alignas(16) float c[4][4];
        alignas(16) int32_t lanes[3][4];
        for (int k = 0; k < 4; ++k)
            _mm_store_ps(c[k], total.c[k]);
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 3; ++k)
                lanes[k][j] = int32_t(KxLitChannel(double(c[k][j]) * 255.0 / double(c[3][j])));
        for (int k = 0; k < 3; ++k)
            channel[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(lanes[k]));
    }
    const __m128i packed =
        _mm_or_si128(_mm_or_si128(channel[0], _mm_slli_epi32(channel[1], 8)), _mm_slli_epi32(channel[2], 16));
    const __m128i keep = _mm_castps_si128(_mm_cmpneq_ps(total.c[3], _mm_setzero_ps()));
    return _mm_and_si128(packed, keep);
}

KX_AVX2_INLINE __m128i AlphaBits(const KxLightTerms& terms)
{
    return _mm_set1_epi32(int32_t(terms.alphaBits));
}

// KxLightTerms::Shade for four normals.
KX_AVX2_INLINE __m128i Shade(const KxLightTerms& terms, __m256d nx, __m256d ny, __m256d nz)
{
    if (!terms.bLighting)
        return AlphaBits(terms);
    const __m128 zero = _mm_setzero_ps();
    KxColorLanes diffuseSum = {{zero, zero, zero, zero}}, specularSum = diffuseSum;
    for (const KxLightTerm& light : terms.lights) {
        const __m128 d = Dot(nx, ny, nz, light.toLight);
        AddScaled(diffuseSum, light.diffuse, _mm_andnot_ps(_mm_cmplt_ps(d, zero), d));
        if (terms.bSpecular) {
            const __m128 s = Dot(nx, ny, nz, light.halfway);
            AddScaled(specularSum, light.specular, Power(_mm_and_ps(_mm_cmpgt_ps(s, zero), s), terms.power));
        }
    }
    KxColorLanes total;
    for (int k = 0; k < 4; ++k) {
        __m128 c = AddClamped(_mm_set1_ps(Channel(terms.ambient, k)), diffuseSum.c[k]);
        if (terms.bSpecular)
            c = AddClamped(c, _mm_mul_ps(_mm_set1_ps(Channel(terms.materialSpecular, k)), specularSum.c[k]));
        total.c[k] = AddClamped(c, _mm_set1_ps(Channel(terms.emissive, k)));
    }
    return _mm_or_si128(Pack(total), AlphaBits(terms));
}

// ----- Vertices to the screen, four at a time -----

// KxScreenCoordinate of four values; any lane out of range takes the
// scalar function. inBand: the lanes whose coordinate lands within the
// guard band, which truncating value + 0.5 does exactly when its magnitude
// is below the band plus 1.
KX_AVX2_INLINE __m128i ScreenCoordinates(__m256d v, int& inBand)
{
    const __m256d rounded = _mm256_add_pd(v, Lanes(0.5));
    const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    const __m256d magnitude = _mm256_and_pd(rounded, absMask);
    inBand = _mm256_movemask_pd(
        _mm256_cmp_pd(magnitude, Lanes(KxSoftwareRenderDevice::kGuardBand + 1.0), _CMP_LT_OQ));
    const __m256d inside = _mm256_cmp_pd(magnitude, Lanes(2147483648.0), _CMP_LT_OQ);
    if (_mm256_movemask_pd(inside) == 0xF)
        return _mm256_cvttpd_epi32(rounded);
    alignas(16) float values[4];
    alignas(16) int32_t screen[4];
    _mm_store_ps(values, _mm256_cvtpd_ps(v));
    for (int j = 0; j < 4; ++j)
        screen[j] = KxScreenCoordinate(values[j]);
    return _mm_load_si128(reinterpret_cast<const __m128i*>(screen));
}

KX_AVX2_INLINE void Store(float* p, __m256d v)
{
    _mm_store_ps(p, _mm256_cvtpd_ps(v));
}

// KxNeedsNoClipping of four vertices, one byte each (0 or 1) in a word.
KX_AVX2_INLINE uint32_t NeedsNoClipping(__m256d nearDistance, __m256d w, int inBand)
{
    const __m256d finite = _mm256_cmp_pd(w, Lanes(std::numeric_limits<double>::infinity()), _CMP_LT_OQ);
    const int bits = _mm256_movemask_pd(_mm256_cmp_pd(nearDistance, _mm256_setzero_pd(), _CMP_GE_OQ)) &
                     _mm256_movemask_pd(_mm256_and_pd(_mm256_cmp_pd(w, _mm256_setzero_pd(), _CMP_GT_OQ), finite)) &
                     inBand;
    // Bit k to bit 8k.
    return (uint32_t(bits) * 0x00204081u) & 0x01010101u;
}

// How TransformPositions marks the vertices that need clipping: from a near distance that is the sum
// TransformPoint forms for z (the viewport keeps z, so column 2 is the same
// in both matrices, and the compiler shares the sum), or one of its own.
enum KxMarking { kNearIsZ, kNearOfItsOwn };

// Positions to the screen, with the texture coordinates and 1/w, and
// whether each vertex needs clipping.
template <KxMarking marking>
KX_AVX2_INLINE void TransformPositions(const KxVertexTransform& t, const KxMatrixD& combined,
                                       const KxMatrixD& clipSpace, KxVertexBatch& b, int32_t i)
{
    const __m256d px = Load(b.px + i), py = Load(b.py + i), pz = Load(b.pz + i);
    const KxPointLanes p = TransformPoint(px, py, pz, combined);
    int xInBand, yInBand;
    const __m128i x = ScreenCoordinates(p.x, xInBand), y = ScreenCoordinates(p.y, yInBand);
    _mm_store_si128(reinterpret_cast<__m128i*>(b.x + i), x);
    _mm_store_si128(reinterpret_cast<__m128i*>(b.y + i), y);
    Store(b.z + i, p.z);
    if (t.bTexCoords) {
        Store(b.uOverW + i, _mm256_div_pd(Load(b.u + i), p.w));
        Store(b.vOverW + i, _mm256_div_pd(Load(b.v + i), p.w));
    } else {
        _mm_store_ps(b.uOverW + i, _mm_setzero_ps());
        _mm_store_ps(b.vOverW + i, _mm_setzero_ps());
    }
    Store(b.invW + i, _mm256_div_pd(Lanes(1.0), p.w));
    const __m256d nearDistance = Column4(px, py, pz, marking == kNearIsZ ? combined : clipSpace, 2);
    const uint32_t flags = NeedsNoClipping(nearDistance, p.w, xInBand & yInBand);
    std::memcpy(b.bUnclipped + i, &flags, 4);
}

template <KxMarking marking>
KX_AVX2_INLINE void TransformAllPositions(const KxVertexTransform& t, const KxMatrixD& combined,
                                          const KxMatrixD& clipSpace, KxVertexBatch& b, int32_t groups)
{
    for (int32_t i = 0; i < groups; i += 4)
        TransformPositions<marking>(t, combined, clipSpace, b, i);
}

// KxVector3::TransformNormal, then Normalized where asked: the squared
// length and the length rounded to float, the reciprocal of the length
// rounded to float, three float products. In place.
KX_AVX2_INLINE void TransformNormals(const KxVertexTransform& t, const KxMatrixD& normals, KxVertexBatch& b,
                                     int32_t i)
{
    const __m256d nx = Load(b.nx + i), ny = Load(b.ny + i), nz = Load(b.nz + i);
    __m256d mx = RoundToFloat(Column3(nx, ny, nz, normals, 0));
    __m256d my = RoundToFloat(Column3(nx, ny, nz, normals, 1));
    __m256d mz = RoundToFloat(Column3(nx, ny, nz, normals, 2));
    if (t.bNormalize) {
        const __m256d xy = _mm256_add_pd(_mm256_mul_pd(mx, mx), _mm256_mul_pd(my, my));
        const __m256d squared = RoundToFloat(_mm256_add_pd(xy, _mm256_mul_pd(mz, mz)));
        const __m256d length = RoundToFloat(_mm256_sqrt_pd(squared));
        const __m256d r = RoundToFloat(_mm256_div_pd(Lanes(1.0), length));
        mx = _mm256_mul_pd(mx, r);
        my = _mm256_mul_pd(my, r);
        mz = _mm256_mul_pd(mz, r);
    }
    Store(b.nx + i, mx);
    Store(b.ny + i, my);
    Store(b.nz + i, mz);
}

// The colours of the first groups vertices from their transformed normals.
KX_AVX2 __attribute__((noinline)) void ShadeGroups(const KxLightTerms& terms, KxVertexBatch& b, int32_t groups)
{
    for (int32_t i = 0; i < groups; i += 4) {
        const __m256d nx = Load(b.nx + i), ny = Load(b.ny + i), nz = Load(b.nz + i);
        _mm_store_si128(reinterpret_cast<__m128i*>(b.color + i), Shade(terms, nx, ny, nz));
    }
}

bool SameColumn2(const KxMatrix4& a, const KxMatrix4& b)
{
    for (int r = 0; r < 4; ++r)
        if (std::memcmp(&a.m[r][2], &b.m[r][2], sizeof(float)) != 0)
            return false;
    return true;
}

bool DetectAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

const bool bHasAvx2 = DetectAvx2();

}  // namespace

bool KxGeometryAvx2Available()
{
    return bHasAvx2;
}

KX_AVX2 void KxTransformVerticesAvx2(const KxVertexTransform& transform, KxVertexBatch& batch)
{
    // The scalar path takes the last few vertices first, from the normals
    // as they are read. Then one pass per stage: the iterations of a pass
    // are independent, so the processor overlaps their long divisions.
    const int32_t groups = batch.count / 4 * 4;
    KxTransformVerticesScalar(transform, batch, groups, batch.count - groups);
    const KxMatrixD combined(*transform.combined), clipSpace(*transform.clipSpace),
        normals(*transform.normalMatrix);
    if (SameColumn2(*transform.combined, *transform.clipSpace))
        TransformAllPositions<kNearIsZ>(transform, combined, clipSpace, batch, groups);
    else
        TransformAllPositions<kNearOfItsOwn>(transform, combined, clipSpace, batch, groups);
    for (int32_t i = 0; i < groups; i += 4)
        TransformNormals(transform, normals, batch, i);
    // Point and spot lights are shaded one vertex at a time.
    if (transform.lighting->bLocalLights)
        KxShadeAtWorldPositions(transform, batch, 0, groups);
    else
        ShadeGroups(*transform.lighting, batch, groups);
}

KX_AVX2 uint32_t KxMarkKeptFacesAvx2(const uint8_t* data, size_t length, int32_t stride, uint32_t first,
                                     uint32_t count, const KxMatrix4& world, const KxVector3& eye, uint32_t cullMode,
                                     std::vector<bool>& kept)
{
    const KxMatrixD mat(world);
    const __m256d eyeLanes[3] = {Lanes(eye.x), Lanes(eye.y), Lanes(eye.z)};
    const size_t step = size_t(stride);
    uint32_t t = first;
    for (; t + 4 <= first + count; t += 4) {
        // The last position of the group, read as 16 bytes, must lie inside.
        if ((3 * size_t(t + 3) + 2) * step + 16 > length)
            break;
        KxPointLanes p[3];
        for (int k = 0; k < 3; ++k) {
            __m256d x, y, z;
            LoadPositions(data, step, t, k, x, y, z);
            p[k] = TransformPoint(x, y, z, mat);
        }
        const int bits = KeptFaces(p, eyeLanes, cullMode);
        for (uint32_t j = 0; j < 4; ++j)
            kept[t + j] = (bits >> j) & 1;
    }
    return t - first;
}

#else

bool KxGeometryAvx2Available()
{
    return false;
}

void KxTransformVerticesAvx2(const KxVertexTransform& transform, KxVertexBatch& batch)
{
    KxTransformVerticesScalar(transform, batch, 0, batch.count);
}

uint32_t KxMarkKeptFacesAvx2(const uint8_t*, size_t, int32_t, uint32_t, uint32_t, const KxMatrix4&, const KxVector3&,
                             uint32_t, std::vector<bool>&)
{
    return 0;
}

#endif
