// Scenes the camera stands in: a room seen from inside, a ground plane a
// million units wide under a near plane of 0.01. Triangles that reach
// behind the eye or far off the screen are clipped and drawn, never dropped
// or turned inside out; what lies wholly behind draws nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kxtestdevice.h"

namespace {

struct Vertex {  // format 0x112
    float x, y, z, nx, ny, nz, u, v;
};

// Two triangles facing the side that across x down points to.
void AddQuad(std::vector<Vertex>& out, KxVector3 origin, KxVector3 across, KxVector3 down)
{
    const KxVector3 n = across.Cross(down).Normalized();
    const float corners[6][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}};
    for (const auto& c : corners) {
        const KxVector3 p = origin + across * c[0] + down * c[1];
        out.push_back({p.x, p.y, p.z, n.x, n.y, n.z, c[0], c[1]});
    }
}

// A room 8 x 3 x 10, every surface two triangles facing inwards.
std::vector<Vertex> Room()
{
    std::vector<Vertex> v;
    AddQuad(v, {-4, 0, 5}, {8, 0, 0}, {0, 0, -10});   // floor
    AddQuad(v, {-4, 3, -5}, {8, 0, 0}, {0, 0, 10});   // ceiling
    AddQuad(v, {-4, 3, -5}, {0, 0, 10}, {0, -3, 0});  // left
    AddQuad(v, {4, 3, 5}, {0, 0, -10}, {0, -3, 0});   // right
    AddQuad(v, {4, 3, -5}, {-8, 0, 0}, {0, -3, 0});   // back
    AddQuad(v, {-4, 3, 5}, {8, 0, 0}, {0, -3, 0});    // front
    return v;
}

// On nThreads threads every draw is split across them: each band of rows
// cuts the clipped triangles again.
struct KxScene {
    KxTestDevice t;
    KxVertexBuffer* pBuffer = nullptr;

    KxScene(const std::vector<Vertex>& vertices, KxVector3 eye, KxVector3 at, float zNear, float zFar,
            uint32_t nThreads)
        : t(160, 120, nThreads)
    {
        const uint32_t bytes = uint32_t(vertices.size() * sizeof(Vertex));
        t.device.CreateVertexBuffer(bytes, 0, 0x112, 1, &pBuffer, nullptr);
        std::memcpy(pBuffer->data, vertices.data(), bytes);
        KxMatrix4 view, projection;
        view.SetLookAtLeftHanded(eye, at, KxVector3(0, 1, 0));
        projection.SetPerspectiveLeftHanded(1.2f, 160.0f / 120.0f, zNear, zFar);
        t.device.SetTransform(KXTS_VIEW, &view);
        t.device.SetTransform(KXTS_PROJECTION, &projection);
        t.device.SetStreamSource(0, pBuffer, 0, sizeof(Vertex));
    }
    ~KxScene() { pBuffer->Release(); }

    // Draws with depth (covered: a depth below the cleared 65535) or
    // without (covered: not the clear colour); returns the covered pixels
    // as rows of '#' and '.'.
    std::vector<std::string> Draw(bool bDepth)
    {
        t.device.SetRenderState(KXRS_ZENABLE, bDepth);
        t.device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0x123456, 1.0f, 0);
        t.device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0);
        std::vector<std::string> rows;
        for (int32_t y = 0; y < 120; ++y) {
            std::string row;
            for (int32_t x = 0; x < 160; ++x)
                row += (bDepth ? t.device.GetDepth(x, y) < 65535 : t.Color(x, y) != 0x123456) ? '#' : '.';
            rows.push_back(row);
        }
        return rows;
    }
};

int Count(const std::vector<std::string>& rows, size_t first, size_t last)
{
    int n = 0;
    for (size_t y = first; y <= last; ++y)
        for (char c : rows[y])
            n += c == '#';
    return n;
}

}  // namespace

struct Clipping : ::testing::TestWithParam<uint32_t> {};

INSTANTIATE_TEST_SUITE_P(Threads, Clipping, ::testing::ValuesIn(kKxTestThreadCounts),
                         [](const auto& info) { return KxThreadsName(info.param); });

TEST_P(Clipping, TheRoomSeenFromInsideCoversTheWholeFrame)
{
    const struct {
        const char* name;
        KxVector3 eye, at;
    } views[] = {
        {"middle, facing a wall", {0, 1.6f, -2}, {0, 1.5f, 5}},
        {"looking down at the floor in a corner", {3.5f, 1.6f, -4.5f}, {3.95f, 0, -4.95f}},
        {"looking up at the ceiling", {0, 1.6f, 0}, {1, 3, 2}},
        {"against a wall, along it", {-3.9f, 1.5f, 0}, {-3.9f, 1.4f, 5}},
        {"low over the floor, looking across it", {0, 0.3f, 0}, {3, 0.2f, 4}},
        {"in a corner, facing out", {3.8f, 2.8f, 4.8f}, {0, 1, 0}},
    };
    for (const auto& view : views) {
        KxScene scene(Room(), view.eye, view.at, 0.1f, 100.0f, GetParam());
        for (bool bDepth : {true, false}) {
            const std::vector<std::string> rows = scene.Draw(bDepth);
            EXPECT_EQ(Count(rows, 0, 119), 160 * 120) << view.name << (bDepth ? ", depth" : ", Gouraud");
        }
    }
}

TEST_P(Clipping, AGroundPlaneAMillionUnitsWideDrawsBelowTheHorizon)
{
    // Two triangles, corners 10^6 away on every side, the eye 1 above them
    // and a near plane of 0.01: every corner is far outside the view, the
    // corners behind the eye have w < 0, the edges beside it reach past
    // the coordinate limit.
    std::vector<Vertex> ground;
    AddQuad(ground, {-1e6f, -1, 1e6f}, {2e6f, 0, 0}, {0, 0, -2e6f});
    KxScene scene(ground, {0, 0, 0}, {0, 0, 1}, 0.01f, 1e4f, GetParam());
    for (bool bDepth : {true, false}) {
        // Level view: the horizon is the middle row, 60.
        const std::vector<std::string> rows = scene.Draw(bDepth);
        EXPECT_EQ(Count(rows, 0, 58), 0) << bDepth;
        EXPECT_EQ(Count(rows, 62, 119), 160 * 58) << bDepth;
    }
}

TEST_P(Clipping, OnlyWhatLiesInFrontOfTheNearPlaneDraws)
{
    // A wall across the view standing 5 in front of the eye, and one 5
    // behind it, facing the eye: the one behind draws nothing, inverted or
    // not.
    std::vector<Vertex> walls;
    AddQuad(walls, {-50, 50, 5}, {100, 0, 0}, {0, -100, 0});
    KxScene front(walls, {0, 0, 0}, {0, 0, 1}, 0.5f, 100.0f, GetParam());
    EXPECT_EQ(Count(front.Draw(true), 0, 119), 160 * 120);
    std::vector<Vertex> behind;
    AddQuad(behind, {50, 50, -5}, {-100, 0, 0}, {0, -100, 0});
    KxScene back(behind, {0, 0, 0}, {0, 0, 1}, 0.5f, 100.0f, GetParam());
    for (bool bDepth : {true, false})
        EXPECT_EQ(Count(back.Draw(bDepth), 0, 119), 0) << bDepth;
}

TEST_P(Clipping, AFloorCutByTheNearPlaneKeepsItsDepthsInFront)
{
    // Depth grows away from the eye down the middle column, from the
    // bottom row (near the near plane) to the horizon.
    std::vector<Vertex> floor;
    AddQuad(floor, {-20, -1, 20}, {40, 0, 0}, {0, 0, -40});
    KxScene scene(floor, {0, 0, 0}, {0, 0, 1}, 0.5f, 100.0f, GetParam());
    scene.Draw(true);
    uint32_t previous = 0;
    for (int32_t y = 119; y > 70; --y) {
        const uint32_t depth = scene.t.device.GetDepth(80, y);
        EXPECT_LT(depth, 65535u) << y;
        EXPECT_GE(depth, previous) << y;
        previous = depth;
    }
}

TEST(Clipping, AFormatChangedAfterBindingIsClippedAsItReads)
{
    // Three vertices of format 0x112 (stride 32) make a small triangle 20
    // in front of the eye, well clear of the near plane: the radius the
    // binding measures says so. Read with format 0x012 (stride 24), the same
    // bytes give a triangle whose third corner, (n1.y, n1.z, u1), lies
    // behind the eye: it must be clipped, not trusted to that radius.
    const float bytes[24] = {-3, -2, 0,  0, 0, -1,  0, 0,        // position 0, normal 0, u0 v0
                             2,  -2, 0,  0, 4, 0,   -30, 0,      // position 1 (x = 2: vertex 1's z)
                             0,  3,  0,  0, 0, -1,  0, 0};
    KxTestDevice t(160, 120);
    KxVertexBuffer* pBuffer = nullptr;
    t.device.CreateVertexBuffer(sizeof(bytes), 0, 0x112, 1, &pBuffer, nullptr);
    std::memcpy(pBuffer->data, bytes, sizeof(bytes));
    KxMatrix4 view, projection;
    view.SetLookAtLeftHanded(KxVector3(0, 0, -20), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    projection.SetPerspectiveLeftHanded(1.2f, 160.0f / 120.0f, 0.5f, 100.0f);
    t.device.SetTransform(KXTS_VIEW, &view);
    t.device.SetTransform(KXTS_PROJECTION, &projection);
    t.device.SetRenderState(KXRS_CULLMODE, 1);
    auto draw = [&](bool bBindAgain) {
        t.device.SetFVF(0x112);
        t.device.SetStreamSource(0, pBuffer, 0, 32);
        t.device.SetFVF(0x012);
        if (bBindAgain)
            t.device.SetStreamSource(0, pBuffer, 0, 32);
        t.device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0, 1.0f, 0);
        t.device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 1);
        return t.Frame();
    };
    const std::vector<uint32_t> trusted = draw(false), measured = draw(true);
    EXPECT_EQ(trusted, measured);
    int nCovered = 0;
    for (int32_t y = 0; y < 120; ++y)
        for (int32_t x = 0; x < 160; ++x)
            nCovered += t.device.GetDepth(x, y) < 65535;
    EXPECT_GT(nCovered, 100);
    pBuffer->Release();
}

TEST(Clipping, PositionsWrittenAfterBindingAreClippedAsTheyRead)
{
    // Bound as a small triangle 20 in front of the eye; its third corner is
    // then moved behind the eye without binding again. The draw reads the
    // bytes as they are, so the corner is clipped, as after a new binding.
    Vertex triangle[3] = {{-3, -2, 0, 0, 0, -1, 0, 0}, {2, -2, 0, 0, 0, -1, 0, 0}, {0, 3, 0, 0, 0, -1, 0, 0}};
    KxTestDevice t(160, 120);
    KxVertexBuffer* pBuffer = nullptr;
    t.device.CreateVertexBuffer(sizeof(triangle), 0, 0x112, 1, &pBuffer, nullptr);
    KxMatrix4 view, projection;
    view.SetLookAtLeftHanded(KxVector3(0, 0, -20), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    projection.SetPerspectiveLeftHanded(1.2f, 160.0f / 120.0f, 0.5f, 100.0f);
    t.device.SetTransform(KXTS_VIEW, &view);
    t.device.SetTransform(KXTS_PROJECTION, &projection);
    t.device.SetRenderState(KXRS_CULLMODE, 1);
    t.device.SetFVF(0x112);
    auto draw = [&](bool bBindAfterWriting) {
        std::memcpy(pBuffer->data, triangle, sizeof(triangle));
        t.device.SetStreamSource(0, pBuffer, 0, 32);
        Vertex moved = triangle[2];
        moved.z = -30.0f;
        std::memcpy(pBuffer->data + 2 * sizeof(Vertex), &moved, sizeof(moved));
        if (bBindAfterWriting)
            t.device.SetStreamSource(0, pBuffer, 0, 32);
        t.device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0, 1.0f, 0);
        t.device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 1);
        return t.Frame();
    };
    const std::vector<uint32_t> stale = draw(false), measured = draw(true);
    EXPECT_EQ(stale, measured);
    pBuffer->Release();
}
