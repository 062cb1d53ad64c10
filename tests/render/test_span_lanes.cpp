// The span filler's vector path against its scalar path on random spans,
// and the vector path's perspective division against the scalar formula.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "kxtestdevice.h"
#include "render/kxspanfiller.h"
#include "render/kxspanfiller_avx2.h"

namespace {

float Uniform(std::mt19937& rng, float lo, float hi)
{
    return std::uniform_real_distribution<float>(lo, hi)(rng);
}

int32_t Int(std::mt19937& rng, int32_t lo, int32_t hi)
{
    return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
}

// Colours fade, or stay one colour (which the vector path rounds once).
// Wild spans may have 1/w zero throughout, so that the texture coordinates
// are infinite or NaN, and a red channel that rounds to 256. Depth-edge
// spans stay next to 0 and 65535, where the 16-bit lanes end.
KxSpanCursor RandomCursor(std::mt19937& rng, bool bWild, bool bOneColour, bool bDepthEdge)
{
    KxSpanCursor c;
    c.z = Uniform(rng, -0.1f, 1.1f);
    c.dz = Uniform(rng, -0.01f, 0.01f);
    if (bDepthEdge) {
        c.z = rng() % 2 ? Uniform(rng, -0.00005f, 0.00005f) : Uniform(rng, 0.99995f, 1.00005f);
        c.dz = Uniform(rng, -0.0000002f, 0.0000002f);
    }
    c.invW = Uniform(rng, bWild ? -0.5f : 0.01f, 0.5f);
    c.dInvW = Uniform(rng, -0.002f, 0.002f);
    c.u = Uniform(rng, bWild ? -40.0f : -0.2f, bWild ? 40.0f : 0.6f);
    c.du = Uniform(rng, -0.01f, 0.01f);
    c.v = Uniform(rng, -0.2f, 0.6f);
    c.dv = Uniform(rng, bWild ? -2.0f : -0.01f, bWild ? 2.0f : 0.01f);
    c.blue = Int(rng, 0, 255) << 16;
    c.green = Int(rng, 0, 255) << 16;
    c.red = Int(rng, 0, 255) << 16;
    c.dBlue = bOneColour ? 0 : Int(rng, -4000, 0);
    c.dGreen = bOneColour ? 0 : Int(rng, -4000, 0);
    c.dRed = bOneColour ? 0 : Int(rng, -4000, 0);
    if (bWild && rng() % 3 == 0) {
        c.invW = c.dInvW = 0.0f;
        if (rng() % 2)
            c.u = c.du = 0.0f;
    }
    if (bWild && rng() % 4 == 0)
        c.red = (255 << 16) + 0xC000;
    return c;
}

// Up to five spans side by side in one buffer, like rows of a frame, given
// to one filler (it fills spans in pairs, may hold colours back until it
// finishes, and rewrites entries past a span's end). Spans shorter and
// longer than a vector group, buffers that end at the last span or a few
// entries later, random or cleared depths.
template <typename DepthEntry>
void CompareFillerWithScalar(std::mt19937& rng, uint32_t depthScale, const KxTexture* texture)
{
    for (int round = 0; round < 100; ++round) {
        const KxTexture* stage = round % 5 == 0 ? nullptr : texture;
        std::vector<KxSpanCursor> cursors(size_t(Int(rng, 1, 5)));
        std::vector<int32_t> counts, starts;
        int32_t total = 0;
        for (KxSpanCursor& cursor : cursors) {
            cursor = RandomCursor(rng, round % 7 == 6, round % 4 == 1, round % 6 == 5);
            counts.push_back(Int(rng, 1, round % 3 == 0 ? 300 : 40));
            starts.push_back(total);
            total += counts.back();
        }
        const size_t entries = size_t(total + Int(rng, 0, 9));
        std::vector<DepthEntry> depth(entries);
        for (DepthEntry& d : depth)
            d = round % 12 == 11 ? DepthEntry(depthScale)
                                 : DepthEntry(uint64_t(std::uniform_real_distribution<double>(0.0, 1.0)(rng) * depthScale));
        std::vector<uint8_t> pixels(3 * entries);
        for (uint8_t& byte : pixels)
            byte = uint8_t(rng());
        std::vector<DepthEntry> depthScalar = depth;
        std::vector<uint8_t> pixelsScalar = pixels;
        {
            KxSpanFiller filler(depthScale, stage, depth.data() + entries, pixels.data() + 3 * entries);
            for (size_t i = 0; i < cursors.size(); ++i)
                filler.Fill(cursors[i], counts[i], depth.data() + starts[i], pixels.data() + 3 * starts[i]);
        }
        for (size_t i = 0; i < cursors.size(); ++i)
            KxFillSpanScalar(cursors[i], counts[i], depthScale, depthScalar.data() + starts[i],
                             pixelsScalar.data() + 3 * starts[i], stage);
        ASSERT_EQ(depth, depthScalar) << "round " << round;
        ASSERT_EQ(pixels, pixelsScalar) << "round " << round;
    }
}

}  // namespace

TEST(SpanReference, FillerAndScalarPathWriteTheSameBytes)
{
    if (!KxSpanAvx2Available())
        GTEST_SKIP() << "this processor has the scalar path only";
    std::mt19937 rng(99);
    // A texture of odd and one of power-of-two sizes.
    for (const KxTexturePtr& texture : {KxMakeTexture(13, 7, KxDistinctTexels(91)), KxMakeTexture(16, 8, KxDistinctTexels(128))}) {
        CompareFillerWithScalar<uint16_t>(rng, 65535, texture.get());
        CompareFillerWithScalar<uint32_t>(rng, 0xFFFFFFFF, texture.get());
    }
}

namespace {

// The vector path divides u/w by 1/w in floats where the scalar path forms
// the reciprocal and the product in double; the texel must be the same.
void ExpectSameTexel(float u, float q)
{
    const float inDouble = float((1.0 / double(q)) * double(u));
    const float inFloat = u / q;
    if (std::isnormal(inDouble) || inDouble == 0.0f) {
        ASSERT_EQ(std::memcmp(&inDouble, &inFloat, 4), 0) << u << " / " << q;
        return;
    }
    for (const int32_t n : {1, 13, 256, 16384})
        ASSERT_EQ(KxDib::TexelIndex(n, double(n) * inDouble), KxDib::TexelIndex(n, double(n) * inFloat))
            << u << " / " << q << " in " << n;
}

}  // namespace

TEST(PerspectiveDivision, FloatQuotientPicksTheTexelOfTheDoubleFormula)
{
    std::mt19937 rng(7);
    // Any bit patterns: every exponent, subnormals, infinities and NaNs.
    for (int i = 0; i < 1000000; ++i) {
        const uint32_t bits[2] = {uint32_t(rng()), uint32_t(rng())};
        float uq[2];
        std::memcpy(uq, bits, 8);
        ExpectSameTexel(uq[0], uq[1]);
    }
    // Quotients next to points halfway between floats, where a second
    // rounding would show: u = q (1 + (2k + 1) 2^-24) rounded, and its
    // neighbours.
    for (int i = 0; i < 300000; ++i) {
        const float q = float(2 * Int(rng, 1, 1 << 20) + 1) * std::ldexp(1.0f, Int(rng, 1, 1 << 20) % 60 - 30);
        const float u = float(double(q) * (1.0 + double(2 * Int(rng, 1, 1 << 20) + 1) * std::ldexp(1.0, -24)));
        for (const float v : {u, std::nextafter(u, 0.0f), std::nextafter(u, INFINITY)})
            ExpectSameTexel(v, q);
    }
    const float specials[] = {0.0f, -0.0f, INFINITY, -INFINITY, std::nanf(""), 1e-45f, 3.4e38f, 0.25f, -3.0f};
    for (const float a : specials)
        for (const float b : specials) {
            ExpectSameTexel(a, b);
            ExpectSameTexel(b, a);
        }
}
