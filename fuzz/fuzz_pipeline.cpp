// libFuzzer target fuzz_pipeline: bytes are device state and a vertex buffer for DrawPrimitive.
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
    if (!KxFuzzPipeline(*pContext, data, size))
        std::abort();
    return 0;
}
