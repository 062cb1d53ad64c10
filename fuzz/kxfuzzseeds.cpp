// Writes the seed corpora of the three fuzz targets:
//   kxfuzzseeds CORPUS_DIR SW_TEST.bmp
// (make fuzz-seeds runs it into fuzz/corpus). The inputs are encoded with
// the same layouts the drivers decode.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/kxscene.h"
#include "fuzz/kxfuzzbmpfile.h"
#include "fuzz/kxfuzzdrivers.h"
#include "fuzz/kxfuzzinput.h"

namespace {

namespace fs = std::filesystem;

// One corpus directory; remembers whether every file was written.
struct KxSeedDir {
    fs::path dir;
    bool bOk = true;

    void Save(const char* name, const std::vector<uint8_t>& bytes)
    {
        fs::create_directories(dir);
        const std::string path = (dir / name).string();
        if (!KxWriteFuzzFile(path, bytes.data(), bytes.size())) {
            std::fprintf(stderr, "kxfuzzseeds: cannot write %s\n", path.c_str());
            bOk = false;
        }
    }
};

std::vector<uint8_t> Texels(int32_t width, int32_t height)
{
    std::vector<uint8_t> texels;
    for (int32_t i = 0; i < 3 * width * height; ++i)
        texels.push_back(uint8_t(37 * i + 11));
    return texels;
}

// The shipped texture scaled down to 32 x 32 by point sampling: its look, at
// a size the fuzzer can mutate quickly.
std::vector<uint8_t> SmallTestTexture(const char* path)
{
    KxDib dib(nullptr, 3);
    if (!dib.Load(path)) {
        std::fprintf(stderr, "kxfuzzseeds: cannot load %s: %s\n", path, dib.GetLoadError());
        return {};
    }
    std::vector<uint8_t> texels;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const uint32_t texel = dib.ReadPixel((x + 0.5f) / 32.0f, (y + 0.5f) / 32.0f);
            texels.push_back(uint8_t(texel >> 16));
            texels.push_back(uint8_t(texel >> 8));
            texels.push_back(uint8_t(texel));
        }
    }
    return KxFuzzBmpFile(32, 32, texels);
}

void WriteBmpSeeds(KxSeedDir& out, const char* testTexture)
{
    out.Save("1x1.bmp", KxFuzzBmpFile(1, 1, Texels(1, 1)));
    out.Save("2x2_padded.bmp", KxFuzzBmpFile(2, 2, Texels(2, 2)));
    out.Save("3x2_top_down.bmp", KxFuzzBmpFile(3, 2, Texels(3, 2), true));
    out.Save("4x1_v4_header.bmp", KxFuzzBmpFile(4, 1, Texels(4, 1), false, 108));
    out.Save("5x3_v5_header_gap.bmp", KxFuzzBmpFile(5, 3, Texels(5, 3), false, 124, 6));
    const std::vector<uint8_t> small = SmallTestTexture(testTexture);
    if (small.empty())
        out.bOk = false;
    else
        out.Save("sw_test_32x32.bmp", small);

    // Refused files, so the fuzzer starts with every reason covered.
    std::vector<uint8_t> file = KxFuzzBmpFile(2, 2, Texels(2, 2));
    file.resize(file.size() - 3);
    out.Save("2x2_truncated.bmp", file);
    file = KxFuzzBmpFile(2, 2, Texels(2, 2));
    file[28] = 8;  // bit count
    out.Save("2x2_8bit.bmp", file);
    file = KxFuzzBmpFile(2, 2, Texels(2, 2));
    file[30] = 1;  // BI_RLE8
    out.Save("2x2_rle.bmp", file);
}

// ---- fuzz_raster

KxFuzzScreenVertex Screen(int32_t x, int32_t y, float z, uint32_t color, float u, float v, float invW = 1.0f)
{
    KxFuzzScreenVertex vertex;
    vertex.x = x;
    vertex.y = y;
    vertex.z = z;
    vertex.color = color;
    vertex.uOverW = u * invW;
    vertex.vOverW = v * invW;
    vertex.invW = invW;
    return vertex;
}

struct KxRasterSeed {
    KxFuzzWriter out;

    explicit KxRasterSeed(uint8_t flags, uint32_t clearColor = 0xFF0000, float clearZ = 1.0f)
    {
        KxFuzzRasterSetup setup;
        setup.flags = flags;
        setup.clearColor = clearColor;
        setup.clearZ = clearZ;
        setup.Visit(out);
    }

    void Op(KxFuzzRasterOp op) { out(uint8_t(op)); }

    void Triangle(KxFuzzScreenVertex a, KxFuzzScreenVertex b, KxFuzzScreenVertex c)
    {
        Op(KxFuzzRasterOp::Triangle);
        a.Visit(out);
        b.Visit(out);
        c.Visit(out);
    }

    void Halves(KxFuzzScreenVertex a, KxFuzzScreenVertex b, KxFuzzScreenVertex c)
    {
        Op(KxFuzzRasterOp::Halves);
        a.Visit(out);
        b.Visit(out);
        c.Visit(out);
    }

    void Gouraud(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t c0,
                 uint32_t c1, uint32_t c2)
    {
        Op(KxFuzzRasterOp::Gouraud);
        for (KxFuzzGouraudVertex v : {KxFuzzGouraudVertex{x0, y0, c0}, KxFuzzGouraudVertex{x1, y1, c1},
                                      KxFuzzGouraudVertex{x2, y2, c2}})
            v.Visit(out);
    }

    void Ints(KxFuzzRasterOp op, int32_t a, int32_t b, int32_t c, int32_t d, uint32_t color)
    {
        Op(op);
        KxFuzzIntRecord record{{a, b, c, d}, color};
        record.Visit(out);
    }

    void Span(KxFuzzScreenVertex a, KxFuzzScreenVertex b)
    {
        Op(KxFuzzRasterOp::Span);
        a.Visit(out);
        b.Visit(out);
    }

    void Clip(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t xmin, int32_t xmax, int32_t ymin,
              int32_t ymax)
    {
        Ints(KxFuzzRasterOp::Clip, x0, y0, x1, y1, 0);
        KxFuzzIntRecord rect{{xmin, xmax, ymin, ymax}, 0};
        rect.Visit(out);
    }
};

void WriteRasterSeeds(KxSeedDir& out)
{
    const uint32_t white = 0xFFFFFF;
    {
        KxRasterSeed seed(kFuzzTextureStage0);
        seed.Triangle(Screen(10, 5, 0.2f, white, 0.0f, 0.0f), Screen(50, 20, 0.5f, white, 1.0f, 0.3f),
                      Screen(25, 40, 0.8f, white, 0.4f, 1.0f));
        out.Save("textured_general", seed.out.bytes);
    }
    {
        KxRasterSeed seed(kFuzzTextureStage7 | kFuzzDepth32, 0x336699, 0.75f);
        seed.Triangle(Screen(10, 10, 0.5f, 0xFF0000, 0.0f, 0.0f), Screen(40, 10, 0.5f, 0x00FF00, 1.0f, 0.0f),
                      Screen(25, 30, 0.5f, 0x0000FF, 0.5f, 1.0f));
        seed.Triangle(Screen(25, 2, 0.1f, white, 0.5f, 0.0f), Screen(5, 20, 0.9f, 0x808080, 0.0f, 1.0f),
                      Screen(45, 20, 0.9f, 0x404040, 1.0f, 1.0f));
        out.Save("flat_top_and_bottom", seed.out.bytes);
    }
    {
        KxRasterSeed seed(kFuzzTextureStage0 | kFuzzTextureStage7);
        seed.Triangle(Screen(-20, -10, 0.3f, white, 0.0f, 0.0f, 0.5f), Screen(80, 15, 0.6f, white, 1.0f, 0.0f, 2.0f),
                      Screen(30, 60, 0.9f, white, 0.5f, 1.0f, 1.0f));
        seed.Span(Screen(-8, 12, 0.1f, 0x102030, 0.0f, 0.0f), Screen(70, 12, 0.2f, white, 1.0f, 1.0f));
        out.Save("off_screen_perspective", seed.out.bytes);
    }
    {
        KxRasterSeed seed(0, 0x000000);
        seed.Gouraud(5, 3, 55, 20, 20, 44, 0xFF0000, 0x00FF00, 0x0000FF);
        seed.Gouraud(0, 0, 60, 0, 30, 20, white, 0x808080, 0);
        seed.Gouraud(30, 25, 0, 46, 60, 46, 0x123456, 0x654321, 0xABCDEF);
        out.Save("gouraud", seed.out.bytes);
    }
    {
        KxRasterSeed seed(0);
        seed.Ints(KxFuzzRasterOp::Line, 2, 3, 58, 40, white);
        seed.Ints(KxFuzzRasterOp::Line, -10, 5, 10, 5, 0x00FF00);
        seed.Ints(KxFuzzRasterOp::Line, 30, -20, 35, 80, 0x0000FF);
        seed.Ints(KxFuzzRasterOp::Line, 7, 7, 7, 7, 0xFF00FF);
        seed.Ints(KxFuzzRasterOp::Lines, -5, 70, 20, 0, 0x00FFFF);
        seed.Clip(-100, -50, 200, 90, 0, 60, 0, 46);
        seed.Clip(3, 4, 5, 6, 10, 20, 10, 20);
        out.Save("lines_and_clips", seed.out.bytes);
    }
    {
        KxRasterSeed seed(kFuzzTextureStage0);
        seed.Halves(Screen(30, 4, 0.4f, white, 0.5f, 0.0f), Screen(10, 30, 0.4f, white, 0.0f, 1.0f),
                    Screen(50, 30, 0.4f, white, 1.0f, 1.0f));
        seed.Halves(Screen(8, 20, 0.6f, 0x00FF00, 0.0f, 0.0f), Screen(52, 20, 0.6f, 0x0000FF, 1.0f, 0.0f),
                    Screen(30, 44, 0.6f, 0xFF0000, 0.5f, 1.0f));
        out.Save("half_triangles", seed.out.bytes);
    }
}

// ---- fuzz_pipeline

constexpr uint32_t kDemoFormat = KXFVF_XYZ | KXFVF_NORMAL | KXFVF_TEX1;  // 274

// The device's state after Create, on the fuzz device's frame.
KxFuzzPipelineHeader DefaultHeader()
{
    KxFuzzPipelineHeader header;
    header.createFvf = header.bindFvf = header.drawFvf = kDemoFormat;
    header.stride = 32;
    const uint32_t states[kFuzzRenderStateCount] = {1, 2, 0, 1, 1, 0, 0, 0, 0, 0, 0};
    std::copy(states, states + kFuzzRenderStateCount, header.renderStates);
    header.world.SetIdentity();
    header.view.SetIdentity();
    header.projection.SetIdentity();
    header.viewport = {0, 0, KxFuzzContext::kWidth, KxFuzzContext::kHeight, 0.0f, 1.0f};
    header.clip = {-1.0f, 2.0f, 1.0f, 2.0f, 0.0f, 1.0f};
    const KxColor white(1.0f, 1.0f, 1.0f, 1.0f);
    header.material.Diffuse = header.material.Ambient = header.material.Specular = white;
    header.material.Emissive = KxColor(0.0f, 0.0f, 0.0f, 1.0f);
    header.material.Power = 1.0f;
    KxLight& light = header.lights[0].light;
    light.Diffuse = light.Ambient = white;
    light.Specular = KxColor(0.0f, 0.0f, 0.0f, 1.0f);
    light.Direction = KxVector3(0.0f, 1.0f, 0.0f);
    header.lights[0].enable = 1;
    return header;
}

// The demo's camera, and its world matrix for a frame (the scene turns the
// pyramid one degree every second frame).
void DemoTransforms(KxFuzzPipelineHeader& header, int frame, const KxVector3* offset)
{
    header.view.SetLookAtLeftHanded(KxVector3(0.0f, 0.0f, -12.0f), KxVector3(1.0f, 2.0f, 3.0f),
                                    KxVector3(0.0f, 1.0f, 0.0f));
    header.projection.SetPerspectiveLeftHanded(0.7853982f, 1.3333334f, 10.0f, 110.0f);
    const int degrees = int(1.0f + 0.5f * float(frame)) % 360;
    KxMatrix4 rotation, translation;
    rotation.SetRotationX(float(degrees * (double(3.1415927f) / 180.0)));
    translation.SetTranslation(0.0f, 0.0f, 24.0f);
    header.world = rotation * translation;
    if (offset) {
        KxMatrix4 matOffset;
        matOffset.SetTranslation(offset->x, offset->y, offset->z);
        header.world = header.world * matOffset;
    }
}

std::vector<uint8_t> Encode(KxFuzzPipelineHeader header, const std::vector<uint8_t>& vertices)
{
    KxFuzzWriter out;
    header.Visit(out);
    out.Append(vertices.data(), vertices.size());
    return out.bytes;
}

// The demo's 24 vertices with a diffuse colour after each normal (format
// 0x152: 36 bytes a vertex).
std::vector<uint8_t> WithDiffuse(const std::vector<uint8_t>& demo)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 32 <= demo.size(); i += 32) {
        out.insert(out.end(), demo.begin() + i, demo.begin() + i + 24);
        const uint32_t color = uint32_t(0x10305070u + 0x0B0D0Fu * i);
        KxFuzzWriter w;
        w(color);
        out.insert(out.end(), w.bytes.begin(), w.bytes.end());
        out.insert(out.end(), demo.begin() + i + 24, demo.begin() + i + 32);
    }
    return out;
}

// Two screen-space triangles of positions and diffuse colours, one of each
// winding; the projection only has to keep them inside the frustum.
std::vector<uint8_t> ScreenTriangles()
{
    const float corners[6][2] = {{5, 4}, {55, 10}, {20, 42}, {8, 40}, {58, 38}, {40, 2}};
    KxFuzzWriter out;
    for (int i = 0; i < 6; ++i) {
        out(corners[i][0]);
        out(corners[i][1]);
        out(0.5f);
        out(uint32_t(0x00FF0000u >> (4 * i)) | 0x404040u);
    }
    return out.bytes;
}

void WritePipelineSeeds(KxSeedDir& out, const std::vector<uint8_t>& demo)
{
    const KxVector3 startOffset(10.0f, 5.0f, 15.0f);
    const KxVector3 atTheEye(0.0f, 0.0f, -36.0f);

    KxFuzzPipelineHeader header = DefaultHeader();
    header.flags = kFuzzTextureStage0;
    DemoTransforms(header, 1, nullptr);
    out.Save("demo_frame1", Encode(header, demo));

    header = DefaultHeader();
    header.flags = kFuzzTextureStage0;
    DemoTransforms(header, 90, &startOffset);
    out.Save("demo_frame90_second_pyramid", Encode(header, demo));

    header = DefaultHeader();
    header.renderStates[0] = 0;  // z-enable off: the Gouraud filler
    DemoTransforms(header, 45, nullptr);
    out.Save("demo_gouraud", Encode(header, demo));

    header = DefaultHeader();
    header.flags = kFuzzTextureStage0;
    DemoTransforms(header, 10, &atTheEye);
    out.Save("demo_pyramid_at_the_eye", Encode(header, demo));

    header = DefaultHeader();
    header.flags = kFuzzTextureStage7 | kFuzzDepth32 | kFuzzDrawTwice;
    header.stride = 30;
    DemoTransforms(header, 200, nullptr);
    out.Save("demo_depth32_drawn_twice", Encode(header, demo));

    header = DefaultHeader();
    header.flags = kFuzzTextureStage0 | kFuzzFormatAfterBind;
    header.drawFvf = KXFVF_XYZ | KXFVF_DIFFUSE | KXFVF_SPECULAR | KXFVF_TEX1;
    DemoTransforms(header, 30, nullptr);
    out.Save("demo_format_changed_after_binding", Encode(header, demo));

    header = DefaultHeader();
    header.flags = kFuzzTextureStage0;
    header.createFvf = header.bindFvf = header.drawFvf = KXFVF_XYZ | KXFVF_NORMAL | KXFVF_DIFFUSE | KXFVF_TEX1;
    header.stride = 36;
    header.renderStates[2] = 1;         // specular
    header.renderStates[5] = 0x203040;  // ambient
    header.material.Power = 8.0f;
    for (int i = 1; i < 3; ++i) {
        header.lights[i] = header.lights[0];
        header.lights[i].light.Direction = KxVector3(float(i), -1.0f, 0.5f);
        header.lights[i].light.Specular = KxColor(0.5f, 0.5f, 0.5f, 1.0f);
    }
    DemoTransforms(header, 120, nullptr);
    out.Save("lit_specular_diffuse_format", Encode(header, WithDiffuse(demo)));

    header = DefaultHeader();
    header.createFvf = header.bindFvf = header.drawFvf = KXFVF_XYZ | KXFVF_DIFFUSE;
    header.stride = 16;
    header.projection.SetScaling(1.0f / 64.0f, 1.0f / 64.0f, 1.0f);
    out.Save("diffuse_screen_space", Encode(header, ScreenTriangles()));

    header = DefaultHeader();
    header.createFvf = header.bindFvf = header.drawFvf = KXFVF_XYZRHW | KXFVF_TEX1;
    header.stride = 24;
    out.Save("pre_transformed", Encode(header, std::vector<uint8_t>(demo.begin(), demo.begin() + 144)));
}

// The demo scene's own vertex buffer, as the program fills it.
std::vector<uint8_t> DemoVertices()
{
    KxTestWindow window(640, 480);
    KxScene scene;
    scene.Setup(window.hWnd);
    const KxVertexBuffer* buffer = scene.GetVertexBuffer();
    return std::vector<uint8_t>(buffer->data, buffer->data + buffer->length);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kxfuzzseeds CORPUS_DIR SW_TEST.bmp\n");
        return 2;
    }
    KxFuzzContext::PrepareProcess();
    const fs::path corpus = argv[1];
    KxSeedDir bmp{corpus / "fuzz_bmp"};
    KxSeedDir raster{corpus / "fuzz_raster"};
    KxSeedDir pipeline{corpus / "fuzz_pipeline"};
    WriteBmpSeeds(bmp, argv[2]);
    WriteRasterSeeds(raster);
    WritePipelineSeeds(pipeline, DemoVertices());
    return bmp.bOk && raster.bOk && pipeline.bOk ? 0 : 1;
}
