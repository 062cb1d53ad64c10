#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/kxfuzzdrivers.h"
#include "math/kxassert.h"

namespace {

namespace fs = std::filesystem;
using Driver = bool (*)(KxFuzzContext&, const uint8_t*, size_t);

std::vector<uint8_t> ReadBytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

// The seeds of fuzz/corpus/TARGET and the failures kept in
// fuzz/regressions/TARGET, in name order.
std::vector<fs::path> Inputs(const char* target)
{
    std::vector<fs::path> paths;
    for (const char* kind : {"corpus", "regressions"}) {
        const fs::path dir = fs::path(KX_FUZZ_DIR) / kind / target;
        if (!fs::is_directory(dir))
            continue;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file())
                paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

void ReplayAll(const char* target, Driver driver)
{
    KxFuzzContext::PrepareProcess();
    {
        KxFuzzContext context;
        const std::vector<fs::path> inputs = Inputs(target);
        EXPECT_GE(inputs.size(), 5u);
        for (const fs::path& path : inputs) {
            const std::vector<uint8_t> bytes = ReadBytes(path);
            EXPECT_TRUE(driver(context, bytes.data(), bytes.size())) << path;
        }
    }
    KxSetAssertReporter(nullptr);
}

}  // namespace

TEST(FuzzReplay, BmpInputs)
{
    ReplayAll("fuzz_bmp", KxFuzzBmp);
}

TEST(FuzzReplay, RasterInputs)
{
    ReplayAll("fuzz_raster", KxFuzzRaster);
}

TEST(FuzzReplay, PipelineInputs)
{
    ReplayAll("fuzz_pipeline", KxFuzzPipeline);
}
