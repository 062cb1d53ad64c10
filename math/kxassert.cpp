#include "math/kxassert.h"

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

KxAssertReporter currentReporter = ReportToStderr;
unsigned long failureCount = 0;

}  // namespace

void KxAssertFailed(const char* expression, const char* source)
{
    ++failureCount;
    currentReporter(expression, source);
}

KxAssertReporter KxSetAssertReporter(KxAssertReporter reporter)
{
    KxAssertReporter previous = currentReporter;
    currentReporter = reporter ? reporter : ReportToStderr;
    return previous;
}

unsigned long KxAssertFailureCount()
{
    return failureCount;
}
