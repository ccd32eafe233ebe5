// How the writer is fast.
//
// The text is nothing but lines "powerSet(I,E).\n", and it is regular enough
// to be copied rather than formatted:
// - I grows by one from subset to subset, so the line head "powerSet(I" is
//   kept as text and its decimal digits are incremented in place, the way
//   seq counts, instead of being converted for every line;
// - what follows I, ",E).\n", depends only on the element, so it is
//   formatted once per element, up front (at most 31 of them, 16 bytes each);
// - the members of subset I are its set bits, visited by clearing the lowest
//   one at a time, so the work is per line written, not per bit tested.
// A line is then two copies of a fixed size into the output buffer, the head
// and the element's tail, each followed by moving on by its true length.
// Fixed sizes compile to a few plain vector stores; the bytes they write past
// the true length are overwritten by the next copy, and the buffer keeps
// room for them at its end. Full buffers go out with fwrite in large blocks;
// at the first failed write the function returns, leaving the error to the
// caller through ferror(stdout) and errno. Memory is the one fixed buffer,
// whatever n is.

#include "power_set.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

constexpr std::string_view kFactHead = "powerSet(";
// Bytes copied for a line head: "powerSet(" and up to 10 digits fit.
constexpr std::size_t kHeadCopy = 24;
// Bytes copied for a tail: ",-2147483648).\n" is the longest, 15 bytes.
constexpr std::size_t kTailCopy = 16;
constexpr std::size_t kMaxElements = 31;
// What one subset can add to the buffer, copies' overshoot included.
constexpr std::size_t kMaxSubsetBytes = kMaxElements * (kHeadCopy + kTailCopy);
constexpr std::size_t kBufferSize = std::size_t{1} << 18;

struct Tail {
    char text[kTailCopy];
    std::size_t size;
};

bool writeAll(const char* data, std::size_t size) {
    return std::fwrite(data, 1, size, stdout) == size;
}

// Writes "#const NAME = VALUE.\n" at `out`; returns the end.
char* putConstant(char* out, char name, long long value) {
    constexpr std::string_view kConst = "#const ";
    out = std::copy(kConst.begin(), kConst.end(), out);
    *out++ = name;
    out = std::copy_n(" = ", 3, out);
    out = std::to_chars(out, out + 20, value).ptr;
    return std::copy_n(".\n", 2, out);
}

// Adds one to the decimal number that ends the head text and follows "(".
void incrementHead(char* head, std::size_t& size) {
    char* digit = head + size - 1;
    while (*digit == '9') {
        *digit-- = '0';
    }
    if (*digit == '(') {  // it was all nines: one more digit
        digit[1] = '1';
        head[size++] = '0';
    } else {
        ++*digit;
    }
}

}  // namespace

void printPowerSet(const std::int32_t* elements, std::int32_t n) {
    if (n < 0 || n > static_cast<std::int32_t>(kMaxElements)) {
        return;
    }
    const std::uint32_t subsets = std::uint32_t{1} << n;

    Tail tails[kMaxElements];
    for (std::int32_t j = 0; j < n; ++j) {
        Tail& tail = tails[j];
        tail.text[0] = ',';
        char* end = std::to_chars(tail.text + 1, tail.text + kTailCopy, elements[j]).ptr;
        end = std::copy_n(").\n", 3, end);
        tail.size = static_cast<std::size_t>(end - tail.text);
    }

    char head[kHeadCopy + 8] = {};
    std::copy(kFactHead.begin(), kFactHead.end(), head);
    head[kFactHead.size()] = '0';
    std::size_t headSize = kFactHead.size() + 1;

    const auto buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    char* const begin = buffer.get();
    char* const flushAt = begin + kBufferSize - kMaxSubsetBytes;
    char* out = putConstant(begin, 'n', n);
    out = putConstant(out, 'p', subsets - 1);

    for (std::uint32_t i = 1; i < subsets; ++i) {
        incrementHead(head, headSize);
        if (out > flushAt) {
            if (!writeAll(begin, static_cast<std::size_t>(out - begin))) {
                return;
            }
            out = begin;
        }
        for (std::uint32_t members = i; members != 0; members &= members - 1) {
            const Tail& tail = tails[std::countr_zero(members)];
            std::memcpy(out, head, kHeadCopy);
            out += headSize;
            std::memcpy(out, tail.text, kTailCopy);
            out += tail.size;
        }
    }
    if (writeAll(begin, static_cast<std::size_t>(out - begin))) {
        std::fflush(stdout);
    }
}
