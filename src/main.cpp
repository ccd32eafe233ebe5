#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include "element_count.hpp"
#include "fallible_calls.hpp"
#include "power_set.hpp"

namespace {

// Usage problems go to standard output with status 255: scripts written
// against earlier versions of the tool look for them there.
constexpr int kUsageStatus = -1;
constexpr int kFailureStatus = 1;

int fail(const char* message, const char* reason = nullptr) {
    if (reason != nullptr) {
        std::fprintf(stderr, "%s: %s\n", message, reason);
    } else {
        std::fprintf(stderr, "%s\n", message);
    }
    return kFailureStatus;
}

}  // namespace

int main(int argc, char** argv) {
    // The writer hands stdio whole blocks of its own. Through a buffered
    // stream glibc would first top up its small buffer from each block and
    // write every block in two calls, a sixth of the time at n = 27.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc != 2) {
        std::fputs(argc > 2 ? "Too many arguments supplied. Only one argument expected: number of "
                              "elements.\n"
                            : "One argument expected: number of elements.\n",
                   stdout);
        return kUsageStatus;
    }
    const auto count = readElementCount(argv[1]);
    if (!count) {
        return fail("Number of elements must be between 0 and 31.");
    }
    const auto n = static_cast<std::size_t>(*count);
    // malloc rather than a container: nothing here can throw, and with
    // libstdc++ the tool loads no C++ runtime library at start-up, which is
    // most of the time a small count takes (libc++ keeps to_chars' helpers in
    // its shared library, so there it is loaded all the same).
    std::int32_t* const elements = allocateElements(n);
    if (elements == nullptr && n != 0) {
        return fail("Out of memory.");
    }
    std::iota(elements, elements + n, 1);
    printPowerSet(elements, *count);
    // The writer stops at the first failed write with errno as that write
    // left it; read it before anything else can change it. Closing stdout
    // catches what only shows at close (say, on a network file system), so a
    // truncated file never ends with status 0.
    int writeError = 0;
    if (std::ferror(stdout) != 0) {
        writeError = errno != 0 ? errno : EIO;
    }
    std::free(elements);
    if (writeError == 0 && closeOutput() != 0) {
        writeError = errno != 0 ? errno : EIO;
    }
    if (writeError != 0) {
        return fail("Error writing output", std::strerror(writeError));
    }
    return 0;
}
