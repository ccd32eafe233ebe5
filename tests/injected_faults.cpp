// The calls that may fail, for the tool's test build: each fails when the
// environment variable POWERFACTS_FAULT names it, and otherwise does what
// the tool's own definitions do. Where POWERFACTS_WRITE_LOG names a file,
// each write call adds to it a line with the number of bytes it was given.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fallible_calls.hpp"

namespace {

bool injected(const char* fault) {
    const char* chosen = std::getenv("POWERFACTS_FAULT");
    return chosen != nullptr && std::strcmp(chosen, fault) == 0;
}

void logWrite(std::size_t size) {
    static const int log = [] {
        const char* path = std::getenv("POWERFACTS_WRITE_LOG");
        return path != nullptr ? open(path, O_WRONLY | O_APPEND | O_CREAT, 0600) : -1;
    }();
    if (log >= 0) {
        char line[24];
        char* end = std::to_chars(line, line + sizeof line - 1, size).ptr;
        *end++ = '\n';
        const ssize_t logged = write(log, line, static_cast<std::size_t>(end - line));
        (void)logged;
    }
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

ssize_t writeOutput(const char* data, std::size_t size) {
    static unsigned calls = 0;
    ++calls;
    logWrite(size);
    // "eintr": every other call interrupted by a signal before it wrote anything.
    if (injected("eintr") && calls % 2 == 1) {
        errno = EINTR;
        return -1;
    }
    // "write-error": the third call fails, two blocks into the run.
    if (injected("write-error") && calls == 3) {
        errno = EIO;
        return -1;
    }
    // "short-writes": the kernel takes at most half of each call, as a pipe or
    // a nearly full disk may.
    if (injected("short-writes") && size > 1) {
        size /= 2;
    }
    return write(STDOUT_FILENO, data, size);
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
