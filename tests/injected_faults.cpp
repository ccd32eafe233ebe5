// The calls that may fail, for the tool's test build: each fails when the
// environment variable POWERFACTS_FAULT names it, and otherwise does what
// the tool's own definitions do.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fallible_calls.hpp"

namespace {

bool injected(const char* fault) {
    const char* chosen = std::getenv("POWERFACTS_FAULT");
    return chosen != nullptr && std::strcmp(chosen, fault) == 0;
}

}  // namespace

std::int32_t* allocateElements(std::size_t count) {
    // "malloc-0-null": malloc(0) returning null, as C allows.
    if (injected("no-memory") || (count == 0 && injected("malloc-0-null"))) {
        return nullptr;
    }
    return static_cast<std::int32_t*>(std::malloc(count * sizeof(std::int32_t)));
}

char* allocateOutputBuffer(std::size_t size) {
    return injected("no-buffer") ? nullptr : static_cast<char*>(std::malloc(size));
}

int closeOutput() {
    const int status = std::fclose(stdout);
    // As a file system that only finds out at close that the disk is full.
    if (status == 0 && injected("close")) {
        errno = ENOSPC;
        return EOF;
    }
    return status;
}
