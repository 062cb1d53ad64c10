// Debug assertions that report and then let execution go on with the next
// step. The checks and their count work in every build type; the default
// reporter writes to stderr only in builds without NDEBUG.
#pragma once

#include "math/kxexactfloat.h"

// Reports a failed check; the default reporter writes to stderr (debug
// builds only). A reporter that is set is called in every build.
typedef void (*KxAssertReporter)(const char* expression, const char* source);

void KxAssertFailed(const char* expression, const char* source);

// Replaces the reporter (null restores the default) and returns the old one.
// One reporter and one count serve the whole process, from any thread.
KxAssertReporter KxSetAssertReporter(KxAssertReporter reporter);

// Number of failed assertions since the program started.
unsigned long KxAssertFailureCount();

#define KX_ASSERT(expression, source) \
    ((expression) ? static_cast<void>(0) : KxAssertFailed(#expression, source))
