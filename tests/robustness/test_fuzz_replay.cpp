// The fuzz corpora and every input a fuzzer once failed on, replayed
// through the fuzz drivers.
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

// fuzz/corpus/TARGET and fuzz/regressions/TARGET, in name order.
void ReplayAll(const char* target, bool (*driver)(KxFuzzContext&, const uint8_t*, size_t))
{
    std::vector<fs::path> inputs;
    for (const char* kind : {"corpus", "regressions"})
        if (fs::is_directory(fs::path(KX_FUZZ_DIR) / kind / target))
            for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(KX_FUZZ_DIR) / kind / target))
                inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    EXPECT_GE(inputs.size(), 5u);
    KxFuzzContext::PrepareProcess();
    {
        KxFuzzContext context;
        for (const fs::path& path : inputs) {
            std::ifstream file(path, std::ios::binary);
            const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
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
