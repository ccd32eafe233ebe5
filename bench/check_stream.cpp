// Checks, byte for byte, a whole fact text read from standard input against
// the definition, for counts too large to hold in memory (n = 31 is 806 GB):
// the text is made here again, a piece at a time, in the plainest way that
// keeps pace, and each piece compared with what was read.
//
//   powerfacts N | check_stream N
//
// Prints the bytes checked and exits 0 when the two agree to the last byte;
// otherwise says where they first part and exits 1.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 20;

// Reads up to `size` bytes, fewer only at the end of the input.
std::size_t readFully(char* data, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = read(STDIN_FILENO, data + got, size - got);
        if (n < 0) {
            std::perror("check_stream: read");
            std::exit(2);
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return got;
}

std::string_view lineAround(std::string_view text, std::size_t at) {
    const std::size_t start = at == 0 ? 0 : text.rfind('\n', at - 1) + 1;
    const std::size_t end = std::min(text.find('\n', at), start + 80);
    return text.substr(start, end - start);
}

class Checker {
public:
    // Compares what `expected` holds with as many bytes of input; exits at
    // the first difference.
    void compare(std::string& expected) {
        const std::size_t got = readFully(input_.data(), expected.size());
        const std::string_view read(input_.data(), got);
        const auto [at, unused] =
            std::mismatch(read.begin(), read.end(), expected.begin(), expected.end());
        if (at != read.end() || got != expected.size()) {
            const auto offset = static_cast<std::size_t>(at - read.begin());
            const auto line = lines_ + static_cast<unsigned long long>(std::count(
                                           expected.data(), expected.data() + offset, '\n'));
            std::printf("parts at byte %llu, line %llu: read \"%.*s\", want \"%.*s\"%s\n",
                        checked_ + offset, line + 1,
                        static_cast<int>(lineAround(read, offset).size()),
                        lineAround(read, offset).data(),
                        static_cast<int>(lineAround(expected, offset).size()),
                        lineAround(expected, offset).data(),
                        got < expected.size() ? " (the input ends there)" : "");
            std::exit(1);
        }
        checked_ += got;
        lines_ +=
            static_cast<unsigned long long>(std::count(expected.begin(), expected.end(), '\n'));
        expected.clear();
    }

    void finish() const {
        char extra = 0;
        if (readFully(&extra, 1) != 0) {
            std::printf("the input goes on past the %llu bytes of the text\n", checked_);
            std::exit(1);
        }
    }

    unsigned long long checked() const { return checked_; }

private:
    std::string input_ = std::string(kPiece + 4096, '\0');
    unsigned long long checked_ = 0;
    unsigned long long lines_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::atoi(argv[1]) < 0 || std::atoi(argv[1]) > 31) {
        std::fputs("usage: powerfacts N | check_stream N   (N from 0 to 31)\n", stderr);
        return 2;
    }
    const int n = std::atoi(argv[1]);
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t last = (std::uint64_t{1} << n) - 1;
    std::string expected =
        "#const n = " + std::to_string(n) + ".\n#const p = " + std::to_string(last) + ".\n";
    expected.reserve(kPiece + 4096);
    Checker checker;
    // Element j + 1 for bit j, with the line's end.
    std::string elements[31];
    for (int j = 0; j < n; ++j) {
        elements[j] = "," + std::to_string(j + 1) + ").\n";
    }
    for (std::uint64_t i = 1; i <= last; ++i) {
        char digits[24];
        const std::size_t size =
            static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, i).ptr - digits);
        for (int j = 0; j < n; ++j) {
            if ((i >> j & 1) != 0) {
                expected.append("powerSet(", 9).append(digits, size).append(elements[j]);
            }
        }
        if (expected.size() >= kPiece) {
            checker.compare(expected);
        }
    }
    checker.compare(expected);
    checker.finish();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%llu bytes, all as defined (%.1f s)\n", checker.checked(), took.count());
    return 0;
}
