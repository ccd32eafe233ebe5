#pragma once

#include <sys/types.h>
#include <time.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

// The C library calls whose failures the tool must survive, behind functions
// of its own: a test build links other definitions that make each of them
// fail on demand and record what they were given, so that the paths taken
// only when memory is short, a write is cut short or the output cannot be
// closed are run by the tests too. The clock is one of them: the block sizes
// follow its readings, and a test build that makes them up, moving time on
// with each write as a modelled reader would, sees the sizes the tool then
// chooses, the same on every host.
//
// Memory comes from malloc, not new: nothing in the tool throws or needs the
// C++ runtime's allocator, and with libstdc++ the tool then loads no C++
// runtime library at start-up, which is most of the time a small count takes.
// (libc++ keeps to_chars' helpers in its shared library, so there it is
// loaded all the same.)

// malloc of `count` elements, for the element array; may return null, also
// for a count of 0, as malloc(0) may.
std::int32_t* allocateElements(std::size_t count);

// malloc of the writer's output buffer; may return null.
char* allocateOutputBuffer(std::size_t size);

// write(2) to standard output: the bytes taken, which may be fewer than
// `size`, or -1 with errno set (EINTR among the reasons).
ssize_t writeOutput(const char* data, std::size_t size);

// Waits in the kernel until standard output can take more, as after a write
// to a non-blocking output that found it full: 0, or -1 with errno set
// (EINTR among the reasons). select(2), not poll(2): Darwin's poll answers
// POLLNVAL for terminals and other devices, and select waits on descriptor 1
// on every POSIX system.
int waitForOutput();

// fclose(stdout): 0, or EOF with errno set.
int closeOutput();

// The time on a clock that only goes forward, in nanoseconds, as the block
// sizer reads it; nothing where the clock cannot be read. A test build may
// make the readings up (see above); otherwise they are readClock()'s.
std::optional<std::chrono::nanoseconds> monotonicNow();

// The clock itself, read through clock_gettime(2), because
// std::chrono::steady_clock::now() lives in libstdc++'s shared library, which
// the tool otherwise never loads. On Darwin it reads CLOCK_UPTIME_RAW
// (mach_absolute_time): Darwin computes CLOCK_MONOTONIC from gettimeofday less
// the boot time, which has microseconds only and follows the wall clock's
// adjustments, while the sizer's first windows last tens of microseconds.
// Elsewhere it reads CLOCK_MONOTONIC, which POSIX defines so. Defined here,
// once, so that the test build's clock is the tool's wherever it does not
// model one.
inline std::optional<std::chrono::nanoseconds> readClock() {
#if defined(__APPLE__)
    constexpr clockid_t kClock = CLOCK_UPTIME_RAW;
#else
    constexpr clockid_t kClock = CLOCK_MONOTONIC;
#endif
    timespec time{};
    if (clock_gettime(kClock, &time) != 0) {
        return std::nullopt;
    }
    return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
}
