#include "math/kxassert.h"

#include <cstdio>

namespace {

void ReportToStderr(const char* expression, const char* source)
{
    std::fprintf(stderr, "Assertion failed: %s, source %s\n", expression, source);
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
