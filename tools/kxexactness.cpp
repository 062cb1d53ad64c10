// kxexactness: renders random scenes through the whole pipeline and compares
// a hash of every colour and depth byte with the hashes committed in
// tests/exactness/hashes.txt. The bytes depend on every rounding point, so a
// build that fuses, reorders or widens floating-point arithmetic (FMA
// contraction, x87, fast math) or a change to the arithmetic shows here.
//
//   kxexactness                  prints the hash lines
//   kxexactness --check FILE     compares with FILE; exit 1 on any difference
//   kxexactness --write FILE     writes FILE anew
//   --frames DIR                 also writes every frame as DIR/KIND-SEED.bmp
//   --threads N[,N...]           renders every scene on each of these thread
//                                counts (default 1); all must give the same lines
//
// A line: KIND SEED WIDTHxHEIGHT COLOR-HASH DEPTH-HASH, the hashes 64-bit
// FNV-1a over the frame's pixels (3 bytes each, rows top to bottom, no
// padding) and over its depth entries (2 or 4 bytes each, little-endian).
//
// Adding to the check (tools/kxexactscenes.cpp): a new device feature gets
// a feature function that sets it up at random in the scene description (a
// render state pushed onto renderStates, or a new field of KxExactScene or
// KxExactDraw that KxExactFrame::Render passes to the device), and a new
// row at the end of KxExactKinds() naming it with the features it combines
// with, e.g.
//   {"cull-modes", 10, {CullModes, Textured, SeveralObjects}},
// Leave the existing rows as they are: a feature added to a row changes
// every scene of it. Draw one random value per statement (the order of a
// call's arguments differs between processors). Then regenerate
// deliberately, on a build that passes `make test`:
//   build/bin/kxexactness --write tests/exactness/hashes.txt
// and check with `git diff` that only the new kind's lines were added. A
// change that is meant to change pixels changes lines too: say why in the
// commit. `make cross-check` then shows that arm64 and 32-bit x86 agree.
#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tools/kxexactscenes.h"

namespace {

const char* const kUsage =
    "usage: kxexactness [--check FILE | --write FILE] [--frames DIR] [--threads N[,N...]]\n"
    "Renders the exactness check's random scenes and prints a hash line for each,\n"
    "compares them with FILE (exit 1 on a difference) or writes FILE anew.\n"
    "  --frames DIR        also writes each frame as DIR/KIND-SEED.bmp (DIR must exist)\n"
    "  --threads N[,N...]  renders every scene on each of these thread counts (1 to 256,\n"
    "                      default 1), every draw split across the threads; the lines\n"
    "                      must be the same on every count (exit 1 if not)\n";

constexpr uint64_t kFnvOffset = 0xCBF29CE484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001B3ull;

void HashByte(uint64_t& hash, uint8_t byte)
{
    hash = (hash ^ byte) * kFnvPrime;
}

uint64_t ColorHash(const KxSoftwareRenderDevice& device)
{
    uint64_t hash = kFnvOffset;
    for (int32_t y = 0; y < device.GetHeight(); ++y) {
        const uint8_t* row = device.GetPixels() + size_t(y) * size_t(device.GetRowStride());
        for (size_t i = 0; i < size_t(device.GetWidth()) * 3; ++i)
            HashByte(hash, row[i]);
    }
    return hash;
}

uint64_t DepthHash(const KxSoftwareRenderDevice& device, bool bDepth32)
{
    uint64_t hash = kFnvOffset;
    for (int32_t y = 0; y < device.GetHeight(); ++y) {
        for (int32_t x = 0; x < device.GetWidth(); ++x) {
            const uint32_t depth = device.GetDepth(x, y);
            for (int shift = 0; shift < (bDepth32 ? 32 : 16); shift += 8)
                HashByte(hash, uint8_t(depth >> shift));
        }
    }
    return hash;
}

struct KxHashLine {
    std::string key;  // KIND SEED
    std::string line;
};

// Every scene's line on nThreads threads; false when a device could not be
// created or a frame could not be written.
bool RenderAll(const std::string& framesDir, uint32_t nThreads, std::vector<KxHashLine>& lines)
{
    for (const KxExactKind& kind : KxExactKinds()) {
        for (int32_t seed = 0; seed < kind.nSeeds; ++seed) {
            const KxExactScene scene = KxMakeExactScene(kind, seed);
            KxExactFrame frame;
            const std::string key = std::string(kind.name) + " " + std::to_string(seed);
            if (!frame.Render(scene, nThreads)) {
                std::fprintf(stderr, "kxexactness: no memory for the %dx%d frame of %s on %u threads\n",
                             int(scene.nWidth), int(scene.nHeight), key.c_str(), unsigned(nThreads));
                return false;
            }
            char text[160];
            std::snprintf(text, sizeof(text), "%s %dx%d %016llx %016llx", key.c_str(), int(scene.nWidth),
                          int(scene.nHeight), static_cast<unsigned long long>(ColorHash(frame.Device())),
                          static_cast<unsigned long long>(DepthHash(frame.Device(), scene.bDepth32)));
            lines.push_back({key, text});
            const std::string path = framesDir + "/" + kind.name + "-" + std::to_string(seed) + ".bmp";
            if (!framesDir.empty() && !frame.Device().SaveBmp(path.c_str())) {
                std::fprintf(stderr, "kxexactness: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
                return false;
            }
        }
    }
    return true;
}

// The differences between the rendered lines and the file's, one message a
// scene; empty when they agree.
std::vector<std::string> Compare(const std::vector<KxHashLine>& lines, std::ifstream& file)
{
    std::map<std::string, std::string> expected;
    std::string text;
    while (std::getline(file, text)) {
        if (text.empty() || text[0] == '#')
            continue;
        const size_t second = text.find(' ', text.find(' ') + 1);
        expected[text.substr(0, second)] = text;
    }
    std::vector<std::string> differences;
    for (const KxHashLine& line : lines) {
        auto it = expected.find(line.key);
        if (it == expected.end()) {
            differences.push_back("no hash for " + line.key + ": " + line.line);
            continue;
        }
        if (it->second != line.line)
            differences.push_back("expected " + it->second + "\n     got " + line.line);
        expected.erase(it);
    }
    for (const auto& entry : expected)
        differences.push_back("no such scene any more: " + entry.second);
    return differences;
}

int Check(const std::vector<KxHashLine>& lines, const std::string& path)
{
    std::ifstream file(path);
    if (!file) {
        std::fprintf(stderr, "kxexactness: cannot read %s\n", path.c_str());
        return 2;
    }
    const std::vector<std::string> differences = Compare(lines, file);
    for (const std::string& difference : differences)
        std::printf("DIFFERS: %s\n", difference.c_str());
    if (!differences.empty()) {
        std::printf("kxexactness: %zu of %zu scenes differ from %s. If this build's arithmetic is right and the\n"
                    "pixels are meant to change, regenerate with --write (see tools/kxexactness.cpp).\n",
                    differences.size(), lines.size(), path.c_str());
        return 1;
    }
    std::printf("kxexactness: all %zu scenes match %s\n", lines.size(), path.c_str());
    return 0;
}

int Write(const std::vector<KxHashLine>& lines, const std::string& path)
{
    std::ofstream file(path, std::ios::trunc);
    file << "# kxexactness: KIND SEED WIDTHxHEIGHT COLOR-HASH DEPTH-HASH. Regenerate only on purpose:\n"
            "# see tools/kxexactness.cpp.\n";
    for (const KxHashLine& line : lines)
        file << line.line << '\n';
    file.close();
    if (!file) {
        std::fprintf(stderr, "kxexactness: cannot write %s\n", path.c_str());
        return 2;
    }
    std::printf("kxexactness: wrote %zu scenes to %s\n", lines.size(), path.c_str());
    return 0;
}

// "1,2,3" into its counts; false on anything else.
bool ParseThreadCounts(const std::string& text, std::vector<uint32_t>& counts)
{
    counts.clear();
    size_t start = 0;
    for (;;) {
        const size_t end = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, end - start);
        if (item.empty() || item.size() > 3 || item.find_first_not_of("0123456789") != std::string::npos)
            return false;
        const unsigned long count = std::stoul(item);
        if (count < 1 || count > KxSoftwareRenderDevice::kMaxThreads)
            return false;
        counts.push_back(uint32_t(count));
        if (end == text.size())
            return true;
        start = end + 1;
    }
}

// The lines of every thread count; false, after saying where, when one
// count's lines differ from the first's or a scene could not be rendered.
bool RenderOnEveryCount(const std::string& framesDir, const std::vector<uint32_t>& counts,
                        std::vector<KxHashLine>& lines, int& status)
{
    status = 2;
    if (!RenderAll(framesDir, counts[0], lines))
        return false;
    for (size_t c = 1; c < counts.size(); ++c) {
        std::vector<KxHashLine> other;
        if (!RenderAll(framesDir, counts[c], other))
            return false;
        size_t nDiffering = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (other[i].line == lines[i].line)
                continue;
            ++nDiffering;
            std::printf("DIFFERS: on %u threads %s\n   on %u threads %s\n", unsigned(counts[0]),
                        lines[i].line.c_str(), unsigned(counts[c]), other[i].line.c_str());
        }
        if (nDiffering > 0) {
            std::printf("kxexactness: %zu of %zu scenes differ between %u and %u threads\n", nDiffering,
                        lines.size(), unsigned(counts[0]), unsigned(counts[c]));
            status = 1;
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string mode, path, framesDir;
    std::vector<uint32_t> threadCounts{1};
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        const bool bKnown = option == "--check" || option == "--write" || option == "--frames" || option == "--threads";
        const bool bMode = option == "--check" || option == "--write";
        if (!bKnown || i + 1 >= argc || (bMode && !mode.empty()) ||
            (option == "--threads" && !ParseThreadCounts(argv[i + 1], threadCounts))) {
            std::fprintf(stderr, "kxexactness: bad option %s\n%s", option.c_str(), kUsage);
            return 2;
        }
        const std::string value = argv[++i];
        if (option == "--frames")
            framesDir = value;
        else if (bMode)
            mode = option, path = value;
    }

    std::vector<KxHashLine> lines;
    int status = 0;
    if (!RenderOnEveryCount(framesDir, threadCounts, lines, status))
        return status;
    if (threadCounts.size() > 1) {
        std::printf("kxexactness: every scene the same on");
        for (uint32_t count : threadCounts)
            std::printf(" %u", unsigned(count));
        std::printf(" threads\n");
    }
    if (mode == "--check")
        return Check(lines, path);
    if (mode == "--write")
        return Write(lines, path);
    for (const KxHashLine& line : lines)
        std::printf("%s\n", line.line.c_str());
    return 0;
}
