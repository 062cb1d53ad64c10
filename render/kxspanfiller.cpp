#include "render/kxspanfiller.h"

#include <climits>
#include <cstring>
#include <initializer_list>

#include "render/kxfixedpoint.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KX_SPAN_AVX2 1
#include <immintrin.h>
#endif

namespace {

// trunc(depthScale * z + 0.5) in double, to a 64-bit integer whose low 32
// bits are the depth. A value no 64-bit integer holds (z far out of range,
// infinite or NaN) has no depth: false, and the fragment is dropped.
inline bool DepthFromZ(uint32_t depthScale, float z, uint32_t& depth)
{
    const double scaled = double(depthScale) * double(z) + 0.5;
    if (!(scaled >= -0x1p63 && scaled < 0x1p63))
        return false;
    depth = uint32_t(uint64_t(int64_t(scaled)));
    return true;
}

// trunc(texelByte * (channel * 0.00390625f) + 0.5), low 8 bits. Every step
// of that double expression is exact (0.00390625 is 2^-8 and the product has
// fewer than 24 bits), so it equals (texelByte * channel + 128) / 256
// truncated toward zero, computed here in integers.
inline uint8_t Modulate(uint32_t texelByte, int32_t channel)
{
    const int32_t q = int32_t(texelByte) * channel + 128;
    return uint8_t(q >= 0 ? q >> 8 : -((-q) >> 8));
}

// One pixel: the depth test and write, then the modulated texel.
template <typename DepthEntry>
inline void ShadePixel(float z, float invW, float u, float v, int32_t blue, int32_t green, int32_t red,
                       uint32_t depthScale, DepthEntry& depth, uint8_t* pixel, const KxTexture* texture)
{
    uint32_t fragmentDepth;
    if (!DepthFromZ(depthScale, z, fragmentDepth) || uint32_t(depth) < fragmentDepth)
        return;
    depth = DepthEntry(fragmentDepth);
    if (!texture)
        return;
    const double w = 1.0 / double(invW);
    const uint32_t texel = texture->Sample(float(w * double(u)), float(w * double(v)));
    pixel[0] = Modulate((texel >> 16) & 0xFF, KxFromFixed(blue));
    pixel[1] = Modulate((texel >> 8) & 0xFF, KxFromFixed(green));
    pixel[2] = Modulate(texel & 0xFF, KxFromFixed(red));
}

// The cursor is a value: the byte stores could alias it otherwise, and
// every step would go through memory.
template <typename DepthEntry>
void FillScalar(KxSpanCursor c, int32_t count, uint32_t depthScale, DepthEntry* depth, uint8_t* pixel,
                const KxTexture* texture)
{
    for (int32_t i = 0; i < count; ++i, pixel += 3) {
        ShadePixel(c.z, c.invW, c.u, c.v, c.blue, c.green, c.red, depthScale, depth[i], pixel, texture);
        c.z += c.dz;
        c.invW += c.dInvW;
        c.blue += c.dBlue;
        c.green += c.dGreen;
        c.red += c.dRed;
        c.u += c.du;
        c.v += c.dv;
    }
}

#ifdef KX_SPAN_AVX2

// Four pixels at a time. The float attributes still step one pixel after
// the other (a packed add of z, 1/w, u/w, v/w rounds exactly as four scalar
// adds); everything after that is independent per pixel and runs in
// vector lanes with the same operations, in double where the scalar path
// uses double.
namespace avx2 {

__attribute__((target("avx2"))) inline __m128i LoadDepth(const uint16_t* depth)
{
    return _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(depth)));
}

__attribute__((target("avx2"))) inline __m128i LoadDepth(const uint32_t* depth)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(depth));
}

__attribute__((target("avx2"))) inline void StoreDepth(uint16_t* depth, __m128i entries)
{
    const __m128i low16 = _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(depth), _mm_shuffle_epi8(entries, low16));
}

__attribute__((target("avx2"))) inline void StoreDepth(uint32_t* depth, __m128i entries)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(depth), entries);
}

// TexelIndex in lanes: max(x, 1) turns NaN into 1 as well (the second
// operand wins), min(x, n) caps it, and truncation minus one gives the
// column: 0 below the image, n - 1 at and beyond its end.
__attribute__((target("avx2"))) inline __m128i TexelIndex(__m128 coordinate, __m256d size)
{
    const __m256d scaled = _mm256_mul_pd(size, _mm256_cvtps_pd(coordinate));
    const __m256d clamped = _mm256_min_pd(_mm256_max_pd(scaled, _mm256_set1_pd(1.0)), size);
    return _mm_sub_epi32(_mm256_cvttpd_epi32(clamped), _mm_set1_epi32(1));
}

// Colour channels 0..256 of two pixels, as 16-bit lanes in texel byte
// order (blue, green, red, 0), from their 16.16 accumulators.
__attribute__((target("avx2"))) inline __m128i RoundedChannels(__m128i first, __m128i second)
{
    const __m128i half = _mm_set1_epi32(32768);
    return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(first, half), 16),
                           _mm_srai_epi32(_mm_add_epi32(second, half), 16));
}

// (texel * channel + 128) / 256 for two pixels in 16-bit lanes: with the
// channel at most 256 the sum stays below 2^16 and is never negative, so a
// logical shift is the truncating division.
__attribute__((target("avx2"))) inline __m128i Modulate(__m128i texelBytes, __m128i channels)
{
    const __m128i product = _mm_add_epi16(_mm_mullo_epi16(texelBytes, channels), _mm_set1_epi16(128));
    return _mm_srli_epi16(product, 8);
}

// Writes the low three bytes of each passing lane to its pixel.
__attribute__((target("avx2"))) inline void StorePixels(uint8_t* pixel, __m128i packed, int passMask)
{
    if (passMask == 0xF) {
        const __m128i tight = _mm_shuffle_epi8(packed, _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14,
                                                                      -1, -1, -1, -1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pixel), tight);
        const int32_t last = _mm_extract_epi32(tight, 2);
        std::memcpy(pixel + 8, &last, sizeof(last));
        return;
    }
    alignas(16) uint32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), packed);
    for (int lane = 0; lane < 4; ++lane) {
        if (passMask & (1 << lane))
            std::memcpy(pixel + 3 * lane, &lanes[lane], 3);
    }
}

// Four texels, each read as the 32-bit word at its byte offset (the bitmap
// keeps padding after its last texel for this).
__attribute__((target("avx2"))) inline __m128i LoadTexels(const uint8_t* bits, __m128i offsets)
{
    alignas(16) int32_t at[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(at), offsets);
    int32_t texel[4];
    for (int lane = 0; lane < 4; ++lane)
        std::memcpy(&texel[lane], bits + at[lane], sizeof(int32_t));
    return _mm_setr_epi32(texel[0], texel[1], texel[2], texel[3]);
}

// The vector path needs every rounded channel of the span within 0..256,
// which holds for colours interpolated between 8-bit end points; both ends
// of a linear sequence bound all of it.
bool ChannelsFitLanes(const KxSpanCursor& c, int32_t count)
{
    const int64_t last = count - 1;
    for (const int64_t channel : {int64_t(c.blue), int64_t(c.blue) + last * c.dBlue, int64_t(c.green),
                                  int64_t(c.green) + last * c.dGreen, int64_t(c.red), int64_t(c.red) + last * c.dRed}) {
        if (channel < -32768 || channel > 256 * 65536 + 32767)
            return false;
    }
    return true;
}

// Pixels first..first+lanes-1 of a group on the scalar path, from the
// group's attribute vectors.
template <typename DepthEntry>
__attribute__((target("avx2"))) void ShadeScalar(const KxSpanCursor& c, int32_t first, int32_t lanes, __m128 z,
                                                 __m128 invW, __m128 u, __m128 v, uint32_t depthScale,
                                                 DepthEntry* depth, uint8_t* pixel, const KxTexture* texture)
{
    alignas(16) float zs[4], invWs[4], us[4], vs[4];
    _mm_store_ps(zs, z);
    _mm_store_ps(invWs, invW);
    _mm_store_ps(us, u);
    _mm_store_ps(vs, v);
    for (int32_t lane = 0; lane < lanes; ++lane) {
        const uint32_t k = uint32_t(first + lane);
        ShadePixel(zs[lane], invWs[lane], us[lane], vs[lane], int32_t(uint32_t(c.blue) + k * uint32_t(c.dBlue)),
                   int32_t(uint32_t(c.green) + k * uint32_t(c.dGreen)),
                   int32_t(uint32_t(c.red) + k * uint32_t(c.dRed)), depthScale, depth[k], pixel + 3 * lane,
                   texture);
    }
}

// Groups of four pixels handled together in three passes: depth, texel
// addresses, colour. Each pass's work per group is a short chain of
// dependent steps, so the processor overlaps many groups; one pass doing all
// of a group's work would keep only a couple in flight.
constexpr int32_t kBatchGroups = 16;

// What the depth pass leaves for the texture passes, per passing group.
struct KxTexelBatch {
    __m128 invW[kBatchGroups], u[kBatchGroups], v[kBatchGroups];
    __m128i colourLo[kBatchGroups], colourHi[kBatchGroups];
    __m128i offset[kBatchGroups];
    int32_t group[kBatchGroups];
    int passMask[kBatchGroups];
    int32_t count;
};

template <typename DepthEntry, bool bTextured>
__attribute__((target("avx2"))) void Fill(const KxSpanCursor& c, int32_t count, uint32_t depthScale,
                                          DepthEntry* depth, uint8_t* pixel, const KxTexture* texture)
{
    const __m128 step = _mm_setr_ps(c.dz, c.dInvW, c.du, c.dv);
    __m128 running = _mm_setr_ps(c.z, c.invW, c.u, c.v);
    const __m256d scale = _mm256_set1_pd(double(depthScale));
    const __m256d half = _mm256_set1_pd(0.5);
    const __m128i outOfRange = _mm_set1_epi32(INT32_MIN);  // what the conversion gives for it
    const uint8_t* bits = bTextured ? texture->GetBits() : nullptr;
    const int32_t textureWidth = bTextured ? texture->GetWidth() : 0;
    const __m256d width = _mm256_set1_pd(double(textureWidth));
    const __m256d height = _mm256_set1_pd(double(bTextured ? texture->GetHeight() : 0));

    // The fixed-point channels of the group's four pixels, one vector per
    // pixel: blue, green, red, 0.
    const __m128i slope = _mm_setr_epi32(c.dBlue, c.dGreen, c.dRed, 0);
    const __m128i groupStep = _mm_slli_epi32(slope, 2);
    __m128i channels0 = _mm_setr_epi32(c.blue, c.green, c.red, 0);
    __m128i channels1 = _mm_add_epi32(channels0, slope);
    __m128i channels2 = _mm_add_epi32(channels1, slope);
    __m128i channels3 = _mm_add_epi32(channels2, slope);

    KxTexelBatch batch;
    const int32_t groups = count / 4;
    for (int32_t first = 0; first < groups; first += kBatchGroups) {
        const int32_t last = first + kBatchGroups < groups ? first + kBatchGroups : groups;
        batch.count = 0;
        for (int32_t g = first; g < last; ++g) {
            const int32_t i = 4 * g;
            // z, 1/w, u/w, v/w of four pixels, one packed add per pixel.
            __m128 z = running;
            __m128 invW = _mm_add_ps(z, step);
            __m128 u = _mm_add_ps(invW, step);
            __m128 v = _mm_add_ps(u, step);
            running = _mm_add_ps(v, step);
            _MM_TRANSPOSE4_PS(z, invW, u, v);
            const __m128i lo = channels0, hi = channels2, lo1 = channels1, hi1 = channels3;
            channels0 = _mm_add_epi32(channels0, groupStep);
            channels1 = _mm_add_epi32(channels1, groupStep);
            channels2 = _mm_add_epi32(channels2, groupStep);
            channels3 = _mm_add_epi32(channels3, groupStep);

            // Depth in 32-bit lanes. A lane outside that range (or NaN)
            // converts to INT32_MIN; such a group takes the scalar path,
            // which keeps the 64-bit conversion's low bits.
            const __m128i fragment =
                _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_mul_pd(scale, _mm256_cvtps_pd(z)), half));
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(fragment, outOfRange)) != 0) {
                ShadeScalar(c, i, 4, z, invW, u, v, depthScale, depth, pixel + 3 * i, texture);
                continue;
            }
            const __m128i stored = LoadDepth(depth + i);
            const __m128i passes = _mm_cmpeq_epi32(_mm_max_epu32(stored, fragment), stored);
            const int passMask = _mm_movemask_ps(_mm_castsi128_ps(passes));
            if (passMask == 0)
                continue;
            StoreDepth(depth + i, _mm_blendv_epi8(stored, fragment, passes));
            if (!bTextured)
                continue;
            const int32_t k = batch.count++;
            batch.invW[k] = invW;
            batch.u[k] = u;
            batch.v[k] = v;
            batch.colourLo[k] = RoundedChannels(lo, lo1);
            batch.colourHi[k] = RoundedChannels(hi, hi1);
            batch.group[k] = g;
            batch.passMask[k] = passMask;
        }
        if (!bTextured)
            continue;

        for (int32_t k = 0; k < batch.count; ++k) {
            const __m256d w = _mm256_div_pd(_mm256_set1_pd(1.0), _mm256_cvtps_pd(batch.invW[k]));
            const __m128 s = _mm256_cvtpd_ps(_mm256_mul_pd(w, _mm256_cvtps_pd(batch.u[k])));
            const __m128 t = _mm256_cvtpd_ps(_mm256_mul_pd(w, _mm256_cvtps_pd(batch.v[k])));
            const __m128i texelIndex = _mm_add_epi32(
                _mm_mullo_epi32(TexelIndex(t, height), _mm_set1_epi32(textureWidth)), TexelIndex(s, width));
            batch.offset[k] = _mm_add_epi32(texelIndex, _mm_add_epi32(texelIndex, texelIndex));
        }
        for (int32_t k = 0; k < batch.count; ++k) {
            const __m128i texel = LoadTexels(bits, batch.offset[k]);
            const __m128i lo = Modulate(_mm_cvtepu8_epi16(texel), batch.colourLo[k]);
            const __m128i hi = Modulate(_mm_cvtepu8_epi16(_mm_srli_si128(texel, 8)), batch.colourHi[k]);
            StorePixels(pixel + 12 * batch.group[k], _mm_packus_epi16(lo, hi), batch.passMask[k]);
        }
    }

    const int32_t i = 4 * groups;
    if (i < count) {
        __m128 z = running;
        __m128 invW = _mm_add_ps(z, step);
        __m128 u = _mm_add_ps(invW, step);
        __m128 v = _mm_add_ps(u, step);
        _MM_TRANSPOSE4_PS(z, invW, u, v);
        ShadeScalar(c, i, count - i, z, invW, u, v, depthScale, depth, pixel + 3 * i, texture);
    }
}

template <typename DepthEntry>
void Fill(const KxSpanCursor& c, int32_t count, uint32_t depthScale, DepthEntry* depth, uint8_t* pixel,
          const KxTexture* texture)
{
    if (texture)
        Fill<DepthEntry, true>(c, count, depthScale, depth, pixel, texture);
    else
        Fill<DepthEntry, false>(c, count, depthScale, depth, pixel, texture);
}

}  // namespace avx2

bool DetectAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

const bool bHasAvx2 = DetectAvx2();

// The vector path gathers texel bytes straight from the bitmap's memory; an
// empty bitmap (sampled as 0) goes the scalar way, and so do colours the
// 16-bit lanes cannot hold.
bool UseAvx2(const KxSpanCursor& c, int32_t count, const KxTexture* texture)
{
    return bHasAvx2 && (!texture || texture->GetBits()) && avx2::ChannelsFitLanes(c, count);
}

#endif

}  // namespace

bool KxSpanVectorPathAvailable()
{
#ifdef KX_SPAN_AVX2
    return bHasAvx2;
#else
    return false;
#endif
}

namespace {

// The vector path where this processor and span allow it, else the scalar one.
template <typename DepthEntry>
void FillSpan(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, DepthEntry* depth, uint8_t* pixel,
              const KxTexture* texture)
{
#ifdef KX_SPAN_AVX2
    if (UseAvx2(cursor, count, texture))
        return avx2::Fill(cursor, count, depthScale, depth, pixel, texture);
#endif
    FillScalar(cursor, count, depthScale, depth, pixel, texture);
}

}  // namespace

void KxFillSpan(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, uint16_t* depth, uint8_t* pixel,
                const KxTexture* texture)
{
    FillSpan(cursor, count, depthScale, depth, pixel, texture);
}

void KxFillSpan(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, uint32_t* depth, uint8_t* pixel,
                const KxTexture* texture)
{
    FillSpan(cursor, count, depthScale, depth, pixel, texture);
}

void KxFillSpanScalar(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, uint16_t* depth,
                      uint8_t* pixel, const KxTexture* texture)
{
    FillScalar(cursor, count, depthScale, depth, pixel, texture);
}
