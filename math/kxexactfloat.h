// Stops at compile time a build whose floating-point arithmetic would not
// round as the renderer's must: every operation rounded once, to its type,
// in program order. Every public header includes this one, so a program's
// own translation units are checked too: the headers' inline arithmetic is
// compiled there.
//
// Fused multiply-adds (-ffp-contract=fast, and clang's default "on") leave
// no trace a header can test; the CMake targets and the pkg-config file pass
// -ffp-contract=off for that.
#pragma once

#include <cfloat>

// The x87 unit keeps intermediates in 80 bits and rounds them when it likes.
#if (defined(__i386__) || defined(__x86_64__)) && !defined(__SSE2_MATH__) && !defined(_MSC_VER)
#error "x87 floating-point arithmetic cannot give this renderer's results: compile with -msse2 -mfpmath=sse"
#endif
#if defined(_M_IX86) && (!defined(_M_IX86_FP) || _M_IX86_FP < 2)
#error "x87 floating-point arithmetic cannot give this renderer's results: compile with /arch:SSE2 or later"
#endif

// Float and double operations evaluated in a wider type, or in one the
// compiler picks (-mfpmath=both).
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD != 0
#error "FLT_EVAL_METHOD is not 0 (arithmetic in a wider type): on x86 compile with -msse2 -mfpmath=sse"
#endif

// -ffast-math and -Ofast, and the parts of them that change values:
// reassociation, reciprocals instead of divisions, NaN and infinity assumed
// away, the sign of zero ignored.
#if defined(__FAST_MATH__) || defined(_M_FP_FAST)
#error "fast floating-point math (-ffast-math, -Ofast, /fp:fast) changes this renderer's results: leave it off"
#endif
#if defined(__ASSOCIATIVE_MATH__) || defined(__RECIPROCAL_MATH__) || defined(__NO_SIGNED_ZEROS__) || \
    (defined(__FINITE_MATH_ONLY__) && __FINITE_MATH_ONLY__)
#error "-fassociative-math, -freciprocal-math, -fno-signed-zeros, -ffinite-math-only change the results: leave them off"
#endif
#if defined(_M_FP_CONTRACT)
#error "/fp:contract fuses multiplies and adds and changes this renderer's results: leave it off"
#endif
