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
    std::int32_t* const elements = allocateElements(n);
    if (elements == nullptr && n != 0) {
        return fail("Out of memory.");
    }
    std::iota(elements, elements + n, 1);
    int writeError = printPowerSet(elements, *count);
    std::free(elements);
    // Closing stdout catches what only shows at close (say, on a network file
    // system), so a truncated file never ends with status 0.
    if (writeError == 0 && closeOutput() != 0) {
        writeError = errno != 0 ? errno : EIO;
    }
    if (writeError != 0) {
        return fail("Error writing output", std::strerror(writeError));
    }
    return 0;
}
