// The fuzz corpora and every input a fuzzer once failed on, replayed
// through the fuzz drivers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/kxfuzzdrivers.h"

namespace {

// fuzz/corpus/TARGET and fuzz/regressions/TARGET, in name order.
void ReplayAll(const char* target, bool (*driver)(KxFuzzContext&, const uint8_t*, size_t))
{
    std::vector<std::filesystem::path> inputs;
    std::error_code missing;  // not every target has regressions
    for (const char* kind : {"/corpus/", "/regressions/"})
        for (const auto& entry : std::filesystem::directory_iterator(KX_FUZZ_DIR + (kind + std::string(target)), missing))
            inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    EXPECT_GE(inputs.size(), 5u);
    KxFuzzContext::PrepareProcess();
    {
        KxFuzzContext context;
        for (const std::filesystem::path& path : inputs) {
            std::ifstream file(path, std::ios::binary);
            const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
            EXPECT_TRUE(driver(context, bytes.data(), bytes.size())) << path;
        }
    }
    KxSetAssertReporter(nullptr);
}

}  // namespace

TEST(FuzzReplay, EveryTargetsInputs)
{
    ReplayAll("fuzz_bmp", KxFuzzBmp);
    ReplayAll("fuzz_raster", KxFuzzRaster);
    ReplayAll("fuzz_pipeline", KxFuzzPipeline);
}
