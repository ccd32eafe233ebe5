// How the writer is fast.
//
// The text is nothing but lines "powerSet(I,E).\n", regular enough to be
// copied rather than formatted:
// - Seen from the digits of I, a line is I followed by ",E).\npowerSet(":
//   the element's tail with the next line's head already attached. Each
//   element's tail is formatted once, up front (at most 31 of them), and the
//   buffer always ends in one spare "powerSet(" that the next line takes over
//   and a flush holds back.
// - I grows by one from subset to subset, so it is counted as decimal text
//   (SubsetNumber), mostly in registers, and never converted.
// - The members of subset I are its set bits, visited by clearing the lowest
//   one at a time, so the work is per line written, not per bit tested.
// A line is then three stores of a fixed size (two words of digits, one tail)
// and one addition of its precomputed length. The fixed-size copies write past
// the line's true end; the next line's stores overwrite those bytes, and the
// buffer keeps room for them at its end. Fixed sizes compile to plain moves:
// 16 bytes of tail cover elements of up to three characters (-99 to 999),
// other elements take a 32-byte variant of the same loop.
//
// Full buffers go out with fwrite in large blocks. At the first failed write
// the writer returns, leaving the error to the caller through ferror(stdout)
// and errno. Memory is the one fixed buffer, whatever n is; if it cannot be
// had, a small one on the stack gives the same text, only more slowly.

#include "power_set.hpp"

#include "fallible_calls.hpp"
#include "subset_number.hpp"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view kFactHead = "powerSet(";
constexpr std::size_t kMaxElements = 31;
constexpr std::size_t kBufferSize = std::size_t{1} << 18;
constexpr std::size_t kFallbackBufferSize = 4096;

// What one subset can add to the buffer, the copies' overshoot included.
constexpr std::size_t maxSubsetBytes(std::size_t tailCopy) {
    return kMaxElements * (SubsetNumber::kStoreSize + tailCopy);
}
static_assert(kBufferSize >= 2 * maxSubsetBytes(32) &&
                  kFallbackBufferSize >= 2 * maxSubsetBytes(32),
              "each buffer must hold the headers and the longest subset");

// The elements whose tail takes the 16-byte copy.
constexpr std::int32_t kShortTailMin = -99;
constexpr std::int32_t kShortTailMax = 999;

// The length of ",E).\npowerSet(", E included.
constexpr std::size_t tailSize(std::int32_t element) {
    std::size_t characters = element < 0 ? 2 : 1;
    for (std::int64_t rest = element < 0 ? -std::int64_t{element} : element; rest >= 10;
         rest /= 10) {
        ++characters;
    }
    return characters + 4 + kFactHead.size();
}
static_assert(tailSize(kShortTailMin) <= 16 && tailSize(kShortTailMax) <= 16,
              "the short tails must fit the 16-byte copy");
static_assert(tailSize(INT32_MIN) <= 32 && tailSize(INT32_MAX) <= 32,
              "every tail must fit the 32-byte copy");

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

// Writes the facts of subsets 1 .. subsets-1 after the `used` bytes already in
// the buffer; returns false at the first failed write.
template <std::size_t kTailCopy>
bool writeFacts(const std::int32_t* elements, std::int32_t n, std::uint32_t subsets, char* begin,
                std::size_t capacity, std::size_t used) {
    char tails[kMaxElements][kTailCopy];
    std::size_t tailSizes[kMaxElements];
    for (std::int32_t j = 0; j < n; ++j) {
        char* end = tails[j];
        *end++ = ',';
        end = std::to_chars(end, tails[j] + kTailCopy, elements[j]).ptr;
        end = std::copy_n(").\n", 3, end);
        end = std::copy(kFactHead.begin(), kFactHead.end(), end);
        tailSizes[j] = static_cast<std::size_t>(end - tails[j]);
    }

    SubsetNumber number;
    std::size_t lineSizes[kMaxElements];
    const auto sizeLines = [&] {
        for (std::int32_t j = 0; j < n; ++j) {
            lineSizes[j] = number.size() + tailSizes[j];
        }
    };
    sizeLines();

    char* const flushAt = begin + capacity - maxSubsetBytes(kTailCopy);
    char* out = std::copy(kFactHead.begin(), kFactHead.end(), begin + used);

    for (std::uint32_t i = 1; i < subsets; ++i) {
        if (number.increment()) {
            sizeLines();
        }
        if (out > flushAt) {
            // Hold back the spare head; it starts the next buffer.
            const auto size = static_cast<std::size_t>(out - begin) - kFactHead.size();
            if (!writeAll(begin, size)) {
                return false;
            }
            out = std::copy(kFactHead.begin(), kFactHead.end(), begin);
        }
        for (std::uint32_t members = i; members != 0; members &= members - 1) {
            const int j = std::countr_zero(members);
            number.store(out);
            std::memcpy(out + number.size(), tails[j], kTailCopy);
            out += lineSizes[j];
        }
    }
    return writeAll(begin, static_cast<std::size_t>(out - begin) - kFactHead.size());
}

}  // namespace

void printPowerSet(const std::int32_t* elements, std::int32_t n) {
    if (n < 0 || n > static_cast<std::int32_t>(kMaxElements)) {
        return;
    }
    const std::uint32_t subsets = std::uint32_t{1} << n;

    // malloc, not new: nothing here throws or needs the C++ runtime's
    // allocator. (With libstdc++ the tool then loads no C++ runtime library at
    // all; with libc++ it still does, for to_chars' helpers.)
    char* const allocated = allocateOutputBuffer(kBufferSize);
    char fallback[kFallbackBufferSize];
    char* const begin = allocated != nullptr ? allocated : fallback;
    const std::size_t capacity = allocated != nullptr ? kBufferSize : sizeof fallback;

    char* out = putConstant(begin, 'n', n);
    out = putConstant(out, 'p', subsets - 1);
    const auto used = static_cast<std::size_t>(out - begin);

    // ",E).\npowerSet(" fits 16 bytes while E has at most three characters.
    const bool shortTails = std::all_of(elements, elements + n, [](std::int32_t e) {
        return e >= kShortTailMin && e <= kShortTailMax;
    });
    const bool written = shortTails ? writeFacts<16>(elements, n, subsets, begin, capacity, used)
                                    : writeFacts<32>(elements, n, subsets, begin, capacity, used);
    // The caller reads the failed write's reason from errno, and only recent
    // POSIX promises that free leaves errno alone.
    const int writeErrno = errno;
    std::free(allocated);
    errno = writeErrno;
    if (written) {
        std::fflush(stdout);
    }
}
