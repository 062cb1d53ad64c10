// The bounding radius in double lanes. Length is float(sqrt(s)) of the
// squared length s = (x x + y y) + z z, summed in double and rounded to
// float; rounding and the root never decrease, so the largest length is the
// length of the largest s. The lanes keep the largest s of four vertices at
// a time, with the scalar path's products and sums, and the root is taken
// once at the end.
#include "render/kxboundsradius.h"

#include <cmath>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#define KX_AVX2 __attribute__((target("avx2")))
#define KX_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace {

// s of the four vertices starting at p, each position read as 16 bytes.
KX_AVX2_INLINE __m256d SquaredLengths(const uint8_t* p, size_t stride)
{
    const __m128 v0 = _mm_loadu_ps(reinterpret_cast<const float*>(p));
    const __m128 v1 = _mm_loadu_ps(reinterpret_cast<const float*>(p + stride));
    const __m128 v2 = _mm_loadu_ps(reinterpret_cast<const float*>(p + 2 * stride));
    const __m128 v3 = _mm_loadu_ps(reinterpret_cast<const float*>(p + 3 * stride));
    const __m128 xy01 = _mm_unpacklo_ps(v0, v1), xy23 = _mm_unpacklo_ps(v2, v3);
    const __m128 zw01 = _mm_unpackhi_ps(v0, v1), zw23 = _mm_unpackhi_ps(v2, v3);
    const __m256d x = _mm256_cvtps_pd(_mm_movelh_ps(xy01, xy23));
    const __m256d y = _mm256_cvtps_pd(_mm_movehl_ps(xy23, xy01));
    const __m256d z = _mm256_cvtps_pd(_mm_movelh_ps(zw01, zw23));
    return _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(x, x), _mm256_mul_pd(y, y)), _mm256_mul_pd(z, z));
}

// The larger of each lane pair; the maximum returns its second operand when
// either is NaN, so a NaN s is passed over as the strict > passes over it.
KX_AVX2_INLINE __m256d Larger(__m256d s, __m256d largest)
{
    return _mm256_max_pd(s, largest);
}

}  // namespace

KX_AVX2 uint32_t KxBoundsRadiusAvx2(const uint8_t* data, size_t length, size_t stride, uint32_t count,
                                    float& radius)
{
    // Groups of four whose last position, read as 16 bytes, lies inside:
    // below a stride of 16 the last group may reach past the block.
    uint32_t groups = count / 4;
    while (groups > 0 && (4 * size_t(groups) - 1) * stride + 16 > length)
        --groups;
    const uint32_t done = groups * 4;
    // Two running maxima, so that one group's loads overlap the other's sums.
    __m256d largest = _mm256_setzero_pd(), other = _mm256_setzero_pd();
    const uint8_t* p = data;
    uint32_t g = 0;
    for (; g + 2 <= groups; g += 2, p += 8 * stride) {
        largest = Larger(SquaredLengths(p, stride), largest);
        other = Larger(SquaredLengths(p + 4 * stride, stride), other);
    }
    if (g < groups)
        largest = Larger(SquaredLengths(p, stride), largest);
    alignas(32) double lanes[4];
    _mm256_store_pd(lanes, _mm256_max_pd(largest, other));
    double s = 0.0;
    for (double lane : lanes)
        if (lane > s)
            s = lane;
    radius = float(std::sqrt(double(float(s))));
    return done;
}

#else

uint32_t KxBoundsRadiusAvx2(const uint8_t*, size_t, size_t, uint32_t, float&)
{
    return 0;
}

#endif
