// Renders demo frames off-screen and writes the last one as a BMP:
//   kxsnapshot [--frames N] [--hold KEYS] [--out FILE.bmp] [--depth-out FILE]
// The real scene runs as in the program (same set-up, keys and rendering,
// texture read from the working directory), on SDL's dummy video driver.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/kxscene.h"
#include "platform/kxkeyhook.h"
#include "platform/kxwin32.h"

namespace {

struct KxOptions {
    long nFrames = 1;
    std::string holdKeys;
    std::string outPath = "frame.bmp";
    std::string depthPath;
};

int Usage(const char* message)
{
    std::fprintf(stderr,
                 "kxsnapshot: %s\n"
                 "usage: kxsnapshot [--frames N] [--hold KEYS] [--out FILE.bmp] [--depth-out FILE]\n"
                 "  --frames N        frames to render, N >= 1 (default 1)\n"
                 "  --hold KEYS       keys held down during every frame, letters of WSADZX\n"
                 "  --out FILE.bmp    where the last frame goes (default frame.bmp)\n"
                 "  --depth-out FILE  also write its depth buffer, 16-bit little-endian, top row first\n",
                 message);
    return 2;
}

bool ParseFrames(const char* text, long* frames)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > 100000000)
        return false;
    *frames = value;
    return true;
}

bool ParseKeys(const std::string& text, std::string* keys)
{
    keys->clear();
    for (char c : text) {
        const char upper = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
        if (!std::strchr("WSADZX", upper) || upper == '\0')
            return false;
        keys->push_back(upper);
    }
    return !keys->empty();
}

// Returns 0 when the options are good, else the usage exit status.
int ParseOptions(int argc, char** argv, KxOptions* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option != "--frames" && option != "--hold" && option != "--out" && option != "--depth-out")
            return Usage(("unknown option " + option).c_str());
        if (i + 1 >= argc)
            return Usage(("missing value for " + option).c_str());
        const char* value = argv[++i];
        if (option == "--frames") {
            if (!ParseFrames(value, &options->nFrames))
                return Usage("--frames takes a whole number of at least 1");
        } else if (option == "--hold") {
            if (!ParseKeys(value, &options->holdKeys))
                return Usage("--hold takes letters of WSADZX");
        } else if (option == "--out") {
            options->outPath = value;
        } else {
            options->depthPath = value;
            if (options->depthPath.empty())
                return Usage("--depth-out needs a file name");
        }
        if (options->outPath.empty())
            return Usage("--out needs a file name");
    }
    return 0;
}

void PutLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

// A standard bottom-up 24-bit BMP; each pixel's bytes as they stand in the
// colour buffer (blue, green, red).
std::vector<uint8_t> EncodeBmp(const KxSoftwareRenderDevice& device)
{
    const uint32_t width = uint32_t(device.GetWidth());
    const uint32_t height = uint32_t(device.GetHeight());
    const uint32_t fileRow = (3 * width + 3) & ~3u;
    const uint32_t imageBytes = fileRow * height;
    std::vector<uint8_t> out;
    out.reserve(54 + imageBytes);
    out.push_back('B');
    out.push_back('M');
    PutLittleEndian(out, 54 + imageBytes, 4);
    PutLittleEndian(out, 0, 4);
    PutLittleEndian(out, 54, 4);
    PutLittleEndian(out, 40, 4);
    PutLittleEndian(out, width, 4);
    PutLittleEndian(out, height, 4);
    PutLittleEndian(out, 1, 2);
    PutLittleEndian(out, 24, 2);
    PutLittleEndian(out, BI_RGB, 4);
    PutLittleEndian(out, imageBytes, 4);
    PutLittleEndian(out, 2835, 4);
    PutLittleEndian(out, 2835, 4);
    PutLittleEndian(out, 0, 4);
    PutLittleEndian(out, 0, 4);
    for (uint32_t row = height; row-- > 0;) {
        const uint8_t* pixels = device.GetPixels() + size_t(row) * size_t(device.GetRowStride());
        out.insert(out.end(), pixels, pixels + 3 * width);
        out.insert(out.end(), fileRow - 3 * width, 0);
    }
    return out;
}

std::vector<uint8_t> EncodeDepth(const KxSoftwareRenderDevice& device)
{
    std::vector<uint8_t> out;
    out.reserve(size_t(device.GetWidth()) * size_t(device.GetHeight()) * 2);
    for (int32_t y = 0; y < device.GetHeight(); ++y)
        for (int32_t x = 0; x < device.GetWidth(); ++x)
            PutLittleEndian(out, device.GetDepth(x, y), 2);
    return out;
}

// Writes through a temporary file and a rename, so a failed write never
// leaves a half-written output behind.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes)
{
    const std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "kxsnapshot: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "kxsnapshot: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

void DrainMessages(HWND window)
{
    MSG msg;
    while (PeekMessageA(&msg, window, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

}  // namespace

int main(int argc, char** argv)
{
    KxOptions options;
    if (const int status = ParseOptions(argc, argv, &options))
        return status;

    setenv("SDL_VIDEODRIVER", "dummy", 1);  // always off-screen

    const char* className = "SoftwareRenderTest";
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, className, className, WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                  nullptr, nullptr, nullptr, nullptr);
    if (!window) {
        std::fprintf(stderr, "kxsnapshot: cannot create an off-screen window\n");
        return 1;
    }

    int status = 0;
    {
        KxScene scene;
        scene.Setup(window);
        for (char key : options.holdKeys)
            KxHoldKey(key, true);

        const auto start = std::chrono::steady_clock::now();
        for (long frame = 0; frame < options.nFrames; ++frame) {
            DrainMessages(window);
            scene.Frame();
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        KxReleaseAllKeys();
        std::printf("frames: %ld  seconds: %.3f  fps: %.1f\n", options.nFrames, seconds,
                    seconds > 0.0 ? double(options.nFrames) / seconds : 0.0);

        const KxSoftwareRenderDevice& device = *scene.GetDevice();
        if (!WriteFileAtomically(options.outPath, EncodeBmp(device)))
            status = 1;
        else if (!options.depthPath.empty() && !WriteFileAtomically(options.depthPath, EncodeDepth(device)))
            status = 1;
    }

    DestroyWindow(window);
    UnregisterClassA(className, nullptr);
    return status;
}
