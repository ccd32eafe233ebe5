#include "fallible_calls.hpp"

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

std::int32_t* allocateElements(std::size_t count) {
    return static_cast<std::int32_t*>(std::malloc(count * sizeof(std::int32_t)));
}

char* allocateOutputBuffer(std::size_t size) { return static_cast<char*>(std::malloc(size)); }

ssize_t writeOutput(const char* data, std::size_t size) { return write(STDOUT_FILENO, data, size); }

int closeOutput() { return std::fclose(stdout); }

std::chrono::nanoseconds monotonicNow() {
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
}
