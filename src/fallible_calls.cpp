#include "fallible_calls.hpp"

#include <sys/select.h>
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

std::optional<std::chrono::nanoseconds> monotonicNow() { return readClock(); }
