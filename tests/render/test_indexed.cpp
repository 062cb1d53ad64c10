// Indexed drawing through the real draw calls: random lists, strips and
// fans of random lengths, drawn indexed and drawn as the triangle list a
// plain transcription of the assembly rules writes out, must give the same
// bytes; and the edges: indices at the ends of the buffers and past them,
// starts and counts past the index buffer, unknown types, missing buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "kxtestdevice.h"

namespace {

struct KxLitVertex {  // format 0x112
    float x, y, z, nx, ny, nz, u, v;
};

struct KxTwoSetVertex {  // format 0x212: a second texture set, 40 bytes
    float x, y, z, nx, ny, nz, u, v, u2, v2;
};

struct KxColouredVertex {  // format 0x042: x and y in screen pixels
    float x, y, z;
    uint32_t color;
};

struct KxDrawArguments {
    uint32_t type;
    int32_t base;
    uint32_t minIndex, numVertices, start, count;
};

struct KxRelease {
    void operator()(KxVertexBuffer* p) const { p->Release(); }
    void operator()(KxIndexBuffer* p) const { p->Release(); }
};
typedef std::unique_ptr<KxVertexBuffer, KxRelease> KxVertexBufferPtr;
typedef std::unique_ptr<KxIndexBuffer, KxRelease> KxIndexBufferPtr;

template <typename Vertex>
KxVertexBufferPtr BindVertices(KxSoftwareRenderDevice& d, uint32_t fvf, const std::vector<Vertex>& vertices)
{
    KxVertexBuffer* buffer = nullptr;
    EXPECT_TRUE(d.CreateVertexBuffer(uint32_t(sizeof(Vertex) * vertices.size()), 0, fvf, 1, &buffer, nullptr));
    void* data = nullptr;
    if (!vertices.empty() && buffer->Lock(0, 0, &data, 0))
        std::memcpy(data, vertices.data(), sizeof(Vertex) * vertices.size());
    d.SetFVF(fvf);
    d.SetStreamSource(0, buffer, 0, sizeof(Vertex));
    return KxVertexBufferPtr(buffer);
}

// The indices as 16- or 32-bit values, little-endian.
KxIndexBufferPtr BindIndices(KxSoftwareRenderDevice& d, const std::vector<uint32_t>& indices, bool b32)
{
    KxIndexBuffer* buffer = nullptr;
    const uint32_t size = b32 ? 4 : 2;
    EXPECT_TRUE(d.CreateIndexBuffer(uint32_t(indices.size()) * size, 0, b32 ? KXFMT_INDEX32 : KXFMT_INDEX16, 1,
                                    &buffer, nullptr));
    void* data = nullptr;
    if (buffer->Lock(0, 0, &data, 0)) {
        for (size_t i = 0; i < indices.size(); ++i)
            for (uint32_t byte = 0; byte < size; ++byte)
                static_cast<uint8_t*>(data)[i * size + byte] = uint8_t(indices[i] >> (8 * byte));
        buffer->Unlock();
    }
    d.SetIndices(buffer);
    return KxIndexBufferPtr(buffer);
}

// The documented assembly, written out: triangle i of a list takes indices
// 3i, 3i+1, 3i+2; of a strip i, i+1, i+2 when i is even and i, i+2, i+1
// when odd; of a fan 0, i+1, i+2. An index outside min .. min + num - 1, or
// naming a vertex (base + index) outside the bound ones, drops its triangle.
std::vector<uint32_t> TranscribedCorners(const std::vector<uint32_t>& indices, const KxDrawArguments& a,
                                         uint32_t nVertices)
{
    std::vector<uint32_t> corners;
    for (uint32_t i = 0; i < a.count; ++i) {
        uint32_t k[3] = {3 * i, 3 * i + 1, 3 * i + 2};
        if (a.type == 5 && i % 2 == 0)
            k[0] = i, k[1] = i + 1, k[2] = i + 2;
        if (a.type == 5 && i % 2 == 1)
            k[0] = i, k[1] = i + 2, k[2] = i + 1;
        if (a.type == 6)
            k[0] = 0, k[1] = i + 1, k[2] = i + 2;
        std::vector<uint32_t> triangle;
        for (uint32_t corner : k) {
            const uint32_t index = indices[a.start + corner];
            const int64_t vertex = int64_t(a.base) + int64_t(index);
            if (index >= a.minIndex && uint64_t(index) < uint64_t(a.minIndex) + a.numVertices && vertex >= 0 &&
                vertex < int64_t(nVertices))
                triangle.push_back(uint32_t(vertex));
        }
        if (triangle.size() == 3)
            corners.insert(corners.end(), triangle.begin(), triangle.end());
    }
    return corners;
}

// The list a transcription names, with the farthest vertex of the whole
// buffer appended alone (no whole triangle, so never drawn) so that the
// list's binding measures the bounding sphere the indexed binding does.
template <typename Vertex>
std::vector<Vertex> WrittenOut(const std::vector<Vertex>& vertices, const std::vector<uint32_t>& corners)
{
    std::vector<Vertex> list;
    for (uint32_t vertex : corners)
        list.push_back(vertices[vertex]);
    size_t farthest = 0;
    for (size_t i = 0; i < vertices.size(); ++i) {
        const Vertex &v = vertices[i], &f = vertices[farthest];
        if (KxVector3(v.x, v.y, v.z).Length() > KxVector3(f.x, f.y, f.z).Length())
            farthest = i;
    }
    if (!vertices.empty())
        list.push_back(vertices[farthest]);
    return list;
}

void SetCamera(KxSoftwareRenderDevice& d)
{
    KxMatrix4 view, projection;
    view.SetLookAtLeftHanded(KxVector3(0, 0, -10), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    projection.SetPerspectiveLeftHanded(0.8f, 4.0f / 3.0f, 1.0f, 50.0f);
    d.SetTransform(KXTS_VIEW, &view);
    d.SetTransform(KXTS_PROJECTION, &projection);
}

// Random draw states both devices share: cull mode, depth function and
// writes, blending, alpha test, shading path, material alpha.
void SetRandomStates(KxTestRandom& r, KxSoftwareRenderDevice& a, KxSoftwareRenderDevice& b)
{
    KxMaterial material = a.GetMaterial();
    material.Diffuse = KxColor(r.Uniform(0, 1), r.Uniform(0, 1), r.Uniform(0, 1), r.Uniform(0, 1));
    const std::pair<uint32_t, uint32_t> states[] = {
        {KXRS_CULLMODE, uint32_t(r.Int(1, 3))},
        {KXRS_ZFUNC, r.Chance(70) ? uint32_t(KXCMP_LESSEQUAL) : uint32_t(r.Int(1, 8))},
        {KXRS_ZWRITEENABLE, uint32_t(r.Chance(80))},
        {KXRS_ZENABLE, uint32_t(r.Chance(80))},
        {KXRS_ALPHABLENDENABLE, uint32_t(r.Chance(40))},
        {KXRS_SRCBLEND, KXBLEND_SRCALPHA},
        {KXRS_DESTBLEND, KXBLEND_INVSRCALPHA},
        {KXRS_ALPHATESTENABLE, uint32_t(r.Chance(20))},
        {KXRS_ALPHAREF, uint32_t(r.Int(0, 255))},
        {KXRS_ALPHAFUNC, KXCMP_GREATEREQUAL},
    };
    for (KxSoftwareRenderDevice* d : {&a, &b}) {
        d->SetMaterial(&material);
        for (const auto& [state, value] : states)
            d->SetRenderState(state, value);
    }
}

// Random indices, most naming bound vertices under the base, some not.
std::vector<uint32_t> RandomIndices(KxTestRandom& r, size_t count, int32_t base, uint32_t nVertices)
{
    std::vector<uint32_t> indices(count);
    for (uint32_t& index : indices) {
        const int32_t vertex = r.Chance(90) ? r.Int(0, int32_t(nVertices) - 1) : r.Int(-3, int32_t(nVertices) + 3);
        index = uint32_t(std::max(vertex - base, 0));
    }
    return indices;
}

// Arguments of a random draw over an index buffer of nIndices: any type,
// one triangle or many (odd counts included), a base either side of 0, and
// sometimes a range narrower than the indices.
KxDrawArguments RandomDraw(KxTestRandom& r, uint32_t nIndices, int32_t base)
{
    KxDrawArguments a{uint32_t(r.Int(4, 6)), base, 0, 0xFFFFFFFFu, 0, 0};
    const uint32_t perExtra = a.type == 4 ? 3 : 1, fixed = a.type == 4 ? 0 : 2;
    const uint32_t most = (nIndices - fixed) / perExtra;
    a.count = r.Chance(15) ? 1 : uint32_t(r.Int(1, int32_t(most)));
    a.start = uint32_t(r.Int(0, int32_t(nIndices - fixed - a.count * perExtra)));
    if (r.Chance(30)) {
        a.minIndex = uint32_t(r.Int(0, 6));
        a.numVertices = uint32_t(r.Int(0, 30));
    }
    return a;
}

// Draws the same random scene on two devices, indexed on one and as the
// written-out list on the other.
template <typename Vertex>
void CompareWithList(uint32_t fvf, const std::vector<Vertex>& vertices, KxTestRandom& r, const char* what)
{
    KxTestDevice indexed(80, 60), listed(80, 60);
    for (KxTestDevice* t : {&indexed, &listed}) {
        SetCamera(t->device);
        t->device.Clear(0, nullptr, 3, 0x336699, 1.0f, 0);
    }
    const KxTexturePtr texture = KxMakeTexture(4, 4, KxDistinctTexels(16));
    indexed.device.SetTexture(0, texture.get());
    listed.device.SetTexture(0, texture.get());
    const KxVertexBufferPtr vertexBuffer = BindVertices(indexed.device, fvf, vertices);
    for (int draw = 0; draw < 4; ++draw) {
        SCOPED_TRACE(draw);
        SetRandomStates(r, indexed.device, listed.device);
        const KxMatrix4 world = KxMatrix4().SetRotationXYZ(r.Uniform(-3, 3), r.Uniform(-3, 3), r.Uniform(-3, 3));
        indexed.device.SetTransform(KXTS_WORLD, &world);
        listed.device.SetTransform(KXTS_WORLD, &world);
        const int32_t base = r.Int(-4, 4);
        const bool b32 = r.Chance(50);
        const std::vector<uint32_t> indices = RandomIndices(r, size_t(r.Int(3, 60)), base, uint32_t(vertices.size()));
        const KxDrawArguments a = RandomDraw(r, uint32_t(indices.size()), base);
        const KxIndexBufferPtr indexBuffer = BindIndices(indexed.device, indices, b32);
        const std::vector<uint32_t> corners = TranscribedCorners(indices, a, uint32_t(vertices.size()));
        const KxVertexBufferPtr list = BindVertices(listed.device, fvf, WrittenOut(vertices, corners));
        const bool bIndexed = indexed.device.DrawIndexedPrimitive(a.type, a.base, a.minIndex, a.numVertices, a.start,
                                                                   a.count);
        const bool bListed = listed.device.DrawPrimitive(KXPT_TRIANGLELIST, 0, uint32_t(corners.size() / 3));
        ASSERT_EQ(bIndexed, bListed) << what;
        ASSERT_EQ(indexed.device.GetTriangleVisible(), listed.device.GetTriangleVisible()) << what;
        ASSERT_EQ(indexed.Frame(), listed.Frame())
            << what << " type " << a.type << " count " << a.count << " base " << a.base << " start " << a.start;
    }
}

}  // namespace

// Lit, textured meshes around the origin, some vertices behind the eye or
// far out, so that frustum culling and clipping take part.
TEST(IndexedDrawing, LitMeshesGiveTheBytesOfTheirLists)
{
    KxTestRandom r{std::mt19937(2201)};
    for (int round = 0; round < 150; ++round) {
        SCOPED_TRACE(round);
        std::vector<KxLitVertex> vertices(size_t(r.Int(3, 40)));
        for (KxLitVertex& v : vertices) {
            const float reach = r.Chance(10) ? 14.0f : 3.0f;
            v = {r.Uniform(-reach, reach), r.Uniform(-reach, reach), r.Uniform(-reach, reach), r.Uniform(-1, 1),
                 r.Uniform(-1, 1), r.Uniform(-1, 1), r.Uniform(-0.2f, 1.2f), r.Uniform(-0.2f, 1.2f)};
        }
        CompareWithList(0x112, vertices, r, "lit");
    }
}

// A stride the assembly copies without a size known in advance.
TEST(IndexedDrawing, WideVerticesGiveTheBytesOfTheirLists)
{
    KxTestRandom r{std::mt19937(2204)};
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        std::vector<KxTwoSetVertex> vertices(size_t(r.Int(3, 30)));
        for (KxTwoSetVertex& v : vertices)
            v = {r.Uniform(-3, 3), r.Uniform(-3, 3), r.Uniform(-3, 3), r.Uniform(-1, 1), r.Uniform(-1, 1),
                 r.Uniform(-1, 1), r.Uniform(0, 1),  r.Uniform(0, 1),  r.Uniform(0, 1),  r.Uniform(0, 1)};
        CompareWithList(0x212, vertices, r, "two sets");
    }
}

// Vertex colours at screen positions, drawn by the Gouraud filler.
TEST(IndexedDrawing, ColouredMeshesGiveTheBytesOfTheirLists)
{
    KxTestRandom r{std::mt19937(2202)};
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        std::vector<KxColouredVertex> vertices(size_t(r.Int(3, 30)));
        for (KxColouredVertex& v : vertices)
            v = {r.Uniform(-10, 90), r.Uniform(-10, 70), 0.0f, uint32_t(r.rng())};
        CompareWithList(0x042, vertices, r, "coloured");
    }
}

// Each type's triangles, in the order they are handed on, seen through the
// visibility flags under the two culling modes: a strip of a square's
// corners keeps one winding throughout, as does a fan.
TEST(IndexedDrawing, StripsAndFansKeepOneWinding)
{
    KxTestDevice t(64, 48);
    SetCamera(t.device);
    // A clockwise zigzag as the camera sees it: 0 bottom left, 1 top left,
    // 2 bottom right, 3 top right, ...
    std::vector<KxLitVertex> vertices;
    for (int i = 0; i < 8; ++i)
        vertices.push_back({float(i / 2) - 2.0f, i % 2 ? 1.0f : -1.0f, 0, 0, 0, -1, 0, 0});
    const KxVertexBufferPtr vertexBuffer = BindVertices(t.device, 0x112, vertices);
    const struct {
        uint32_t type;
        std::vector<uint32_t> indices;
        uint32_t count;
    } cases[] = {
        {KXPT_TRIANGLESTRIP, {0, 1, 2, 3, 4, 5, 6, 7}, 6},
        {KXPT_TRIANGLESTRIP, {0, 1, 2, 3, 4}, 3},
        {KXPT_TRIANGLESTRIP, {0, 1, 2}, 1},
        {KXPT_TRIANGLEFAN, {0, 1, 3, 5, 7, 6}, 4},
        {KXPT_TRIANGLELIST, {0, 1, 2, 2, 1, 3, 4, 5, 6}, 3},
    };
    for (const auto& c : cases) {
        const KxIndexBufferPtr indices = BindIndices(t.device, c.indices, false);
        for (uint32_t mode : {KXCULL_CCW, KXCULL_CW}) {
            t.device.SetRenderState(KXRS_CULLMODE, mode);
            EXPECT_TRUE(t.device.DrawIndexedPrimitive(c.type, 0, 0, 8, 0, c.count));
            EXPECT_EQ(t.device.GetTriangleVisible(), std::vector<bool>(c.count, mode == KXCULL_CCW))
                << "type " << c.type << " count " << c.count << " mode " << mode;
        }
    }
    t.device.SetRenderState(KXRS_CULLMODE, KXCULL_CCW);
}

// The edges of every argument: which draws return what, and how many
// triangles reach the stages after assembly. Four vertices are bound; the
// index buffer holds 0 1 2 3 2 1 0 3 (eight 16-bit indices).
TEST(IndexedDrawing, ArgumentsAtAndPastTheirEdges)
{
    KxTestDevice t(64, 48);
    SetCamera(t.device);
    t.device.SetRenderState(KXRS_CULLMODE, KXCULL_NONE);
    const std::vector<KxLitVertex> vertices = {
        {-2, -2, 0, 0, 0, -1, 0, 0}, {-2, 2, 0, 0, 0, -1, 0, 0}, {2, -2, 0, 0, 0, -1, 0, 0}, {2, 2, 0, 0, 0, -1, 0, 0}};
    const KxVertexBufferPtr vertexBuffer = BindVertices(t.device, 0x112, vertices);
    const KxIndexBufferPtr indices = BindIndices(t.device, {0, 1, 2, 3, 2, 1, 0, 3}, false);
    const struct {
        KxDrawArguments a;
        bool bResult;
        size_t nTriangles;  // reaching the stages; unchecked when the draw fails
    } cases[] = {
        {{4, 0, 0, 4, 0, 2}, true, 2},            // the first six indices
        {{4, 0, 0, 4, 2, 2}, true, 2},            // the last six: up to the buffer's end
        {{4, 0, 0, 4, 3, 2}, false, 0},           // one index past it
        {{5, 0, 0, 4, 0, 6}, true, 6},            // a strip of all eight
        {{5, 0, 0, 4, 0, 7}, false, 0},           // one more
        {{6, 0, 0, 4, 5, 1}, true, 1},            // a fan of the last three
        {{6, 0, 0, 4, 6, 1}, false, 0},           // two indices left for a fan of one
        {{4, 0, 0, 4, 8, 0}, true, 0},            // nothing, at the end
        {{4, 0, 0, 4, 9, 0}, false, 0},           // nothing, past the end
        {{4, 0, 0, 4, 0xFFFFFFFFu, 1}, false, 0}, // a start whose sum wraps 32 bits
        {{4, 0, 0, 4, 0, 0x55555556u}, false, 0}, // a count whose indices wrap 32 bits
        {{5, 0, 0, 4, 0, 0xFFFFFFFFu}, false, 0},
        {{4, -1, 0, 4, 0, 2}, true, 1},           // vertex -1: the first triangle goes
        {{4, 1, 0, 4, 0, 2}, true, 1},            // vertex 4 (past the last): the second goes
        {{4, 1, 0, 4, 4, 1}, true, 1},            // 2 1 0 under base 1: vertices 3 2 1
        {{4, 0x7FFFFFFF, 0, 4, 0, 2}, true, 0},   // a base past every vertex
        {{4, -0x7FFFFFFF - 1, 0, 4, 0, 2}, true, 0},
        {{4, 0, 1, 3, 0, 2}, true, 1},            // index 0 below the range: the first goes
        {{4, 0, 0, 3, 0, 2}, true, 1},            // index 3 past the range
        {{4, 0, 0, 0, 0, 2}, true, 0},            // an empty range
        {{5, 0, 0, 4, 1, 1}, true, 1},
        {{1, 0, 0, 4, 0, 1}, false, 0},           // points, lines: not drawn
        {{2, 0, 0, 4, 0, 1}, false, 0},
        {{3, 0, 0, 4, 0, 1}, false, 0},
        {{7, 0, 0, 4, 0, 1}, false, 0},
        {{0, 0, 0, 4, 0, 1}, false, 0},
    };
    // The draws that fail leave the frame as it was.
    for (const auto& c : cases) {
        const KxDrawArguments& a = c.a;
        t.device.Clear(0, nullptr, 3, 0x102030, 1.0f, 0);
        const std::vector<uint32_t> before = t.Frame();
        EXPECT_EQ(t.device.DrawIndexedPrimitive(a.type, a.base, a.minIndex, a.numVertices, a.start, a.count), c.bResult)
            << a.type << " " << a.base << " " << a.start << " " << a.count;
        if (!c.bResult)
            EXPECT_EQ(t.Frame(), before) << a.type << " " << a.start << " " << a.count;
        else
            EXPECT_EQ(t.device.GetTriangleVisible().size(), c.nTriangles)
                << a.type << " " << a.base << " " << a.start << " " << a.count;
    }
}

// 32-bit indices above 65535 read whole, and a trailing part of an index
// is not one.
TEST(IndexedDrawing, ThirtyTwoBitIndicesAndPartialOnes)
{
    KxTestDevice t(64, 48);
    SetCamera(t.device);
    t.device.SetRenderState(KXRS_CULLMODE, KXCULL_NONE);
    const std::vector<KxLitVertex> vertices = {{-2, -2, 0, 0, 0, -1, 0, 0}, {0, 2, 0, 0, 0, -1, 0, 0},
                                               {2, -2, 0, 0, 0, -1, 0, 0}};
    const KxVertexBufferPtr vertexBuffer = BindVertices(t.device, 0x112, vertices);
    // 0x10000 + 2 under base -0x10000 is vertex 2; as 16 bits it would be 2
    // under that base, far below vertex 0.
    KxIndexBufferPtr indices = BindIndices(t.device, {0x10000, 0x10001, 0x10002}, true);
    EXPECT_TRUE(t.device.DrawIndexedPrimitive(KXPT_TRIANGLELIST, -0x10000, 0x10000, 3, 0, 1));
    EXPECT_EQ(t.device.GetTriangleVisible().size(), 1u);

    KxIndexBuffer* odd = nullptr;
    ASSERT_TRUE(t.device.CreateIndexBuffer(7, 0, KXFMT_INDEX16, 1, &odd, nullptr));
    indices.reset(odd);
    std::memset(odd->data, 0, 7);
    EXPECT_EQ(odd->IndexCount(), 3u);
    t.device.SetIndices(odd);
    EXPECT_TRUE(t.device.DrawIndexedPrimitive(KXPT_TRIANGLELIST, 0, 0, 3, 0, 1));
    EXPECT_FALSE(t.device.DrawIndexedPrimitive(KXPT_TRIANGLELIST, 0, 0, 3, 1, 1));
}

TEST(IndexedDrawing, WhatIsRefused)
{
    KxTestDevice t(16, 16);
    KxIndexBuffer* buffer = nullptr;
    for (uint32_t format : {0u, 21u, 100u, 103u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(t.device.CreateIndexBuffer(12, 0, format, 1, &buffer, nullptr)) << format;
        EXPECT_EQ(buffer, nullptr);
    }
    EXPECT_FALSE(t.device.CreateIndexBuffer(12, 0, KXFMT_INDEX16, 1, nullptr, nullptr));

    // No index buffer, then no vertex buffer.
    EXPECT_FALSE(t.device.DrawIndexedPrimitive(KXPT_TRIANGLELIST, 0, 0, 3, 0, 1));
    const KxIndexBufferPtr indices = BindIndices(t.device, {0, 1, 2}, false);
    EXPECT_EQ(t.device.GetIndices(), indices.get());
    EXPECT_FALSE(t.device.DrawIndexedPrimitive(KXPT_TRIANGLELIST, 0, 0, 3, 0, 1));
    const KxVertexBufferPtr vertices =
        BindVertices(t.device, 0x112, std::vector<KxLitVertex>{{0, 0, 0, 0, 0, -1, 0, 0}, {0, 1, 0, 0, 0, -1, 0, 0},
                                                               {1, 0, 0, 0, 0, -1, 0, 0}});
    EXPECT_TRUE(t.device.DrawIndexedPrimitive(KXPT_TRIANGLELIST, 0, 0, 3, 0, 1));
    EXPECT_TRUE(t.device.SetIndices(nullptr));
    EXPECT_FALSE(t.device.DrawIndexedPrimitive(KXPT_TRIANGLELIST, 0, 0, 3, 0, 1));

    // An empty buffer holds no index and hands out no memory.
    ASSERT_TRUE(t.device.CreateIndexBuffer(0, 0, KXFMT_INDEX32, 1, &buffer, nullptr));
    const KxIndexBufferPtr empty(buffer);
    t.device.SetIndices(buffer);
    EXPECT_EQ(buffer->IndexCount(), 0u);
    EXPECT_FALSE(t.device.DrawIndexedPrimitive(KXPT_TRIANGLELIST, 0, 0, 3, 0, 1));
}

// The stages the scaling harness times one by one still draw the bound
// buffer after an indexed draw: CullBackFaces takes it up again.
TEST(IndexedDrawing, PublicStagesDrawTheBoundBuffer)
{
    KxTestDevice staged(64, 48), drawn(64, 48);
    std::vector<KxLitVertex> vertices;
    KxTestRandom r{std::mt19937(2203)};
    for (int i = 0; i < 30; ++i)
        vertices.push_back({r.Uniform(-3, 3), r.Uniform(-3, 3), r.Uniform(-3, 3), 0, 0, -1, 0, 0});
    std::vector<KxVertexBufferPtr> keep;
    for (KxTestDevice* t : {&staged, &drawn}) {
        SetCamera(t->device);
        t->device.Clear(0, nullptr, 3, 0x404040, 1.0f, 0);
        keep.push_back(BindVertices(t->device, 0x112, vertices));
    }
    const KxIndexBufferPtr indices = BindIndices(staged.device, {0, 1, 2}, false);
    staged.device.DrawIndexedPrimitive(KXPT_TRIANGLELIST, 0, 0, 30, 0, 1);
    staged.device.Clear(0, nullptr, 3, 0x404040, 1.0f, 0);
    staged.device.CullBackFaces();
    ASSERT_TRUE(staged.device.CullToFrustum());
    staged.device.ApplyProjection();
    staged.device.ApplyClipVolume();
    staged.device.ApplyViewport();
    staged.device.DrawTriangles();
    drawn.device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 10);
    EXPECT_EQ(staged.Frame(), drawn.Frame());
}
