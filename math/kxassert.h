// Debug assertions that report and then let execution go on with the next
// step. They are active in every build type: the checks are cheap and the
// reports are part of how the device tells a caller it misused it.
#pragma once

// Reports a failed check; the default reporter writes to stderr.
typedef void (*KxAssertReporter)(const char* expression, const char* source);

void KxAssertFailed(const char* expression, const char* source);

// Replaces the reporter (null restores the default) and returns the old one.
KxAssertReporter KxSetAssertReporter(KxAssertReporter reporter);

// Number of failed assertions since the program started.
unsigned long KxAssertFailureCount();

#define KX_ASSERT(expression, source) \
    ((expression) ? static_cast<void>(0) : KxAssertFailed(#expression, source))
