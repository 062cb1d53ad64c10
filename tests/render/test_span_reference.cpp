// The span filler against a plain transcription of its algorithm, on random
// spans: every colour byte and depth entry must agree.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "kxtestbmp.h"
#include "kxtestdevice.h"
#include "render/kxspanfiller.h"
#include "render/kxspanfiller_avx2.h"

namespace {

// Buffers the reference draws into, laid out as the device's.
struct KxReferenceFrame {
    int32_t width, height, rowStride;
    std::vector<uint8_t> colour;
    std::vector<uint16_t> depth;
};

int32_t Channel(uint32_t color, int k)
{
    return int32_t((color >> (16 - 8 * k)) & 0xFF);
}

float Slope(float start, float end, int64_t steps)
{
    return float((double(end) - double(start)) / double(steps));
}

// Step by step as written: every bound stage is sampled and written in
// turn, modulation in double precision.
void ReferenceSpan(KxReferenceFrame& f, KxTexture* const stages[8], int32_t xA, int32_t xB, int32_t y, float zA,
                   float zB, uint32_t colorA, uint32_t colorB, float uA, float vA, float uB, float vB, float invWA,
                   float invWB)
{
    if (y < 0 || y >= f.height)
        return;
    if (xA > xB) {
        std::swap(xA, xB);
        std::swap(zA, zB);
        std::swap(colorA, colorB);
        std::swap(uA, uB);
        std::swap(vA, vB);
        std::swap(invWA, invWB);
    }
    if (xB < 0 || xA >= f.width)
        return;
    const int64_t n = int64_t(xB) - xA;
    int32_t acc[3], dAcc[3];
    for (int k = 0; k < 3; ++k) {
        acc[k] = Channel(colorA, k) * 65536;
        dAcc[k] = n == 0 ? 0 : int32_t(int64_t((Channel(colorB, k) - Channel(colorA, k)) * 65536) / n);
    }
    float z = zA, u = uA, v = vA, invW = invWA;
    const float dz = n ? Slope(zA, zB, n) : 0.0f, du = n ? Slope(uA, uB, n) : 0.0f;
    const float dv = n ? Slope(vA, vB, n) : 0.0f, dInvW = n ? Slope(invWA, invWB, n) : 0.0f;
    if (xA < 0) {
        const int64_t k = -int64_t(xA);
        z = float(double(z) + double(k) * double(dz));
        u = float(double(u) + double(k) * double(du));
        v = float(double(v) + double(k) * double(dv));
        invW = float(double(invW) + double(k) * double(dInvW));
        for (int c = 0; c < 3; ++c)
            acc[c] = int32_t(acc[c] + k * dAcc[c]);
        xA = 0;
    }
    if (xB >= f.width)
        xB = f.width - 1;
    for (int32_t x = xA; x <= xB; ++x) {
        const double scaled = 65535.0 * double(z) + 0.5;
        if (scaled >= -0x1p63 && scaled < 0x1p63) {
            const uint32_t depth = uint32_t(uint64_t(int64_t(scaled)));
            uint16_t& stored = f.depth[size_t(y) * f.width + x];
            if (uint32_t(stored) >= depth) {
                stored = uint16_t(depth);
                for (int stage = 0; stage < 8; ++stage) {
                    if (!stages[stage])
                        continue;
                    const double w = 1.0 / double(invW);
                    const uint32_t texel = stages[stage]->Sample(float(w * u), float(w * v));
                    uint8_t* p = &f.colour[size_t(y) * f.rowStride + 3 * x];
                    for (int k = 0; k < 3; ++k) {
                        const int32_t c = (acc[k] + 32768) >> 16;
                        const double value = double((texel >> (16 - 8 * k)) & 0xFF) * (c * double(0.00390625f)) + 0.5;
                        p[k] = uint8_t(int32_t(value));
                    }
                }
            }
        }
        z += dz;
        invW += dInvW;
        for (int c = 0; c < 3; ++c)
            acc[c] += dAcc[c];
        u += du;
        v += dv;
    }
}

class SpanReference : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::vector<uint8_t> image = KxBmpFile(13, 7);  // distinct bytes, odd sizes
        pTexture = new KxTexture(KxWriteTempFile("spanref.bmp", image).c_str(), t.device.GetPixels(), 3);
        ASSERT_TRUE(pTexture->IsLoaded());
    }
    void TearDown() override { pTexture->Release(); }

    KxTestDevice t{61, 23};
    KxTexture* pTexture = nullptr;
};

float RandomFloat(std::mt19937& rng, float lo, float hi)
{
    return std::uniform_real_distribution<float>(lo, hi)(rng);
}

}  // namespace

TEST_F(SpanReference, RandomSpansMatchTheReferenceByteForByte)
{
    std::mt19937 rng(1234);
    KxReferenceFrame f{t.device.GetWidth(), t.device.GetHeight(), t.device.GetRowStride(), {}, {}};
    for (int round = 0; round < 40; ++round) {
        KxTexture* stages[8] = {};
        const int bound = round % 4;  // none, stage 0, stage 5, stages 2 and 6
        if (bound == 1)
            stages[0] = pTexture;
        if (bound == 2)
            stages[5] = pTexture;
        if (bound == 3)
            stages[2] = stages[6] = pTexture;
        for (int s = 0; s < 8; ++s)
            t.device.SetTexture(s, stages[s]);

        const float clearZ = RandomFloat(rng, 0.2f, 1.0f);
        t.device.Clear(0, nullptr, 3, 0x203040, clearZ, 0);
        f.colour.assign(t.device.GetPixels(), t.device.GetPixels() + size_t(f.rowStride) * f.height);
        f.depth.assign(size_t(f.width) * f.height, uint16_t(65535.0 * double(clearZ) + 0.5));

        for (int i = 0; i < 60; ++i) {
            const int32_t xA = std::uniform_int_distribution<int32_t>(-40, 100)(rng);
            const int32_t xB = std::uniform_int_distribution<int32_t>(-40, 100)(rng);
            const int32_t y = std::uniform_int_distribution<int32_t>(-2, 24)(rng);
            float zA = RandomFloat(rng, -0.05f, 1.05f), zB = RandomFloat(rng, -0.05f, 1.05f);
            if (i % 10 == 9) {
                // Depths beyond 32 bits, and ones with no depth at all, on one end.
                const float extremes[] = {70000.0f, -40000.0f, 1e12f, std::nanf(""), INFINITY};
                zA = extremes[(i / 10) % 5];
            }
            const uint32_t cA = std::uniform_int_distribution<uint32_t>(0, 0xFFFFFF)(rng);
            const uint32_t cB = std::uniform_int_distribution<uint32_t>(0, 0xFFFFFF)(rng);
            const float invWA = RandomFloat(rng, -0.2f, 0.5f), invWB = RandomFloat(rng, -0.2f, 0.5f);
            const float uA = RandomFloat(rng, -0.3f, 0.6f) * invWA, uB = RandomFloat(rng, -0.3f, 0.6f) * invWB;
            const float vA = RandomFloat(rng, -0.3f, 0.6f) * invWA, vB = RandomFloat(rng, -0.3f, 0.6f) * invWB;
            t.device.RasterizeSpan(xA, xB, y, zA, zB, cA, cB, uA, vA, uB, vB, invWA, invWB);
            ReferenceSpan(f, stages, xA, xB, y, zA, zB, cA, cB, uA, vA, uB, vB, invWA, invWB);
        }
        ASSERT_EQ(std::memcmp(f.colour.data(), t.device.GetPixels(), f.colour.size()), 0) << "round " << round;
        for (int32_t y = 0; y < f.height; ++y)
            for (int32_t x = 0; x < f.width; ++x)
                ASSERT_EQ(t.device.GetDepth(x, y), f.depth[size_t(y) * f.width + x]) << x << "," << y;
    }
}

// Colours fade, or stay one colour (which the vector path rounds once).
// Wild spans may have 1/w zero throughout, so that the texture coordinates
// are infinite or NaN, and a red channel that rounds to 256.
KxSpanCursor RandomCursor(std::mt19937& rng, bool bWild, bool bOneColour, bool bDepthEdge = false)
{
    KxSpanCursor c;
    c.z = RandomFloat(rng, -0.1f, 1.1f);
    c.dz = RandomFloat(rng, -0.01f, 0.01f);
    if (bDepthEdge) {
        // Depths next to 0 and 65535, where the 16-bit lanes end.
        c.z = rng() % 2 ? RandomFloat(rng, -0.00005f, 0.00005f) : RandomFloat(rng, 0.99995f, 1.00005f);
        c.dz = RandomFloat(rng, -0.0000002f, 0.0000002f);
    }
    c.invW = RandomFloat(rng, bWild ? -0.5f : 0.01f, 0.5f);
    c.dInvW = RandomFloat(rng, -0.002f, 0.002f);
    c.u = RandomFloat(rng, bWild ? -40.0f : -0.2f, bWild ? 40.0f : 0.6f);
    c.du = RandomFloat(rng, -0.01f, 0.01f);
    c.v = RandomFloat(rng, -0.2f, 0.6f);
    c.dv = RandomFloat(rng, bWild ? -2.0f : -0.01f, bWild ? 2.0f : 0.01f);
    c.blue = std::uniform_int_distribution<int32_t>(0, 255)(rng) << 16;
    c.green = std::uniform_int_distribution<int32_t>(0, 255)(rng) << 16;
    c.red = std::uniform_int_distribution<int32_t>(0, 255)(rng) << 16;
    std::uniform_int_distribution<int32_t> fade(-4000, 0);
    c.dBlue = bOneColour ? 0 : fade(rng);
    c.dGreen = bOneColour ? 0 : fade(rng);
    c.dRed = bOneColour ? 0 : fade(rng);
    if (bWild && rng() % 3 == 0) {
        c.invW = c.dInvW = 0.0f;
        if (rng() % 2)
            c.u = c.du = 0.0f;
    }
    if (bWild && rng() % 4 == 0)
        c.red = (255 << 16) + 0xC000;
    return c;
}

// Both depth formats, a texture of odd and one of power-of-two sizes, and
// up to five spans side by side in one buffer, like rows of a frame, given
// to one filler (it fills spans in pairs, may hold colours back until it
// finishes, and rewrites entries past a span's end). Spans shorter and
// longer than a vector group, buffers that end at the last span or a few
// entries later, and attributes that leave the texture, reach z beyond the
// depth range or make 1/w zero or negative.
template <typename DepthEntry>
void CompareFillerWithScalar(std::mt19937& rng, uint32_t depthScale, const KxTexture* texture)
{
    for (int round = 0; round < 100; ++round) {
        const KxTexture* stage = round % 5 == 0 ? nullptr : texture;
        std::vector<KxSpanCursor> cursors(std::uniform_int_distribution<size_t>(1, 5)(rng));
        std::vector<int32_t> counts, starts;
        int32_t total = 0;
        for (KxSpanCursor& cursor : cursors) {
            cursor = RandomCursor(rng, round % 7 == 6, round % 4 == 1, round % 6 == 5);
            counts.push_back(std::uniform_int_distribution<int32_t>(1, round % 3 == 0 ? 300 : 40)(rng));
            starts.push_back(total);
            total += counts.back();
        }
        const int32_t slack = std::uniform_int_distribution<int32_t>(0, 9)(rng);
        std::vector<DepthEntry> depthFiller(static_cast<size_t>(total + slack));
        // Random entries, or a cleared buffer (the farthest depth).
        const bool bCleared = round % 12 == 11;
        for (DepthEntry& d : depthFiller)
            d = bCleared ? DepthEntry(depthScale)
                         : DepthEntry(uint64_t(std::uniform_real_distribution<double>(0.0, 1.0)(rng) * depthScale));
        std::vector<uint8_t> pixelsFiller(3 * size_t(total + slack));
        for (uint8_t& byte : pixelsFiller)
            byte = uint8_t(rng());
        std::vector<DepthEntry> depthScalar = depthFiller;
        std::vector<uint8_t> pixelsScalar = pixelsFiller;
        {
            KxSpanFiller filler(depthScale, stage, depthFiller.data() + depthFiller.size(),
                                pixelsFiller.data() + pixelsFiller.size());
            for (size_t i = 0; i < cursors.size(); ++i)
                filler.Fill(cursors[i], counts[i], depthFiller.data() + starts[i],
                            pixelsFiller.data() + 3 * starts[i]);
        }
        for (size_t i = 0; i < cursors.size(); ++i)
            KxFillSpanScalar(cursors[i], counts[i], depthScale, depthScalar.data() + starts[i],
                             pixelsScalar.data() + 3 * starts[i], stage);
        ASSERT_EQ(depthFiller, depthScalar) << "round " << round;
        ASSERT_EQ(pixelsFiller, pixelsScalar) << "round " << round;
    }
}

TEST_F(SpanReference, FillerAndScalarPathWriteTheSameBytes)
{
    if (!KxSpanAvx2Available())
        GTEST_SKIP() << "this processor has the scalar path only";
    KxTexture* pSquare =
        new KxTexture(KxWriteTempFile("spanref16.bmp", KxBmpFile(16, 8)).c_str(), t.device.GetPixels(), 3);
    ASSERT_TRUE(pSquare->IsLoaded());
    std::mt19937 rng(99);
    for (const KxTexture* texture : {static_cast<const KxTexture*>(pTexture), static_cast<const KxTexture*>(pSquare)}) {
        CompareFillerWithScalar<uint16_t>(rng, 65535, texture);
        CompareFillerWithScalar<uint32_t>(rng, 0xFFFFFFFF, texture);
    }
    pSquare->Release();
}

namespace {

// The texel column the sampler picks for coordinate s in an image n wide.
int32_t Column(int32_t n, float s)
{
    return KxDib::TexelIndex(n, double(n) * double(s));
}

// The vector path divides u/w by 1/w in floats where the scalar path forms
// the reciprocal and the product in double; the texel must be the same.
void ExpectSameTexel(float u, float q)
{
    const float inDouble = float((1.0 / double(q)) * double(u));
    const float inFloat = u / q;
    if (std::isnormal(inDouble) || inDouble == 0.0f) {
        uint32_t a, b;
        std::memcpy(&a, &inDouble, 4);
        std::memcpy(&b, &inFloat, 4);
        ASSERT_EQ(a, b) << u << " / " << q;
        return;
    }
    for (const int32_t n : {1, 13, 256, 16384})
        ASSERT_EQ(Column(n, inDouble), Column(n, inFloat)) << u << " / " << q << " in " << n;
}

}  // namespace

TEST(PerspectiveDivision, FloatQuotientPicksTheTexelOfTheDoubleFormula)
{
    std::mt19937 rng(7);
    // Any bit patterns: every exponent, subnormals, infinities and NaNs.
    std::uniform_int_distribution<uint32_t> bits;
    for (int i = 0; i < 1000000; ++i) {
        const uint32_t a = bits(rng), b = bits(rng);
        float u, q;
        std::memcpy(&u, &a, 4);
        std::memcpy(&q, &b, 4);
        ExpectSameTexel(u, q);
    }
    // Quotients next to points halfway between floats, where a second
    // rounding would show: u = q (1 + (2k + 1) 2^-24) rounded, and its
    // neighbours.
    std::uniform_int_distribution<int32_t> odd(1, 1 << 20);
    for (int i = 0; i < 300000; ++i) {
        const float q = float(2 * odd(rng) + 1) * std::ldexp(1.0f, odd(rng) % 60 - 30);
        const double m = 1.0 + double(2 * odd(rng) + 1) * std::ldexp(1.0, -24);
        const float u = float(double(q) * m);
        for (const float v : {u, std::nextafter(u, 0.0f), std::nextafter(u, INFINITY)})
            ExpectSameTexel(v, q);
    }
    for (const float special : {0.0f, -0.0f, INFINITY, -INFINITY, std::nanf(""), 1e-45f, 3.4e38f}) {
        for (const float other : {0.0f, -0.0f, INFINITY, -INFINITY, std::nanf(""), 1e-45f, 0.25f, -3.0f}) {
            ExpectSameTexel(special, other);
            ExpectSameTexel(other, special);
        }
    }
}
