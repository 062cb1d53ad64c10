// Renders demo frames off-screen and writes the last one as a BMP. The real
// scene runs as in the program (same set-up, keys and rendering, texture
// read from the working directory), drawn into memory: no window, no video
// system, so it runs the same wherever it is built.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/kxscene.h"
#include "tools/kxprogress.h"

namespace {

enum KxExitStatus {
    kExitWritten = 0,
    kExitCannotWrite = 1,
    kExitUsage = 2,
    kExitNoTexture = 3,
};

const char* const kUsage =
    "usage: kxsnapshot [--frames N] [--hold KEYS] [--out FILE.bmp] [--depth-out FILE]\n"
    "                  [--threads N] [--thread-threshold N]\n"
    "Renders the demo off-screen for N frames and writes the last one. Run it\n"
    "where the demo's texture SW_TEST.bmp is.\n"
    "  --frames N        frames to render, N >= 1 (default 1)\n"
    "  --hold KEYS       keys held down during every frame, letters of WSADZX\n"
    "  --out FILE.bmp    where the last frame goes (default frame.bmp)\n"
    "  --depth-out FILE  also write its depth buffer, 16-bit little-endian, top row first\n"
    "  --threads N       threads that draw, 0 to 256 (default 1; 0: one per processor);\n"
    "                    the bytes are the same for every count\n"
    "  --thread-threshold N\n"
    "                    draws of fewer triangles stay on one thread (default 512;\n"
    "                    0: every draw on all threads, as the tests run the demo)\n"
    "  --help, -h        this text\n"
    "Exit status: 0 written; 1 an output cannot be written (checked before\n"
    "rendering); 2 bad options; 3 SW_TEST.bmp could not be loaded: the frame\n"
    "is written all the same, without the texture.\n";

struct KxOptions {
    long nFrames = 1;
    std::string holdKeys;
    std::string outPath = "frame.bmp";
    std::string depthPath;
    long nThreads = 1;
    long nThreadThreshold = KxSoftwareRenderDevice::kDefaultThreadThreshold;
    bool bHelp = false;
};

int Usage(const std::string& message)
{
    std::fprintf(stderr, "kxsnapshot: %s\n%s", message.c_str(), kUsage);
    return kExitUsage;
}

// A whole number from low to high, digits only.
bool ParseNumber(const char* text, long low, long high, long* number)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high)
        return false;
    *number = value;
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
        if (option == "--help" || option == "-h") {
            options->bHelp = true;
            continue;
        }
        if (option != "--frames" && option != "--hold" && option != "--out" && option != "--depth-out" &&
            option != "--threads" && option != "--thread-threshold")
            return Usage("unknown option " + option);
        if (i + 1 >= argc)
            return Usage("missing value for " + option);
        const char* value = argv[++i];
        if (option == "--frames") {
            if (!ParseNumber(value, 1, 100000000, &options->nFrames))
                return Usage("--frames takes a whole number of at least 1");
        } else if (option == "--threads") {
            if (!ParseNumber(value, 0, KxSoftwareRenderDevice::kMaxThreads, &options->nThreads))
                return Usage("--threads takes a whole number from 0 to 256");
        } else if (option == "--thread-threshold") {
            if (!ParseNumber(value, 0, 1000000000, &options->nThreadThreshold))
                return Usage("--thread-threshold takes a whole number from 0 to 1000000000");
        } else if (option == "--hold") {
            if (!ParseKeys(value, &options->holdKeys))
                return Usage("--hold takes letters of WSADZX");
        } else if (option == "--out") {
            options->outPath = value;
            if (options->outPath.empty())
                return Usage("--out needs a file name");
        } else {
            options->depthPath = value;
            if (options->depthPath.empty())
                return Usage("--depth-out needs a file name");
        }
    }
    return 0;
}

bool CannotWrite(const std::string& path, const char* reason)
{
    std::fprintf(stderr, "kxsnapshot: cannot write %s: %s\n", path.c_str(), reason);
    return false;
}

// Outputs are written under a temporary name and renamed into place. Making
// and removing that file now tells before a long run whether the write
// will go through.
bool CheckWritable(const std::string& path)
{
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return CannotWrite(path, "it is a directory");
    const std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return CannotWrite(path, std::strerror(errno));
    std::fclose(file);
    std::remove(temporary.c_str());
    return true;
}

std::vector<uint8_t> EncodeDepth(const KxSoftwareRenderDevice& device)
{
    std::vector<uint8_t> out;
    out.reserve(size_t(device.GetWidth()) * size_t(device.GetHeight()) * 2);
    for (int32_t y = 0; y < device.GetHeight(); ++y) {
        for (int32_t x = 0; x < device.GetWidth(); ++x) {
            const uint32_t depth = device.GetDepth(x, y);
            out.push_back(uint8_t(depth));
            out.push_back(uint8_t(depth >> 8));
        }
    }
    return out;
}

// Through a temporary file and a rename, as the frame itself, so a failed
// write never leaves a half-written output behind.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes)
{
    const std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return CannotWrite(path, std::strerror(errno));
    const bool bWritten = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool bClosed = std::fclose(file) == 0;
    std::error_code error;
    if (bWritten && bClosed)
        std::filesystem::rename(temporary, path, error);
    if (!bWritten || !bClosed || error) {
        std::remove(temporary.c_str());
        return CannotWrite(path, error ? error.message().c_str() : "write error");
    }
    return true;
}

// Renders the frames and writes the outputs; the exit status.
int Snapshot(const KxOptions& options)
{
    KxScene scene;
    if (!scene.SetupOffscreen()) {
        std::fprintf(stderr, "kxsnapshot: no memory for the frame buffers\n");
        return kExitCannotWrite;
    }
    scene.HoldKeys(options.holdKeys);
    KxSoftwareRenderDevice& drawing = *scene.GetDevice();
    drawing.SetThreadThreshold(uint32_t(options.nThreadThreshold));
    if (!drawing.SetThreadCount(uint32_t(options.nThreads)))
        std::fprintf(stderr, "kxsnapshot: the system refused %ld threads; drawing on one\n", options.nThreads);

    KxProgress progress(options.nFrames);
    const auto start = std::chrono::steady_clock::now();
    for (long frame = 1; frame <= options.nFrames; ++frame) {
        scene.Frame();
        progress.Update(frame);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    progress.Finish();
    std::printf("frames: %ld  seconds: %.3f  fps: %.1f\n", options.nFrames, seconds,
                seconds > 0.0 ? double(options.nFrames) / seconds : 0.0);

    const KxSoftwareRenderDevice& device = *scene.GetDevice();
    errno = 0;
    if (!device.SaveBmp(options.outPath.c_str())) {
        CannotWrite(options.outPath, errno ? std::strerror(errno) : "write error");
        return kExitCannotWrite;
    }
    if (!options.depthPath.empty() && !WriteFileAtomically(options.depthPath, EncodeDepth(device)))
        return kExitCannotWrite;
    // The scene has said why on stderr; a script learns it from the status.
    return scene.GetTexture() ? kExitWritten : kExitNoTexture;
}

}  // namespace

int main(int argc, char** argv)
{
    KxOptions options;
    if (const int status = ParseOptions(argc, argv, &options))
        return status;
    if (options.bHelp) {
        std::fputs(kUsage, stdout);
        return kExitWritten;
    }
    if (!CheckWritable(options.outPath) || (!options.depthPath.empty() && !CheckWritable(options.depthPath)))
        return kExitCannotWrite;
    return Snapshot(options);
}
