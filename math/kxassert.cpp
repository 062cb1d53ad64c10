#include "math/kxassert.h"

#include <atomic>
#include <cstdio>

namespace {

// Release builds keep the checks and the count but say nothing: what a
// person can act on is the caller's own message, not the internal check.
void ReportToStderr(const char* expression, const char* source)
{
#ifdef NDEBUG
    (void)expression;
    (void)source;
#else
    std::fprintf(stderr, "Assertion failed: %s, source %s\n", expression, source);
#endif
}

// The process's one reporter and count: atomic, so that devices on several
// threads may fail checks at once.
std::atomic<KxAssertReporter> currentReporter{ReportToStderr};
std::atomic<unsigned long> failureCount{0};

}  // namespace

void KxAssertFailed(const char* expression, const char* source)
{
    ++failureCount;
    currentReporter.load()(expression, source);
}

KxAssertReporter KxSetAssertReporter(KxAssertReporter reporter)
{
    return currentReporter.exchange(reporter ? reporter : ReportToStderr);
}

unsigned long KxAssertFailureCount()
{
    return failureCount;
}
