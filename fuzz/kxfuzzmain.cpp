// The libFuzzer entry points of one target; KX_FUZZ_DRIVER names its driver
// (KxFuzzBmp, KxFuzzRaster or KxFuzzPipeline), set by the build.
#include <cstdlib>

#include "fuzz/kxfuzzdrivers.h"

namespace {

KxFuzzContext* pContext = nullptr;  // built once: set-up per input would dominate the run time

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    KxFuzzContext::PrepareProcess();
    pContext = new KxFuzzContext();
    std::atexit([] { delete pContext; });  // takes its temporary file along
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!KX_FUZZ_DRIVER(*pContext, data, size))
        std::abort();
    return 0;
}
