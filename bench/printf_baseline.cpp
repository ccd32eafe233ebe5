// The yardstick for the fact writer: the same text, written the plain way,
// one printf call per line. Built with the same flags as powerfacts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: printf_baseline N\n", stderr);
        return 2;
    }
    const int n = std::atoi(argv[1]);
    if (n < 0 || n > 31) {
        std::fputs("N must be between 0 and 31\n", stderr);
        return 2;
    }
    const std::uint32_t subsets = std::uint32_t{1} << n;
    std::printf("#const n = %d.\n", n);
    std::printf("#const p = %u.\n", subsets - 1);
    for (std::uint32_t i = 1; i < subsets; ++i) {
        for (int j = 0; j < n; ++j) {
            if ((i >> j & 1U) != 0) {
                std::printf("powerSet(%u,%d).\n", i, j + 1);
            }
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
