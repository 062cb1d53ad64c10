// The span filler's AVX2 path. Every step computes what the scalar path
// computes, lane by lane; the comments say why where it looks otherwise.
#include "render/kxspanfiller_avx2.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

// Per function, so the rest of the program still runs on any x86-64. The
// per-group steps are forced inline so their state stays in registers.
#define KX_AVX2 __attribute__((target("avx2")))
#define KX_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace {

constexpr int32_t kLanes = 8;         // pixels per group
constexpr int32_t kHalfLanes = 4;     // pixels of a span that shares its group
constexpr int32_t kBatchGroups = 16;  // groups whose texture work is done together

// What a span's pixels read: no texture, or one whose sizes are powers of
// two (its texel index is exact in float), or one of any size.
enum class KxTexels { None, PowerOfTwo, AnySize };

// z, 1/w, u/w and v/w of a group's eight pixels, one vector each.
struct KxGroupAttributes {
    __m256 z, invW, u, v;
};

// [z, 1/w, u/w, v/w] of pixels k and k + 4 of the span, one per 128-bit
// half. Each half steps one pixel at a time with the scalar path's adds (a
// packed add rounds each lane as a scalar add would), the upper half four
// pixels ahead. A group of eight takes eight adds: four give its pixel
// pairs (0, 4) to (3, 7), four more bring both halves to the next group.
KX_AVX2_INLINE __m256 StartPair(__m128 first, __m128 step)
{
    __m128 fifth = first;
    for (int k = 0; k < 4; ++k)
        fifth = _mm_add_ps(fifth, step);
    return _mm256_set_m128(fifth, first);
}

// The values of four pixels in a row of each half, r0 to r3, as one
// vector per attribute: each half transposes 4 x 4.
KX_AVX2_INLINE KxGroupAttributes Transpose(__m256 r0, __m256 r1, __m256 r2, __m256 r3)
{
    const __m256 zInvW01 = _mm256_unpacklo_ps(r0, r1);
    const __m256 uv01 = _mm256_unpackhi_ps(r0, r1);
    const __m256 zInvW23 = _mm256_unpacklo_ps(r2, r3);
    const __m256 uv23 = _mm256_unpackhi_ps(r2, r3);
    return {_mm256_shuffle_ps(zInvW01, zInvW23, _MM_SHUFFLE(1, 0, 1, 0)),
            _mm256_shuffle_ps(zInvW01, zInvW23, _MM_SHUFFLE(3, 2, 3, 2)),
            _mm256_shuffle_ps(uv01, uv23, _MM_SHUFFLE(1, 0, 1, 0)),
            _mm256_shuffle_ps(uv01, uv23, _MM_SHUFFLE(3, 2, 3, 2))};
}

// Steps a group on and turns its eight pixels' values into one vector per
// attribute.
KX_AVX2_INLINE KxGroupAttributes StepGroup(__m256& running, __m256 step)
{
    const __m256 r0 = running;
    const __m256 r1 = _mm256_add_ps(r0, step);
    const __m256 r2 = _mm256_add_ps(r1, step);
    const __m256 r3 = _mm256_add_ps(r2, step);
    __m256 next = _mm256_add_ps(r3, step);
    for (int k = 0; k < 4; ++k)
        next = _mm256_add_ps(next, step);
    running = next;
    return Transpose(r0, r1, r2, r3);
}

// depthScale * z + 0.5 in double for four pixels.
KX_AVX2_INLINE __m256d ScaledDepths(__m128 z, __m256d scale)
{
    return _mm256_add_pd(_mm256_mul_pd(scale, _mm256_cvtps_pd(z)), _mm256_set1_pd(0.5));
}

// The fragment depths of eight pixels, trunc(depthScale * z + 0.5), as
// 32-bit lanes in pixel order. With 16-bit entries every span the lanes take
// keeps the value within +-2^31, where the truncating conversion is exact.
KX_AVX2_INLINE __m256i FragmentDepths(__m256 z, __m256d scale, const uint16_t*)
{
    const __m128i first = _mm256_cvttpd_epi32(ScaledDepths(_mm256_castps256_ps128(z), scale));
    const __m128i second = _mm256_cvttpd_epi32(ScaledDepths(_mm256_extractf128_ps(z, 1), scale));
    return _mm256_set_m128i(second, first);
}

// With 32-bit entries the value reaches 2^32, beyond that conversion: the
// truncated double plus 1.5 x 2^52 holds the value's two's complement low
// 32 bits in its low half, exactly while it stays within +-2^51.
KX_AVX2_INLINE __m256d BiasedDepths(__m128 z, __m256d scale)
{
    const __m256d truncated = _mm256_round_pd(ScaledDepths(z, scale), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    return _mm256_add_pd(truncated, _mm256_set1_pd(0x1.8p52));
}

KX_AVX2_INLINE __m256i FragmentDepths(__m256 z, __m256d scale, const uint32_t*)
{
    const __m256 first = _mm256_castpd_ps(BiasedDepths(_mm256_castps256_ps128(z), scale));
    const __m256 second = _mm256_castpd_ps(BiasedDepths(_mm256_extractf128_ps(z, 1), scale));
    const __m256 low = _mm256_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0));  // pixels 0 1 4 5 | 2 3 6 7
    return _mm256_castpd_si256(_mm256_permute4x64_pd(_mm256_castps_pd(low), _MM_SHUFFLE(3, 1, 2, 0)));
}

KX_AVX2_INLINE __m256i LoadDepth(const uint16_t* depth)
{
    return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(depth)));
}

KX_AVX2_INLINE __m256i LoadDepth(const uint32_t* depth)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(depth));
}

// Every entry fits 16 bits (a passing depth is at most the stored one), so
// the saturating pack keeps them all.
KX_AVX2_INLINE void StoreDepth(uint16_t* depth, __m256i entries)
{
    const __m128i packed = _mm_packus_epi32(_mm256_castsi256_si128(entries), _mm256_extracti128_si256(entries, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(depth), packed);
}

KX_AVX2_INLINE void StoreDepth(uint32_t* depth, __m256i entries)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(depth), entries);
}

// The depth test (less or equal, unsigned) of the span's lanes of a group,
// and the write of the passing ones; entries of other lanes are written
// back as they were. Returns the passing lanes as a bit mask.
template <typename DepthEntry>
KX_AVX2_INLINE int TestAndWriteDepths(__m256i fragment, DepthEntry* depth, __m256i inSpan)
{
    const __m256i stored = LoadDepth(depth);
    const __m256i passes = _mm256_and_si256(inSpan, _mm256_cmpeq_epi32(_mm256_max_epu32(stored, fragment), stored));
    const int mask = _mm256_movemask_ps(_mm256_castsi256_ps(passes));
    if (mask != 0)
        StoreDepth(depth, _mm256_blendv_epi8(stored, fragment, passes));
    return mask;
}

// The fragment depths of eight pixels as 16-bit lanes, for spans whose
// depths all lie within 0..65535 (the pack saturates the others).
KX_AVX2_INLINE __m128i NarrowFragmentDepths(__m256 z, __m256d scale)
{
    const __m128i first = _mm256_cvttpd_epi32(ScaledDepths(_mm256_castps256_ps128(z), scale));
    const __m128i second = _mm256_cvttpd_epi32(ScaledDepths(_mm256_extractf128_ps(z, 1), scale));
    return _mm_packus_epi32(first, second);
}

// The depth test and write in 16-bit lanes: for depths within 0..65535 the
// same as the test of the zero-extended entries, with less widening.
KX_AVX2_INLINE int TestAndWriteNarrowDepths(__m128i fragment, uint16_t* depth, __m128i inSpan)
{
    const __m128i stored = _mm_loadu_si128(reinterpret_cast<const __m128i*>(depth));
    const __m128i passes = _mm_and_si128(inSpan, _mm_cmpeq_epi16(_mm_max_epu16(stored, fragment), stored));
    const int mask = _mm_movemask_epi8(_mm_packs_epi16(passes, passes)) & 0xFF;
    if (mask != 0)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(depth), _mm_blendv_epi8(stored, fragment, passes));
    return mask;
}

// Two short spans in one group: depth entries 0-3 of each, the first's in
// lanes 0-3, the second's in lanes 4-7.
KX_AVX2_INLINE __m128i LoadNarrowPair(const uint16_t* first, const uint16_t* second)
{
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(first)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(second)));
}

KX_AVX2_INLINE void StoreNarrowPair(uint16_t* first, uint16_t* second, __m128i entries)
{
    _mm_storel_epi64(reinterpret_cast<__m128i*>(first), entries);
    _mm_storeh_pd(reinterpret_cast<double*>(second), _mm_castsi128_pd(entries));
}

KX_AVX2_INLINE __m256i LoadDepthPair(const uint16_t* first, const uint16_t* second)
{
    return _mm256_cvtepu16_epi32(LoadNarrowPair(first, second));
}

KX_AVX2_INLINE __m256i LoadDepthPair(const uint32_t* first, const uint32_t* second)
{
    return _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(second)),
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(first)));
}

KX_AVX2_INLINE void StoreDepthPair(uint16_t* first, uint16_t* second, __m256i entries)
{
    StoreNarrowPair(first, second,
                    _mm_packus_epi32(_mm256_castsi256_si128(entries), _mm256_extracti128_si256(entries, 1)));
}

KX_AVX2_INLINE void StoreDepthPair(uint32_t* first, uint32_t* second, __m256i entries)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(first), _mm256_castsi256_si128(entries));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(second), _mm256_extracti128_si256(entries, 1));
}

template <typename DepthEntry>
KX_AVX2_INLINE int TestAndWriteDepthPair(__m256i fragment, DepthEntry* first, DepthEntry* second, __m256i inSpans)
{
    const __m256i stored = LoadDepthPair(first, second);
    const __m256i passes = _mm256_and_si256(inSpans, _mm256_cmpeq_epi32(_mm256_max_epu32(stored, fragment), stored));
    const int mask = _mm256_movemask_ps(_mm256_castsi256_ps(passes));
    if (mask != 0)
        StoreDepthPair(first, second, _mm256_blendv_epi8(stored, fragment, passes));
    return mask;
}

KX_AVX2_INLINE int TestAndWriteNarrowDepthPair(__m128i fragment, uint16_t* first, uint16_t* second, __m128i inSpans)
{
    const __m128i stored = LoadNarrowPair(first, second);
    const __m128i passes = _mm_and_si128(inSpans, _mm_cmpeq_epi16(_mm_max_epu16(stored, fragment), stored));
    const int mask = _mm_movemask_epi8(_mm_packs_epi16(passes, passes)) & 0xFF;
    if (mask != 0)
        StoreNarrowPair(first, second, _mm_blendv_epi8(stored, fragment, passes));
    return mask;
}

// All lanes set, then none: eight entries from the right place select the
// first n lanes of a group, those that belong to the span.
constexpr int32_t kLaneMasks[2 * kLanes] = {-1, -1, -1, -1, -1, -1, -1, -1, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr int16_t kNarrowLaneMasks[2 * kLanes] = {-1, -1, -1, -1, -1, -1, -1, -1, 0, 0, 0, 0, 0, 0, 0, 0};

KX_AVX2_INLINE __m256i SpanLanes(int32_t lanesLeft)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kLaneMasks + kLanes - std::min(lanesLeft, kLanes)));
}

KX_AVX2_INLINE __m128i NarrowSpanLanes(int32_t lanesLeft)
{
    return _mm_loadu_si128(
        reinterpret_cast<const __m128i*>(kNarrowLaneMasks + kLanes - std::min(lanesLeft, kLanes)));
}

// The lanes of two short spans of n and m pixels sharing a group: 0 to
// n - 1 and 4 to 3 + m.
KX_AVX2_INLINE __m256i PairLanes(int32_t n, int32_t m)
{
    return _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kLaneMasks + kLanes - m)),
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLaneMasks + kLanes - n)));
}

KX_AVX2_INLINE __m128i NarrowPairLanes(int32_t n, int32_t m)
{
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(kNarrowLaneMasks + kLanes - n)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kNarrowLaneMasks + kLanes - m)));
}

// The texture coordinate s = float((1 / invW) * u/w), the reciprocal and
// the product in double, for eight pixels: one correctly rounded float
// division u/w / invW gives the same texel. The double value is within
// 2^-52 (relative) of the exact quotient, while a quotient of two floats is
// never within 2^-49 of a point halfway between two floats (writing it as
// U 2^a / (V 2^b) with 24-bit U, V, equality with an odd 25-bit K times a
// power of two would need the odd part of U to reach K; and the gap is at
// least 1 / KV). Both therefore round to the same float wherever it is a
// normal number. Where it is not (below 2^-126, or beyond the float range),
// both still land on the same texel: the edge one. Zeros, infinities and
// NaNs come out alike (0/0 and inf/inf as NaN, as 0 x inf is).
KX_AVX2_INLINE __m256 Perspective(__m256 overW, __m256 invW)
{
    return _mm256_div_ps(overW, invW);
}

// KxDib::TexelIndex in lanes, plus one: min(n, x) caps x (NaN stays, as
// the second operand wins), truncation gives the texel plus one, and the
// integer max with 1 lifts everything below the image to 1, NaN and
// values beyond the conversion's range included (they convert to INT_MIN).
// So the result is 1 below the image and n at and beyond its end. For a
// power of two n the float product n * s is exact, as the double one is;
// other sizes take the double product.
KX_AVX2_INLINE __m256i TexelIndex(__m256 coordinate, __m256 size)
{
    const __m256 scaled = _mm256_mul_ps(size, coordinate);
    return _mm256_max_epi32(_mm256_cvttps_epi32(_mm256_min_ps(size, scaled)), _mm256_set1_epi32(1));
}

KX_AVX2_INLINE __m256i TexelIndex(__m256 coordinate, __m256d size)
{
    const __m256d first = _mm256_mul_pd(size, _mm256_cvtps_pd(_mm256_castps256_ps128(coordinate)));
    const __m256d second = _mm256_mul_pd(size, _mm256_cvtps_pd(_mm256_extractf128_ps(coordinate, 1)));
    const __m128i firstIndex = _mm256_cvttpd_epi32(_mm256_min_pd(size, first));
    const __m128i secondIndex = _mm256_cvttpd_epi32(_mm256_min_pd(size, second));
    return _mm256_max_epi32(_mm256_set_m128i(secondIndex, firstIndex), _mm256_set1_epi32(1));
}

// Four texels as 32-bit words read at their byte offsets (the bitmap keeps
// padding after its last texel for this).
KX_AVX2_INLINE __m128i LoadTexels(const uint8_t* bits, int32_t a, int32_t b, int32_t c, int32_t d)
{
    int32_t texel[4];
    std::memcpy(&texel[0], bits + a, sizeof(int32_t));
    std::memcpy(&texel[1], bits + b, sizeof(int32_t));
    std::memcpy(&texel[2], bits + c, sizeof(int32_t));
    std::memcpy(&texel[3], bits + d, sizeof(int32_t));
    return _mm_setr_epi32(texel[0], texel[1], texel[2], texel[3]);
}

// (texel * channel + 128) / 256, truncated, in 16-bit lanes, from the
// channels times 128: the rounding high multiply gives
// floor(texel * channel * 128 / 2^15 + 1/2), the same value for the
// non-negative products of a byte and a channel within 0..255.
KX_AVX2_INLINE __m256i Modulate(__m128i texels, __m256i channelsTimes128)
{
    return _mm256_mulhrs_epi16(_mm256_cvtepu8_epi16(texels), channelsTimes128);
}

// The low three bytes of each of eight words, packed into the register's
// lowest 24 bytes.
KX_AVX2_INLINE __m256i PackPixels(__m256i words)
{
    const __m256i lowThree = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
                                              0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i tight = _mm256_shuffle_epi8(words, lowThree);
    return _mm256_permutevar8x32_epi32(tight, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
}

// The bytes of the lanes in mask in the packed layout, as a byte mask.
KX_AVX2_INLINE __m256i LaneBytes(int mask)
{
    const __m256i laneBit = _mm256_setr_epi8(1, 1, 1, 2, 2, 2, 4, 4, 4, 8, 8, 8, 16, 16, 16, 32,
                                             32, 32, 64, 64, 64, -128, -128, -128, 0, 0, 0, 0, 0, 0, 0, 0);
    return _mm256_cmpeq_epi8(_mm256_and_si256(_mm256_set1_epi8(char(mask)), laneBit), laneBit);
}

// Writes the packed pixels of the lanes in mask; the other bytes of the
// group's 24 are written back as they were.
KX_AVX2_INLINE void StorePixels(uint8_t* pixel, __m256i packed, int mask)
{
    __m128i low = _mm256_castsi256_si128(packed);
    __m128i high = _mm256_extracti128_si256(packed, 1);
    if (mask != 0xFF) {
        const __m256i written = LaneBytes(mask);
        low = _mm_blendv_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel)), low,
                              _mm256_castsi256_si128(written));
        high = _mm_blendv_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixel + 16)), high,
                               _mm256_extracti128_si256(written, 1));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixel), low);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pixel + 16), high);
}

// The bytes of four lanes (the low four bits of mask) in 12 bytes, as a
// byte mask; the last four bytes are never set.
KX_AVX2_INLINE __m128i QuarterLaneBytes(int mask)
{
    const __m128i laneBit = _mm_setr_epi8(1, 1, 1, 2, 2, 2, 4, 4, 4, 8, 8, 8, 16, 16, 16, 16);
    return _mm_cmpeq_epi8(_mm_and_si128(_mm_set1_epi8(char(mask & 15)), laneBit), laneBit);
}

// Writes the pixels of the lanes in mask of a group shared by two short
// spans: lanes 0-3 from first on, lanes 4-7 from second on. Each half
// reads and writes back 16 bytes, the 4 past its pixels unchanged.
KX_AVX2_INLINE void StorePixelPair(uint8_t* first, uint8_t* second, __m256i words, int mask)
{
    const __m256i lowThree = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
                                              0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i tight = _mm256_shuffle_epi8(words, lowThree);
    if (mask & 15) {
        const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(first),
                         _mm_blendv_epi8(old, _mm256_castsi256_si128(tight), QuarterLaneBytes(mask)));
    }
    if ((mask >> 4) & 15) {
        const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(second),
                         _mm_blendv_epi8(old, _mm256_extracti128_si256(tight, 1), QuarterLaneBytes(mask >> 4)));
    }
}

// What the colours of one passing group need.
struct KxTexelGroup {
    // Colour channels rounded, times 128, in 16-bit lanes: pixels 0 1 | 4 5
    // and 2 3 | 6 7.
    __m256i colours[2];
    alignas(32) int32_t offsets[kLanes];  // texel byte offsets
    uint8_t* pixel;
    uint8_t* pixelHigh;  // lanes 4-7's, in a group two spans share
    int passMask;
};

// Passing groups whose colours wait: reading eight texels is a chain of
// dependent loads, so many groups are done together for the processor to
// overlap them.
struct KxTexelBatch {
    KxTexelGroup groups[kBatchGroups];
    KxTexelGroup sharedGroups[kBatchGroups];  // groups two short spans share
    const uint8_t* bits;
    int32_t width, height;
};

// The texture's sizes in lanes, formed once for all its spans.
struct KxTexelGrid {
    __m256 widthFloat, heightFloat;
    __m256d widthDouble, heightDouble;
    __m256i width, indexBias;  // a row of texels; 3 (width + 1)

    KX_AVX2_INLINE KxTexelGrid(int32_t textureWidth, int32_t textureHeight)
        : widthFloat(_mm256_set1_ps(float(textureWidth))),
          heightFloat(_mm256_set1_ps(float(textureHeight))),
          widthDouble(_mm256_set1_pd(double(textureWidth))),
          heightDouble(_mm256_set1_pd(double(textureHeight))),
          width(_mm256_set1_epi32(textureWidth)),
          indexBias(_mm256_set1_epi32(3 * (textureWidth + 1)))
    {
    }
};

// The byte offsets of eight pixels' texels.
template <KxTexels texels>
KX_AVX2_INLINE __m256i TexelOffsets(const KxGroupAttributes& a, const KxTexelGrid& grid)
{
    __m256i column, row;
    if constexpr (texels == KxTexels::PowerOfTwo) {
        column = TexelIndex(Perspective(a.u, a.invW), grid.widthFloat);
        row = TexelIndex(Perspective(a.v, a.invW), grid.heightFloat);
    } else {
        column = TexelIndex(Perspective(a.u, a.invW), grid.widthDouble);
        row = TexelIndex(Perspective(a.v, a.invW), grid.heightDouble);
    }
    // Row and column are one too high: the index is width + 1 too high.
    const __m256i index = _mm256_add_epi32(_mm256_mullo_epi32(row, grid.width), column);
    const __m256i tripled = _mm256_add_epi32(index, _mm256_add_epi32(index, index));
    return _mm256_sub_epi32(tripled, grid.indexBias);
}

// The colour channels of a group's eight pixels rounded, times 128, in
// 16-bit lanes, in the order the texels are unpacked: pixels 0 1 | 4 5 and
// 2 3 | 6 7.
KX_AVX2_INLINE void RoundedChannels(__m256i pair0, __m256i slope, __m256i& first, __m256i& second)
{
    const __m256i pair1 = _mm256_add_epi32(pair0, slope);
    const __m256i pair2 = _mm256_add_epi32(pair1, slope);
    const __m256i pair3 = _mm256_add_epi32(pair2, slope);
    first = _mm256_slli_epi16(_mm256_packs_epi32(_mm256_srai_epi32(pair0, 16), _mm256_srai_epi32(pair1, 16)), 7);
    second = _mm256_slli_epi16(_mm256_packs_epi32(_mm256_srai_epi32(pair2, 16), _mm256_srai_epi32(pair3, 16)), 7);
}

// The colours of the groups waiting in the batch.
// Groups of one span and groups two spans share wait apart, so that neither
// loop asks which kind it has. The order of the groups does not matter: a
// group writes only its own passing pixels, and the bytes it writes back
// unchanged it reads just before.
template <bool bShared>
KX_AVX2 void ShadeBatch(const KxTexelBatch& batch, int32_t count)
{
    // A local copy: the pixel stores could otherwise alias the batch's.
    const uint8_t* const bits = batch.bits;
    const KxTexelGroup* const groups = bShared ? batch.sharedGroups : batch.groups;
    for (const KxTexelGroup* g = groups; g != groups + count; ++g) {
        const int32_t* at = g->offsets;
        const __m256i first = Modulate(LoadTexels(bits, at[0], at[1], at[4], at[5]), g->colours[0]);
        const __m256i second = Modulate(LoadTexels(bits, at[2], at[3], at[6], at[7]), g->colours[1]);
        const __m256i words = _mm256_packus_epi16(first, second);
        if constexpr (bShared)
            StorePixelPair(g->pixel, g->pixelHigh, words, g->passMask);
        else
            StorePixels(g->pixel, PackPixels(words), g->passMask);
    }
}

// Where a span's walk stands: its next group's depth entries and pixels,
// the attributes of its next pixel, and the colour channels of the next
// group's pixels 0 and 4.
template <typename DepthEntry>
struct KxSpanWalk {
    DepthEntry* depth;
    uint8_t* pixel;
    int32_t groups;     // the last one may be partly past the span's end
    int32_t lanesLeft;  // the span's pixels from the next group's first on
    bool bNarrowDepths; // depth test in 16-bit lanes
    __m256 running, step;
    __m256i channels, slope;
    // The next group's colours, rounded; a span of one colour (no slope)
    // rounds them once.
    bool bOneColour;
    __m256i colours[2];

    KX_AVX2_INLINE KxSpanWalk(const KxPendingSpan& span, bool bNarrow)
        : depth(static_cast<DepthEntry*>(span.depth)),
          pixel(span.pixel),
          groups((span.count + kLanes - 1) / kLanes),
          lanesLeft(span.count),
          bNarrowDepths(bNarrow)
    {
        const KxSpanCursor& c = span.cursor;
        const __m128 pixelStep = _mm_setr_ps(c.dz, c.dInvW, c.du, c.dv);
        running = StartPair(_mm_setr_ps(c.z, c.invW, c.u, c.v), pixelStep);
        step = _mm256_set_m128(pixelStep, pixelStep);
        slope = _mm256_setr_epi32(c.dBlue, c.dGreen, c.dRed, 0, c.dBlue, c.dGreen, c.dRed, 0);
        const __m256i fourSlopesOn =
            _mm256_inserti128_si256(_mm256_setzero_si256(), _mm256_castsi256_si128(_mm256_slli_epi32(slope, 2)), 1);
        channels = _mm256_add_epi32(_mm256_setr_epi32(c.blue, c.green, c.red, 0, c.blue, c.green, c.red, 0),
                                    _mm256_add_epi32(fourSlopesOn, _mm256_set1_epi32(0x8000)));
        bOneColour = (c.dBlue | c.dGreen | c.dRed) == 0;
        RoundedChannels(channels, slope, colours[0], colours[1]);
    }
};

// The walk's next group. The depth test (in 16-bit lanes when narrow) and
// the texel addresses run at once, the colours wait in the batch.
template <typename DepthEntry, KxTexels texels, bool bNarrow>
KX_AVX2_INLINE void FillGroup(KxSpanWalk<DepthEntry>& walk, __m256d scale, const KxTexelGrid& grid,
                              KxTexelBatch& batch, int32_t& waitingGroups)
{
    const KxGroupAttributes a = StepGroup(walk.running, walk.step);
    int passMask;
    if constexpr (bNarrow)
        passMask = TestAndWriteNarrowDepths(NarrowFragmentDepths(a.z, scale), walk.depth,
                                            NarrowSpanLanes(walk.lanesLeft));
    else
        passMask = TestAndWriteDepths(FragmentDepths(a.z, scale, walk.depth), walk.depth, SpanLanes(walk.lanesLeft));
    walk.lanesLeft -= kLanes;
    if (texels != KxTexels::None && passMask != 0) {
        KxTexelGroup& g = batch.groups[waitingGroups++];
        _mm256_store_si256(reinterpret_cast<__m256i*>(g.offsets),
                           TexelOffsets<texels>(a, grid));
        g.colours[0] = walk.colours[0];
        g.colours[1] = walk.colours[1];
        g.pixel = walk.pixel;
        g.passMask = passMask;
        if (waitingGroups == kBatchGroups) {
            ShadeBatch<false>(batch, waitingGroups);
            waitingGroups = 0;
        }
    }
    if (!walk.bOneColour) {
        walk.channels = _mm256_add_epi32(walk.channels, _mm256_slli_epi32(walk.slope, 3));
        RoundedChannels(walk.channels, walk.slope, walk.colours[0], walk.colours[1]);
    }
    walk.depth += kLanes;
    walk.pixel += 3 * kLanes;
}

// The walk's groups from the given one on.
template <typename DepthEntry, KxTexels texels, bool bNarrow>
KX_AVX2_INLINE void FillRest(KxSpanWalk<DepthEntry>& walk, int32_t from, __m256d scale, const KxTexelGrid& grid,
                             KxTexelBatch& batch, int32_t& waitingGroups)
{
    for (int32_t g = from; g < walk.groups; ++g)
        FillGroup<DepthEntry, texels, bNarrow>(walk, scale, grid, batch, waitingGroups);
}

// Two spans a group of each at a time while both have groups left: their
// steps are independent, so one's run through its chain of adds overlaps
// the other's.
template <typename DepthEntry, KxTexels texels, bool bNarrow>
KX_AVX2_INLINE void FillPair(KxSpanWalk<DepthEntry>& first, KxSpanWalk<DepthEntry>& second, __m256d scale,
                             const KxTexelGrid& grid, KxTexelBatch& batch, int32_t& waitingGroups)
{
    const int32_t together = std::min(first.groups, second.groups);
    for (int32_t g = 0; g < together; ++g) {
        FillGroup<DepthEntry, texels, bNarrow>(first, scale, grid, batch, waitingGroups);
        FillGroup<DepthEntry, texels, bNarrow>(second, scale, grid, batch, waitingGroups);
    }
    FillRest<DepthEntry, texels, bNarrow>(first, together, scale, grid, batch, waitingGroups);
    FillRest<DepthEntry, texels, bNarrow>(second, together, scale, grid, batch, waitingGroups);
}

// One loop for each depth test: choosing per group would cost more than
// the narrow test saves.
template <typename DepthEntry, KxTexels texels>
KX_AVX2_INLINE void FillPair(KxSpanWalk<DepthEntry>& first, KxSpanWalk<DepthEntry>& second, __m256d scale,
                             const KxTexelGrid& grid, KxTexelBatch& batch, int32_t& waitingGroups)
{
    if constexpr (sizeof(DepthEntry) == 2) {
        if (first.bNarrowDepths && second.bNarrowDepths) {
            FillPair<DepthEntry, texels, true>(first, second, scale, grid, batch, waitingGroups);
            return;
        }
    }
    FillPair<DepthEntry, texels, false>(first, second, scale, grid, batch, waitingGroups);
}

// A span without a partner.
template <typename DepthEntry, KxTexels texels>
KX_AVX2_INLINE void FillAlone(KxSpanWalk<DepthEntry>& walk, __m256d scale, const KxTexelGrid& grid,
                              KxTexelBatch& batch, int32_t& waitingGroups)
{
    if constexpr (sizeof(DepthEntry) == 2) {
        if (walk.bNarrowDepths) {
            FillRest<DepthEntry, texels, true>(walk, 0, scale, grid, batch, waitingGroups);
            return;
        }
    }
    FillRest<DepthEntry, texels, false>(walk, 0, scale, grid, batch, waitingGroups);
}

// Two spans of at most four pixels in one group, the first's pixels in
// lanes 0-3 and the second's in lanes 4-7: most spans of small triangles
// are that short, and a group each would leave most lanes idle. Each half
// steps from its own span's start, pixel by pixel, as the scalar path does.
template <typename DepthEntry, KxTexels texels, bool bNarrow>
KX_AVX2_INLINE void FillShortPair(const KxPendingSpan& first, const KxPendingSpan& second, __m256d scale,
                                  const KxTexelGrid& grid, KxTexelBatch& batch, int32_t& waitingShared)
{
    const KxSpanCursor& a = first.cursor;
    const KxSpanCursor& b = second.cursor;
    const __m256 step =
        _mm256_set_m128(_mm_setr_ps(b.dz, b.dInvW, b.du, b.dv), _mm_setr_ps(a.dz, a.dInvW, a.du, a.dv));
    const __m256 r0 = _mm256_set_m128(_mm_setr_ps(b.z, b.invW, b.u, b.v), _mm_setr_ps(a.z, a.invW, a.u, a.v));
    const __m256 r1 = _mm256_add_ps(r0, step);
    const __m256 r2 = _mm256_add_ps(r1, step);
    const KxGroupAttributes attributes = Transpose(r0, r1, r2, _mm256_add_ps(r2, step));

    auto* firstDepth = static_cast<DepthEntry*>(first.depth);
    auto* secondDepth = static_cast<DepthEntry*>(second.depth);
    int passMask;
    if constexpr (bNarrow)
        passMask = TestAndWriteNarrowDepthPair(NarrowFragmentDepths(attributes.z, scale), firstDepth, secondDepth,
                                               NarrowPairLanes(first.count, second.count));
    else
        passMask = TestAndWriteDepthPair(FragmentDepths(attributes.z, scale, firstDepth), firstDepth, secondDepth,
                                         PairLanes(first.count, second.count));
    if (texels == KxTexels::None || passMask == 0)
        return;
    KxTexelGroup& g = batch.sharedGroups[waitingShared++];
    _mm256_store_si256(reinterpret_cast<__m256i*>(g.offsets), TexelOffsets<texels>(attributes, grid));
    const __m256i channels = _mm256_add_epi32(_mm256_setr_epi32(a.blue, a.green, a.red, 0, b.blue, b.green, b.red, 0),
                                              _mm256_set1_epi32(0x8000));
    RoundedChannels(channels, _mm256_setr_epi32(a.dBlue, a.dGreen, a.dRed, 0, b.dBlue, b.dGreen, b.dRed, 0),
                    g.colours[0], g.colours[1]);
    g.pixel = first.pixel;
    g.pixelHigh = second.pixel;
    g.passMask = passMask;
    if (waitingShared == kBatchGroups) {
        ShadeBatch<true>(batch, waitingShared);
        waitingShared = 0;
    }
}

// Narrow depths also fit the wide lanes: a pair takes the narrow test only
// when both spans can.
template <typename DepthEntry, KxTexels texels>
KX_AVX2_INLINE void FillShortPair(const KxPendingSpan& first, const KxPendingSpan& second, bool bNarrow,
                                  __m256d scale, const KxTexelGrid& grid, KxTexelBatch& batch,
                                  int32_t& waitingShared)
{
    if constexpr (sizeof(DepthEntry) == 2) {
        if (bNarrow) {
            FillShortPair<DepthEntry, texels, true>(first, second, scale, grid, batch, waitingShared);
            return;
        }
    }
    FillShortPair<DepthEntry, texels, false>(first, second, scale, grid, batch, waitingShared);
}

// Whether the second of two short spans sharing a group would undo the
// first's depth writes: the group reads both spans' four entries before it
// writes the first's and then the second's, and the second's four reach
// the first's when it ends a row just before the first starts the next.
// (Their pixels are written one span after the other, each read just
// before it is written.)
template <typename DepthEntry>
bool SecondUndoesFirst(const KxPendingSpan& first, const KxPendingSpan& second)
{
    const auto* a = static_cast<const DepthEntry*>(first.depth);
    const auto* b = static_cast<const DepthEntry*>(second.depth);
    return b < a && a < b + kHalfLanes;
}

// Every z along the span is bounded by (|z0| + k |dz|)(1 + 2^-24)^k, which
// for fewer than 2^20 pixels is under 1.07 (|z0| + n |dz|): kept below
// 2^30 after scaling (2^48 for 32-bit entries), every depth stays well
// within the conversion's range.
bool DepthsFitLanes(const KxSpanCursor& c, int32_t count, uint32_t depthScale, double limit)
{
    const double reach = std::fabs(double(c.z)) + double(count + kLanes) * std::fabs(double(c.dz));
    return count < (1 << 20) && double(depthScale) * reach < limit;
}

// Whether every depth of a span with 16-bit entries lies within 0..65535,
// so that the test can run in 16-bit lanes. After k steps z is within
// k 2^-24 R of z0 + k dz: each add rounds by at most 2^-24 of its result
// (below the normal range by at most 2^-150, far inside the margins here),
// and R = 1.07 (|z0| + n |dz|) bounds every z (as above). Twice that
// margin also covers the rounding of these bounds; scaled, they leave room
// for the rounding of depthScale z + 0.5 before its truncation.
KX_AVX2_INLINE bool DepthsFitNarrowLanes(const KxSpanCursor& c, int32_t count, uint32_t depthScale)
{
    if (count >= (1 << 20))
        return false;
    const double z0 = c.z;
    const double zLast = z0 + double(count - 1) * double(c.dz);
    const double reach = 1.07 * (std::fabs(z0) + double(count) * std::fabs(double(c.dz)));
    const double error = 2.0 * double(count) * 0x1p-24 * reach;
    const double low = double(depthScale) * (std::min(z0, zLast) - error);
    const double high = double(depthScale) * (std::max(z0, zLast) + error);
    return low >= -0.5 && high <= 65535.0;
}

// 16-bit entries go through the truncating conversion, 32-bit ones through
// the wider one.
double DepthLimit(bool b32BitDepth)
{
    return b32BitDepth ? 0x1p48 : 0x1p30;
}

// The 16-bit lanes need every rounded channel of the span within 0..255,
// which holds for colours interpolated between 8-bit end points; both ends
// of a linear sequence bound all of it. (x - low as unsigned <= high - low
// tests low <= x <= high at once.)
KX_AVX2_INLINE bool ChannelsFitLanes(const KxSpanCursor& c, int32_t count)
{
    const int64_t last = count - 1;
    auto fits = [last](int32_t start, int32_t slope) {
        constexpr int64_t kLow = -32768, kHigh = 255 * 65536 + 32767;
        const int64_t end = start + last * slope;
        return (uint64_t(start - kLow) <= uint64_t(kHigh - kLow)) & (uint64_t(end - kLow) <= uint64_t(kHigh - kLow));
    };
    return fits(c.blue, c.dBlue) & fits(c.green, c.dGreen) & fits(c.red, c.dRed);
}

// Texel byte offsets are 32-bit lanes.
bool TextureFitsLanes(const KxTexture* texture)
{
    return texture->GetBits() && 3 * int64_t(texture->GetWidth()) * texture->GetHeight() < INT32_MAX;
}

bool DetectAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

const bool bHasAvx2 = DetectAvx2();

// A span's last group may reach past its end, but not past the buffers'.
template <typename DepthEntry>
bool GroupsFitBuffers(const KxPendingSpan& span, const KxPendingSpans& spans)
{
    const size_t reach = size_t(span.count + kLanes - 1) / kLanes * kLanes;
    const auto* depth = static_cast<const DepthEntry*>(span.depth);
    return size_t(static_cast<const DepthEntry*>(spans.depthEnd) - depth) >= reach &&
           size_t(spans.pixelsEnd - span.pixel) >= 3 * reach;
}

// How a span's groups are filled: by the scalar path, when its values do
// not fit the lanes; with the depth test in 16-bit lanes; or in 32-bit ones.
enum class KxSpanLanes { Scalar, Narrow, Wide };

template <typename DepthEntry>
KX_AVX2_INLINE KxSpanLanes ChooseLanes(const KxPendingSpan& span, const KxPendingSpans& spans, uint32_t depthScale,
                                       bool bTextured)
{
    const KxSpanCursor& c = span.cursor;
    if (!GroupsFitBuffers<DepthEntry>(span, spans) || (bTextured && !ChannelsFitLanes(c, span.count)))
        return KxSpanLanes::Scalar;
    // Depths within 0..65535 also fit the wide lanes.
    if (sizeof(DepthEntry) == 2 && DepthsFitNarrowLanes(c, span.count, depthScale))
        return KxSpanLanes::Narrow;
    return DepthsFitLanes(c, span.count, depthScale, DepthLimit(sizeof(DepthEntry) == 4)) ? KxSpanLanes::Wide
                                                                                          : KxSpanLanes::Scalar;
}

// The spans two at a time, short ones in the halves of one group, others
// a group of each in turn. A span whose values do not fit the lanes goes
// the scalar way.
template <typename DepthEntry, KxTexels texels>
KX_AVX2 void FillSpans(const KxPendingSpans& spans, uint32_t depthScale, const KxTexture* texture,
                       KxTexelBatch& batch)
{
    // Counted here, not in the batch: the compiler then keeps the count in a
    // register across the vector stores into the batch.
    int32_t waitingGroups = 0, waitingShared = 0;
    const __m256d scale = _mm256_set1_pd(double(depthScale));
    const KxTexelGrid grid(batch.width, batch.height);
    const KxPendingSpan* waiting = nullptr;
    const KxPendingSpan* waitingShort = nullptr;
    bool bWaitingNarrow = false, bWaitingShortNarrow = false;
    for (const KxPendingSpan* span = spans.spans; span != spans.spans + spans.count; ++span) {
        const KxSpanLanes lanes = ChooseLanes<DepthEntry>(*span, spans, depthScale, texture != nullptr);
        const bool bNarrow = lanes == KxSpanLanes::Narrow;
        if (lanes == KxSpanLanes::Scalar) {
            KxFillSpanScalar(span->cursor, span->count, depthScale, static_cast<DepthEntry*>(span->depth),
                             span->pixel, texture);
        } else if (span->count <= kHalfLanes && waitingShort && !SecondUndoesFirst<DepthEntry>(*waitingShort, *span)) {
            FillShortPair<DepthEntry, texels>(*waitingShort, *span, bWaitingShortNarrow && bNarrow, scale, grid,
                                              batch, waitingShared);
            waitingShort = nullptr;
        } else if (span->count <= kHalfLanes && !waitingShort) {
            waitingShort = span;
            bWaitingShortNarrow = bNarrow;
        } else if (!waiting) {
            waiting = span;
            bWaitingNarrow = bNarrow;
        } else {
            KxSpanWalk<DepthEntry> first(*waiting, bWaitingNarrow), second(*span, bNarrow);
            waiting = nullptr;
            FillPair<DepthEntry, texels>(first, second, scale, grid, batch, waitingGroups);
        }
    }
    for (const KxPendingSpan* last : {waiting, waitingShort}) {
        if (!last)
            continue;
        KxSpanWalk<DepthEntry> walk(*last, last == waiting ? bWaitingNarrow : bWaitingShortNarrow);
        FillAlone<DepthEntry, texels>(walk, scale, grid, batch, waitingGroups);
    }
    if constexpr (texels != KxTexels::None) {
        ShadeBatch<false>(batch, waitingGroups);
        ShadeBatch<true>(batch, waitingShared);
    }
}

template <KxTexels texels>
void FillSpans(const KxPendingSpans& spans, uint32_t depthScale, const KxTexture* texture, KxTexelBatch& batch)
{
    if (spans.b32BitDepth)
        FillSpans<uint32_t, texels>(spans, depthScale, texture, batch);
    else
        FillSpans<uint16_t, texels>(spans, depthScale, texture, batch);
}

bool IsPowerOfTwo(int32_t n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

}  // namespace

bool KxSpanAvx2Available()
{
    return bHasAvx2;
}

bool KxSpanAvx2Takes(const KxTexture* texture)
{
    return bHasAvx2 && (!texture || TextureFitsLanes(texture));
}

void KxFillSpansAvx2(const KxPendingSpans& spans, uint32_t depthScale, const KxTexture* texture)
{
    KxTexelBatch batch;
    batch.bits = texture ? texture->GetBits() : nullptr;
    batch.width = texture ? texture->GetWidth() : 0;
    batch.height = texture ? texture->GetHeight() : 0;
    if (!texture)
        FillSpans<KxTexels::None>(spans, depthScale, texture, batch);
    else if (IsPowerOfTwo(batch.width) && IsPowerOfTwo(batch.height))
        FillSpans<KxTexels::PowerOfTwo>(spans, depthScale, texture, batch);
    else
        FillSpans<KxTexels::AnySize>(spans, depthScale, texture, batch);
}

#else

bool KxSpanAvx2Available()
{
    return false;
}

bool KxSpanAvx2Takes(const KxTexture*)
{
    return false;
}

void KxFillSpansAvx2(const KxPendingSpans&, uint32_t, const KxTexture*) {}

#endif
