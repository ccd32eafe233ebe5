#include "fallible_calls.hpp"

#include <sys/select.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

std::int32_t* allocateElements(std::size_t count) {
    return static_cast<std::int32_t*>(std::malloc(count * sizeof(std::int32_t)));
}

char* allocateOutputBuffer(std::size_t size) { return static_cast<char*>(std::malloc(size)); }

ssize_t writeOutput(const char* data, std::size_t size) { return write(STDOUT_FILENO, data, size); }

int waitForOutput() {
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(STDOUT_FILENO, &writable);
    return select(STDOUT_FILENO + 1, nullptr, &writable, nullptr, nullptr) < 0 ? -1 : 0;
}

int closeOutput() { return std::fclose(stdout); }

std::optional<std::chrono::nanoseconds> monotonicNow() {
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
