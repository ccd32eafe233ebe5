#include "power_set.hpp"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

// Longest line: "powerSet(" + 10 index digits + "," + 11 element chars + ").\n".
constexpr std::size_t kMaxLine = 9 + 10 + 1 + 11 + 3;
constexpr std::size_t kBufferSize = std::size_t{1} << 17;

char* put(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

char* putNumber(char* out, long long value) {
    return std::to_chars(out, out + 20, value).ptr;
}

bool writeAll(const char* data, std::size_t size) {
    return std::fwrite(data, 1, size, stdout) == size;
}

}  // namespace

void printPowerSet(const std::int32_t* elements, std::int32_t n) {
    if (n < 0 || n > 31) {
        return;
    }
    const std::uint32_t subsets = std::uint32_t{1} << n;

    const auto buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    char* const begin = buffer.get();
    char* const flushAt = begin + kBufferSize - kMaxLine;
    char* out = begin;

    out = putNumber(put(out, "#const n = "), n);
    out = put(out, ".\n");
    out = putNumber(put(out, "#const p = "), subsets - 1);
    out = put(out, ".\n");

    for (std::uint32_t i = 1; i < subsets; ++i) {
        for (std::int32_t j = 0; j < n; ++j) {
            if ((i >> j & 1U) == 0) {
                continue;
            }
            out = putNumber(put(out, "powerSet("), i);
            out = putNumber(put(out, ","), elements[j]);
            out = put(out, ").\n");
            if (out >= flushAt) {
                if (!writeAll(begin, static_cast<std::size_t>(out - begin))) {
                    return;
                }
                out = begin;
            }
        }
    }
    if (writeAll(begin, static_cast<std::size_t>(out - begin))) {
        std::fflush(stdout);
    }
}
