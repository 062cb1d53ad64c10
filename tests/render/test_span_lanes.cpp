// The span filler's vector path against its scalar path on random spans:
// every colour byte and depth entry must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "kxtestdevice.h"
#include "render/kxspanfiller.h"
#include "render/kxspanfiller_avx2.h"

namespace {

// Colours fade over the span's count pixels, slowly or across the whole
// range, or stay one colour (which the vector path rounds once).
// Wild spans may have 1/w zero throughout, so that the texture coordinates
// are infinite or NaN, and a red channel that rounds to 256. Depth-edge
// spans stay next to 0 and 65535, where the 16-bit lanes end.
KxSpanCursor RandomCursor(KxTestRandom& r, int32_t count, bool bWild, bool bOneColour, bool bDepthEdge)
{
    KxSpanCursor c;
    const float depthEdge = r.rng() % 2 ? 1.0f : 0.0f;
    c.z = bDepthEdge ? depthEdge + r.Uniform(-0.00005f, 0.00005f) : r.Uniform(-0.1f, 1.1f);
    c.dz = bDepthEdge ? r.Uniform(-0.0000002f, 0.0000002f) : r.Uniform(-0.01f, 0.01f);
    c.invW = r.Uniform(bWild ? -0.5f : 0.01f, 0.5f);
    c.dInvW = r.Uniform(-0.002f, 0.002f);
    c.u = r.Uniform(bWild ? -40.0f : -0.2f, bWild ? 40.0f : 0.6f);
    c.du = r.Uniform(-0.01f, 0.01f);
    c.v = r.Uniform(-0.2f, 0.6f);
    c.dv = r.Uniform(bWild ? -2.0f : -0.01f, bWild ? 2.0f : 0.01f);
    for (auto [channel, slope] : {std::pair{&c.blue, &c.dBlue}, {&c.green, &c.dGreen}, {&c.red, &c.dRed}}) {
        *channel = r.Int(0, 255) << 16;
        const int32_t reach = r.Chance(50) ? 4000 : (255 << 16) / std::max(count - 1, 1);
        *slope = bOneColour ? 0 : r.Int(-std::min(reach, *channel / std::max(count - 1, 1)), 0);
    }
    if (bWild && r.rng() % 3 == 0) {
        c.invW = c.dInvW = 0.0f;
        if (r.rng() % 2)
            c.u = c.du = 0.0f;
    }
    if (bWild && r.rng() % 4 == 0)
        c.red = (255 << 16) + 0xC000;
    return c;
}

// Up to nine spans in one buffer, like rows of a frame, side by side or
// a few entries apart, given to one filler (it fills spans in pairs, two
// short ones in one group, may hold colours back until it finishes, and
// rewrites entries past a span's end). Spans shorter and longer than a
// vector group, and often of one to six pixels; buffers that end at the
// last span or a few entries later, random or cleared depths.
template <typename DepthEntry>
void CompareFillerWithScalar(KxTestRandom& r, uint32_t depthScale, const KxTexture* texture)
{
    for (int round = 0; round < 150; ++round) {
        const KxTexture* stage = round % 5 == 0 ? nullptr : texture;
        std::vector<KxSpanCursor> cursors(size_t(r.Int(1, 9)));
        std::vector<int32_t> counts, starts;
        int32_t total = 0;
        for (KxSpanCursor& cursor : cursors) {
            counts.push_back(r.Int(1, round % 3 == 0 ? 300 : round % 3 == 1 ? 40 : 6));
            cursor = RandomCursor(r, counts.back(), round % 7 == 6, round % 4 == 1, round % 6 == 5);
            total += r.Chance(50) ? 0 : r.Int(1, 12);
            starts.push_back(total);
            total += counts.back();
        }
        const size_t entries = size_t(total + r.Int(0, 9));
        std::vector<DepthEntry> depth(entries, DepthEntry(depthScale));
        for (DepthEntry& d : depth)
            if (round % 12 != 11)  // else a cleared buffer
                d = DepthEntry(uint64_t(std::uniform_real_distribution<double>(0.0, 1.0)(r.rng) * depthScale));
        std::vector<uint8_t> pixels(3 * entries);
        for (uint8_t& byte : pixels)
            byte = uint8_t(r.rng());
        std::vector<DepthEntry> depthScalar = depth;
        std::vector<uint8_t> pixelsScalar = pixels;
        {
            // In order, or last first: the filler may take spans in any order.
            KxSpanFiller filler(depthScale, stage, depth.data() + entries, pixels.data() + 3 * entries);
            const bool bReversed = r.Chance(30);
            for (size_t k = 0; k < cursors.size(); ++k) {
                const size_t i = bReversed ? cursors.size() - 1 - k : k;
                filler.Fill(cursors[i], counts[i], depth.data() + starts[i], pixels.data() + 3 * starts[i]);
            }
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
    KxTestRandom r{std::mt19937(99)};
    // A texture of odd and one of power-of-two sizes.
    for (const KxTexturePtr& texture :
         {KxMakeTexture(13, 7, KxDistinctTexels(91)), KxMakeTexture(16, 8, KxDistinctTexels(128))}) {
        CompareFillerWithScalar<uint16_t>(r, 65535, texture.get());
        CompareFillerWithScalar<uint32_t>(r, 0xFFFFFFFF, texture.get());
    }
}
