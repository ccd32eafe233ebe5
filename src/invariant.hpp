#pragma once

// POWERFACTS_ASSERT(condition, message) checks an invariant that memory
// safety rests on but that only the control flow keeps, where the code relies
// on it, as fmtlib's FMT_ASSERT does. It is on in every build with the tests
// (CMake defines POWERFACTS_ASSERTIONS there: the plain, sanitizer, libc++,
// cross and macOS builds) and in any build without NDEBUG; the release build
// compiles it out, condition and all. None stands in a loop that runs once a
// line. A failed check names its place and the invariant on standard error
// and aborts, before anything is read or stored out of bounds.

#if defined(POWERFACTS_ASSERTIONS) || !defined(NDEBUG)
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void powerfactsAssertFailed(const char* file, int line, const char* message) {
    std::fprintf(stderr, "%s:%d: assertion failed: %s\n", file, line, message);
    std::abort();
}

#define POWERFACTS_ASSERT(condition, message) \
    ((condition) ? (void)0 : powerfactsAssertFailed(__FILE__, __LINE__, (message)))
#else
// Unevaluated, but still compiled, so that a check cannot rot in release.
#define POWERFACTS_ASSERT(condition, message) ((void)sizeof((condition) ? 1 : 0), (void)(message))
#endif
