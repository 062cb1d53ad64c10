// The clipper against the plain transcription of its documented arithmetic
// on random triangles (one or two vertices behind the near plane, vertices
// on it, w = 0, NaN and infinities, triangles far across the guard band),
// and the shapes it must give: how many triangles, which vertices stay,
// which way they wind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "kxclipreference.h"
#include "kxtestdevice.h"
#include "render/kxclipper.h"
#include "render/kxgeometry_avx2.h"
#include "render/kxvertexbatch.h"

namespace {

constexpr double kBand = KxSoftwareRenderDevice::kGuardBand;

KxClipVertex ToClip(const KxRefClipVertex& r)
{
    return {r.x, r.y, r.z, r.w, r.nearDistance, r.u, r.v, r.color};
}

bool SameBits(const KxClipVertex& a, const KxClipVertex& b)
{
    return std::memcmp(&a.x, &b.x, 5 * sizeof(double)) == 0 && std::memcmp(&a.u, &b.u, 4) == 0 &&
           std::memcmp(&a.v, &b.v, 4) == 0 && a.color == b.color;
}

bool SameBits(const KxClipVertex& a, const KxRefClipVertex& r)
{
    return SameBits(a, ToClip(r));
}

bool SameBits(const KxProjectedVertex& a, const KxRefScreenVertex& b)
{
    return a.x == b.x && a.y == b.y && a.color == b.color && std::memcmp(&a.z, &b.z, 4) == 0 &&
           std::memcmp(&a.uOverW, &b.uOverW, 4) == 0 && std::memcmp(&a.vOverW, &b.vOverW, 4) == 0 &&
           std::memcmp(&a.invW, &b.invW, 4) == 0;
}

struct KxRandomClip : KxTestRandom {
    double Special()
    {
        const double values[] = {0.0, -0.0, std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(), std::nan("")};
        return values[Int(0, 4)];
    }

    // A vertex in front of or behind the near plane, on it now and then, its
    // screen position at most `reach` times the band away from the middle.
    KxRefClipVertex Vertex(double reach)
    {
        KxRefClipVertex v;
        v.w = Chance(5) ? (Chance(50) ? 0.0 : -double(Uniform(0.1f, 5.0f))) : double(Uniform(0.01f, 20.0f));
        v.nearDistance = Chance(8) ? (Chance(50) ? 0.0 : -0.0) : double(Uniform(-10.0f, 10.0f));
        const double spread = reach * kBand;
        v.x = double(Uniform(-1.0f, 1.0f)) * spread * v.w + (Chance(5) ? double(Uniform(-3.0f, 3.0f)) : 0.0);
        v.y = double(Uniform(-1.0f, 1.0f)) * spread * v.w;
        v.z = double(Uniform(-2.0f, 2.0f)) * v.w;
        v.u = Uniform(-2.0f, 3.0f);
        v.v = Uniform(-2.0f, 3.0f);
        v.color = uint32_t(rng());
        if (Chance(2))
            (Chance(50) ? v.x : Chance(50) ? v.w : Chance(50) ? v.z : v.nearDistance) = Special();
        return v;
    }
};

double SignedArea(const std::vector<KxRefClipVertex>& p)
{
    double area = 0.0;
    for (size_t i = 0; i < p.size(); ++i) {
        const KxRefClipVertex &a = p[i], &b = p[(i + 1) % p.size()];
        area += (a.x / a.w) * (b.y / b.w) - (b.x / b.w) * (a.y / a.w);
    }
    return area;
}

}  // namespace

TEST(Clipper, RandomTrianglesClipAsTheTranscription)
{
    KxRandomClip r{{std::mt19937(21)}};
    int shapes[KxClipPolygon::kMaxVertices + 1] = {};
    for (int round = 0; round < 200000; ++round) {
        SCOPED_TRACE(round);
        // Mostly triangles near the screen, some reaching far across the band.
        const double reach = r.Chance(70) ? 1e-4 : r.Chance(50) ? 2.0 : 1e6;
        const KxRefClipVertex in[3] = {r.Vertex(reach), r.Vertex(reach), r.Vertex(reach)};
        const bool bTexCoords = r.Chance(80);
        const double band = r.Chance(80) ? kBand : double(r.Int(1, 100));
        const std::vector<KxRefClipVertex> expected = KxRefClip(in[0], in[1], in[2], band);

        KxClipPolygon polygon;
        KxClipTriangle(ToClip(in[0]), ToClip(in[1]), ToClip(in[2]), band, polygon);
        ASSERT_EQ(size_t(polygon.count), expected.size());
        ASSERT_EQ(polygon.TriangleCount(), expected.empty() ? 0 : int32_t(expected.size()) - 2);
        ++shapes[polygon.count];
        for (int32_t i = 0; i < polygon.count; ++i) {
            SCOPED_TRACE(i);
            ASSERT_TRUE(SameBits(polygon.vertices[i], expected[size_t(i)]));
            const KxProjectedVertex s = KxProjectClipVertex(polygon.vertices[i], bTexCoords);
            ASSERT_TRUE(SameBits(s, KxRefProject(expected[size_t(i)], bTexCoords)));
            // Inside the band, so never refused for its size; only a vertex
            // left at w = 0 has no screen position.
            if (polygon.vertices[i].w != 0.0) {
                ASSERT_LE(std::abs(s.x), int32_t(band) + 1);
                ASSERT_LE(std::abs(s.y), int32_t(band) + 1);
            }
        }
    }
    // Every shape up to a hexagon turned up: nothing, the triangle, the
    // quadrilateral of one vertex behind, and cuts by several planes.
    for (int n : {0, 3, 4, 5, 6})
        EXPECT_GT(shapes[n], 100) << n;
}

TEST(Clipper, ObjectSpaceVerticesTakeTheBatchArithmetic)
{
    KxMatrix4 view, projection, viewport, composed, clip;
    view.SetLookAtLeftHanded(KxVector3(1, 2, -7), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    projection.SetPerspectiveLeftHanded(0.9f, 1.25f, 0.25f, 60.0f);
    viewport = KxMatrix4(320, 0, 0, 0, 0, -240, 0, 0, 0, 0, 0.5f, 0, 320, 240, 0.25f, 1);
    clip = view * projection;
    composed = clip * viewport;
    KxTestRandom r{std::mt19937(5)};
    for (int i = 0; i < 1000; ++i) {
        const float x = r.Uniform(-30, 30), y = r.Uniform(-30, 30), z = r.Uniform(-30, 30);
        const float u = r.Uniform(-1, 2), v = r.Uniform(-1, 2);
        const KxClipVertex c = KxMakeClipVertex(x, y, z, u, v, 0x80402010u, composed, clip);
        ASSERT_TRUE(SameBits(c, KxRefHomogeneous(x, y, z, u, v, 0x80402010u, composed, clip)));
        // Projected, the vertex lands where TransformPoint puts it.
        KxVector3 p(x, y, z);
        const float w = p.TransformPoint(composed);
        const KxProjectedVertex s = KxProjectClipVertex(c, true);
        EXPECT_EQ(std::memcmp(&s.z, &p.z, 4), 0);
        EXPECT_EQ(s.x, int32_t(double(p.x) + 0.5));
        EXPECT_EQ(s.y, int32_t(double(p.y) + 0.5));
        EXPECT_EQ(s.invW, float(1.0 / w));
        EXPECT_EQ(s.uOverW, float(double(u) / w));
    }
}

// A vertex by its screen position (x / w, y / w) and w, under a projection
// whose near plane is at w = 1.
KxClipVertex At(double sx, double sy, double w, uint32_t color = 0)
{
    return {sx * w, sy * w, 0.5 * w, w, w - 1.0, 0.0f, 0.0f, color};
}

TEST(Clipper, ShapesOfTheCuts)
{
    const KxClipVertex front0 = At(10, 10, 2), front1 = At(50, 10, 4), front2 = At(30, 40, 1.5);
    const KxClipVertex behind1 = At(50, 10, -2), behind2 = At(30, 40, 0.5);
    const KxClipVertex onPlane = At(30, 40, 1);
    KxClipVertex onPlaneNegative = onPlane;
    onPlaneNegative.nearDistance = -0.0;
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* name;
        KxClipVertex a, b, c;
        int32_t count;
    } cases[] = {
        {"wholly in front", front0, front1, front2, 3},
        {"one vertex behind: two triangles", front0, behind1, front2, 4},
        {"two vertices behind: one triangle", front0, behind1, behind2, 3},
        {"wholly behind", At(10, 10, 0.2), behind1, behind2, 0},
        {"a vertex on the plane stays", front0, front1, onPlane, 3},
        {"-0 is on the plane", front0, front1, onPlaneNegative, 3},
        {"NaN", front0, At(std::nan(""), 1, 2), front2, 0},
        {"infinite w", front0, front1, At(1, 1, inf), 0},
        {"infinite near distance", front0, front1, {1, 1, 1, 1, inf, 0, 0, 0}, 0},
        {"a band distance beyond the double range", front0, front1, {1, 1, 1, 1e303, 1, 0, 0, 0}, 0},
        // On every side of the band at once: it stays, and the fillers
        // refuse its non-finite screen position.
        {"w = 0 at the screen's origin", front0, front1, {0, 0, 0, 0, 1, 0, 0, 0}, 3},
        {"across the band on the right", At(10, 10, 2), At(3 * kBand, 10, 2), At(10, 20, 2), 4},
        {"over a corner of the band", At(0, 0, 2), At(1.5 * kBand, 0, 2), At(0, 1.5 * kBand, 2), 5},
    };
    // One polygon for all: each call leaves only its own result.
    KxClipPolygon polygon;
    for (const auto& c : cases) {
        KxClipTriangle(c.a, c.b, c.c, kBand, polygon);
        EXPECT_EQ(polygon.count, c.count) << c.name;
    }

    // One vertex behind: the kept ones in place, the two crossings on the
    // plane between them, in the triangle's order.
    KxClipTriangle(front0, behind1, front2, kBand, polygon);
    ASSERT_EQ(polygon.count, 4);
    EXPECT_TRUE(SameBits(polygon.vertices[0], front0));
    EXPECT_EQ(polygon.vertices[1].nearDistance, 0.0);  // t = 1 / (1 + 3) from front0
    EXPECT_EQ(polygon.vertices[1].x, 20.0 + 0.25 * (-100.0 - 20.0));
    EXPECT_EQ(polygon.vertices[1].w, 1.0);
    EXPECT_NEAR(polygon.vertices[2].nearDistance, 0.0, 1e-15);
    EXPECT_TRUE(SameBits(polygon.vertices[3], front2));
}

TEST(Clipper, ColoursInterpolateAllFourBytesRoundingHalfUp)
{
    // t = 1/4 from the inside end; halves round up.
    KxClipPolygon polygon;
    KxClipTriangle(At(0, 0, 2, 0x02FF0400u), At(9, 0, -2, 0x00000000u), At(0, 9, 2), kBand, polygon);
    ASSERT_EQ(polygon.count, 4);
    // Bytes from the inside end: 0x00 -> 0x00, 0x04 -> 3, 0xFF -> 191.25 ->
    // 191, 0x02 -> 1.5 -> 2.
    EXPECT_EQ(polygon.vertices[1].color, 0x02BF0300u);
}

TEST(Clipper, AnEdgeSharedByTwoTrianglesMeetsThePlaneAtOnePoint)
{
    // Edge a-b crosses the near plane; the triangles run along it in
    // opposite directions.
    const KxClipVertex a = At(10, 10, 2.7), b = At(300, 80, 0.7);
    const KxClipVertex c = At(40, 200, 2), d = At(-100, -50, 1.9);
    KxClipPolygon first, second;
    KxClipTriangle(a, b, c, kBand, first);
    KxClipTriangle(b, a, d, kBand, second);
    ASSERT_EQ(first.count, 4);
    ASSERT_EQ(second.count, 4);
    EXPECT_TRUE(SameBits(first.vertices[1], second.vertices[0]));
}

TEST(Clipper, CutsKeepTheWinding)
{
    KxRandomClip r{{std::mt19937(4)}};
    int nCut = 0;
    for (int round = 0; round < 20000; ++round) {
        // In front of the eye (w > 0), crossing the near plane or the band.
        KxRefClipVertex in[3];
        for (KxRefClipVertex& v : in) {
            v = r.Vertex(2.0);
            v.w = r.Uniform(0.5f, 5.0f);
            v.x = double(r.Uniform(-2.0f, 2.0f)) * kBand * v.w;
            v.y = double(r.Uniform(-2.0f, 2.0f)) * kBand * v.w;
            v.nearDistance = r.Uniform(-1.0f, 1.0f);
        }
        const double area = SignedArea({in[0], in[1], in[2]});
        KxClipPolygon polygon;
        KxClipTriangle(ToClip(in[0]), ToClip(in[1]), ToClip(in[2]), kBand, polygon);
        nCut += polygon.count > 3;
        std::vector<KxRefClipVertex> out;
        for (int32_t i = 0; i < polygon.count; ++i) {
            const KxClipVertex& v = polygon.vertices[i];
            out.push_back({v.x, v.y, v.z, v.w, v.nearDistance, v.u, v.v, v.color});
        }
        // Every fan triangle winds as the original does, and together they
        // use every vertex.
        std::vector<bool> used(out.size(), false);
        for (int32_t i = 0; i < polygon.TriangleCount(); ++i) {
            const KxClipPolygon::Corners t = polygon.Triangle(i);
            const double piece = SignedArea({out[size_t(t.a)], out[size_t(t.b)], out[size_t(t.c)]});
            ASSERT_TRUE(piece == 0.0 || (piece > 0) == (area > 0)) << round;
            used[size_t(t.a)] = used[size_t(t.b)] = used[size_t(t.c)] = true;
        }
        ASSERT_EQ(std::count(used.begin(), used.end(), true), polygon.count) << round;
    }
    EXPECT_GT(nCut, 5000);
}

TEST(Clipper, WhichVerticesNeedClipping)
{
    // Screen x and y = px / py, w = py, near distance = pz.
    KxMatrix4 combined, clipSpace;
    combined.m[0][0] = combined.m[0][1] = 1.0f;
    combined.m[1][3] = 1.0f;
    clipSpace.m[2][2] = 1.0f;
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    const struct {
        const char* name;
        float px, py, pz;
        bool bUnclipped;
    } cases[] = {
        {"in front, on the screen", 10, 1, 0.5f, true},
        {"on the near plane", 10, 1, 0.0f, true},
        {"on the near plane, -0", 10, 1, -0.0f, true},
        {"just behind the near plane", 10, 1, -1e-30f, false},
        {"w < 0", -10, -1, 0.5f, false},
        {"w = 0", 0, 0, 0.5f, false},
        {"w = -0", 0, -0.0f, 0.5f, false},
        {"w infinite", 0, inf, 0.5f, false},
        {"NaN near distance", 10, 1, nan, false},
        {"at the band's edge", float(kBand), 1, 0.5f, true},
        {"at the band's other edge", -float(kBand), 1, 0.5f, true},
        {"half a pixel left of the band rounds onto it", -float(kBand) - 0.5f, 1, 0.5f, true},
        {"half a pixel right of it rounds past it", float(kBand) + 0.5f, 1, 0.5f, false},
        {"beyond the band on the left", -float(kBand) - 1.5f, 1, 0.5f, false},
        {"far beyond", 1e20f, 1, 0.5f, false},
    };
    for (int32_t first : {0, 1, 2, 3}) {
        KxVertexBatch batch;
        batch.count = 4 * int32_t(std::size(cases));
        for (int32_t i = 0; i < batch.count; ++i) {
            const auto& c = cases[size_t(i + first) % std::size(cases)];
            batch.px[i] = c.px;
            batch.py[i] = c.py;
            batch.pz[i] = c.pz;
            batch.nx[i] = batch.ny[i] = batch.nz[i] = batch.u[i] = batch.v[i] = 0.0f;
        }
        const KxLightTerms lighting{};
        const KxVertexTransform t{&combined, &clipSpace, &clipSpace, &lighting, true, true};
        KxVertexBatch scalar = batch;
        KxTransformVertices(t, batch);
        KxTransformVerticesScalar(t, scalar, 0, scalar.count);
        for (int32_t i = 0; i < batch.count; ++i) {
            const auto& c = cases[size_t(i + first) % std::size(cases)];
            EXPECT_EQ(bool(batch.bUnclipped[i]), c.bUnclipped) << c.name;
            EXPECT_EQ(bool(scalar.bUnclipped[i]), c.bUnclipped) << c.name;
        }
    }
}
