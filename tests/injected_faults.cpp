// The calls that may fail, for the tool's test build, and for the tests that
// call the writer in their own process. POWERFACTS_FAULT names the faults,
// separated by commas; a call none of them names does what the tool's own
// definition does. Where POWERFACTS_WRITE_LOG names a file, each write call
// adds to it a line with the number of bytes it was given. Where
// POWERFACTS_DRAIN gives rates, the clock is a modelled one (see below).
//
// The faults:
//   no-memory        no memory for the element array
//   malloc-0-null    malloc(0) returns null, as C allows
//   no-buffer        no memory for the output buffer
//   close            the close of standard output fails (ENOSPC)
//   eintr            every other write is interrupted before it writes
//   short-writes     every write takes at most half of what it is given
//   write-error@K    write call K (from 1) fails with EIO
//   write-nothing@K  write call K takes nothing, as no write should
//   short-write@K    write call K takes half of what it is given
//   full@K           write call K finds a non-blocking output full (EAGAIN),
//                    and so does every write after it until a wait for room
//                    succeeds: a write tried again without one aborts
//   wait-eintr       every wait for room is interrupted once before it waits
//   wait-error       every wait for room fails (ENOMEM, as select(2) may)
//   clock-error      every third reading of the clock fails
#include <fcntl.h>
#include <sys/select.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "fallible_calls.hpp"
#include "injected_faults.hpp"

namespace {

// Whether POWERFACTS_FAULT names `fault`; with `call`, `fault@call`.
bool injected(std::string_view fault, unsigned call = 0) {
    const char* chosen = std::getenv("POWERFACTS_FAULT");
    for (std::string_view rest = chosen != nullptr ? chosen : ""; !rest.empty();) {
        const std::string_view name = rest.substr(0, rest.find(','));
        rest.remove_prefix(std::min(rest.size(), name.size() + 1));
        const std::string_view kind = name.substr(0, name.find('@'));
        unsigned at = 0;
        if (kind.size() < name.size()) {
            std::from_chars(name.data() + kind.size() + 1, name.data() + name.size(), at);
        }
        if (kind == fault && at == call) {
            return true;
        }
    }
    return false;
}

// Opened for each write, so that a test in this process can name a log of
// its own for each call of the writer.
void logWrite(std::size_t size) {
    const char* path = std::getenv("POWERFACTS_WRITE_LOG");
    const int log = path != nullptr ? open(path, O_WRONLY | O_APPEND | O_CREAT, 0600) : -1;
    if (log >= 0) {
        char line[24];
        char* end = std::to_chars(line, line + sizeof line - 1, size).ptr;
        *end++ = '\n';
        const ssize_t logged = write(log, line, static_cast<std::size_t>(end - line));
        (void)logged;
        close(log);
    }
}

// The modelled reader: POWERFACTS_DRAIN lists the rates, in bytes per
// microsecond, at which it drains writes of 4 KiB, 8 KiB, 16 KiB and so on
// (smaller writes at the first rate, larger ones at the last). The clock
// then stands still but for the writes, each moving it on by as long as the
// reader takes to drain it: the block sizes the tool chooses depend on
// nothing but the rates.
struct Drain {
    unsigned rates[16] = {};
    unsigned count = 0;
    std::chrono::nanoseconds now{0};
};

Drain& drain() {
    static Drain model = [] {
        Drain parsed;
        const char* text = std::getenv("POWERFACTS_DRAIN");
        for (const char* at = text != nullptr ? text : ""; *at != '\0' && parsed.count < 16;) {
            const auto [end, error] =
                std::from_chars(at, at + std::strlen(at), parsed.rates[parsed.count]);
            if (error != std::errc() || parsed.rates[parsed.count] == 0) {
                std::fputs("POWERFACTS_DRAIN: rates must be positive whole numbers\n", stderr);
                std::abort();
            }
            ++parsed.count;
            at = *end == ',' ? end + 1 : end;
        }
        return parsed;
    }();
    return model;
}

void drainWrite(std::size_t size) {
    Drain& model = drain();
    if (model.count > 0) {
        const auto step = static_cast<unsigned>(std::bit_width((size - 1) >> 12));
        const unsigned rate = model.rates[std::min(step, model.count - 1)];
        model.now += std::chrono::nanoseconds(size * 1000 / rate);
    }
}

// Whether the output is full, as full@K left it, until a wait for room.
bool outputFull = false;

// The write calls so far, which write-error@K and the other @K faults count.
unsigned writeCalls = 0;

}  // namespace

std::int32_t* allocateElements(std::size_t count) {
    if (injected("no-memory") || (count == 0 && injected("malloc-0-null"))) {
        return nullptr;
    }
    return static_cast<std::int32_t*>(std::malloc(count * sizeof(std::int32_t)));
}

char* allocateOutputBuffer(std::size_t size) {
    return injected("no-buffer") ? nullptr : static_cast<char*>(std::malloc(size));
}

InjectedFaults::InjectedFaults(const std::string& faults) {
    setenv("POWERFACTS_FAULT", faults.c_str(), 1);
    writeCalls = 0;
    outputFull = false;
}

InjectedFaults::~InjectedFaults() {
    unsetenv("POWERFACTS_FAULT");
    outputFull = false;
}

ssize_t writeOutput(const char* data, std::size_t size) {
    const unsigned calls = ++writeCalls;
    logWrite(size);
    if (outputFull) {
        // A loop around EAGAIN would spin on the CPU for as long as the
        // reader takes: the tool must wait in the kernel first.
        std::fputs("full@K: a write was tried again without waiting for room\n", stderr);
        std::abort();
    }
    if (injected("full", calls)) {
        outputFull = true;
        errno = EAGAIN;
        return -1;
    }
    if (injected("eintr") && calls % 2 == 1) {
        errno = EINTR;
        return -1;
    }
    if (injected("write-error", calls)) {
        errno = EIO;
        return -1;
    }
    if (injected("write-nothing", calls)) {
        return 0;
    }
    if ((injected("short-writes") || injected("short-write", calls)) && size > 1) {
        size /= 2;
    }
    const ssize_t taken = write(STDOUT_FILENO, data, size);
    if (taken > 0) {
        drainWrite(static_cast<std::size_t>(taken));
    }
    return taken;
}

int waitForOutput() {
    static bool interrupted = false;
    if (injected("wait-eintr") && !interrupted) {
        interrupted = true;
        errno = EINTR;
        return -1;
    }
    interrupted = false;
    if (injected("wait-error")) {
        errno = ENOMEM;
        return -1;
    }
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(STDOUT_FILENO, &writable);
    if (select(STDOUT_FILENO + 1, nullptr, &writable, nullptr, nullptr) < 0) {
        return -1;
    }
    outputFull = false;
    return 0;
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

std::optional<std::chrono::nanoseconds> monotonicNow() {
    static unsigned readings = 0;
    if (injected("clock-error") && ++readings % 3 == 0) {
        return std::nullopt;
    }
    if (drain().count > 0) {
        return drain().now;
    }
    return readClock();
}
