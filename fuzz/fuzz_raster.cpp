// libFuzzer target fuzz_raster: bytes are screen-space triangles, lines and spans for the fillers.
#include <cstdlib>

#include "fuzz/kxfuzzdrivers.h"

namespace {

KxFuzzContext* pContext = nullptr;  // built once: a window per input would dominate the run time

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    KxFuzzContext::PrepareProcess();
    pContext = new KxFuzzContext();
    std::atexit([] { delete pContext; });  // takes its temporary files along
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!KxFuzzRaster(*pContext, data, size))
        std::abort();
    return 0;
}
