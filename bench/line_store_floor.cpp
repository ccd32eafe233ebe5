// The line-store floor for the fact writer: the bytes of the text for n
// laid down as lines of the text's own lengths, each with the stores the
// writer makes for a line (putLine: whole 16-byte chunks, the next line
// overwriting what they reach past its end), into a buffer and written out.
// No digits are counted, no members found, no text made: what is left of
// the writer is its stores. The copy floor moves the same bytes with one
// memcpy a buffer, which a CPU's library does with its widest aligned
// stores; lines of 15 to 25 bytes take two unaligned stores each, and many
// of them cross a cache line. How far apart the two floors lie is the part
// of the writer's ratio to the copy floor that its stores explain on this
// CPU; the writer's ratio to this floor is what making the text adds.
//
//   line_store_floor N BYTES BUFFER_BYTES
//
// The lengths are those of the lines of 4096 subsets drawn evenly at random
// from 1 .. 2^N - 1, in ascending order, each with all its lines: the text's
// mix of subset numbers' lengths and of members, laid down over and over.
// Built with the same flags as powerfacts; bench/run gives it the copy
// floor's buffer size.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

#include "subset_lines.hpp"

namespace {

constexpr std::size_t kSampledSubsets = 4096;
// Lines laid between two checks for a full buffer, so that the loop is the
// stores and little else; the buffer keeps room past a block for as many of
// the longest lines, and the last one's stores.
constexpr std::size_t kBatch = 16;
// "I,E).\npowerSet(" is 13 bytes and the digits of I and E; at most ten
// and two of them.
constexpr std::size_t lineSize(std::uint64_t digitsOfI, std::uint64_t digitsOfE) {
    return digitsOfI + digitsOfE + 13;
}
constexpr std::size_t kShortestLine = lineSize(1, 1);
constexpr std::size_t kLongestLine = lineSize(10, 2);
constexpr std::size_t kRoom = kBatch * kLongestLine + 2 * kChunkSize;

std::size_t digitsOf(std::uint64_t value) {
    std::size_t digits = 1;
    for (; value >= 10; value /= 10) {
        ++digits;
    }
    return digits;
}

// The lengths of the sampled subsets' lines, in the text's order, padded
// to a whole number of batches. In static arrays, not vectors: with no C++
// runtime library to load, a short run starts as cheaply as the tool does.
struct LineLengths {
    unsigned char size[kSampledSubsets * kMaxElementCount + kBatch];
    std::size_t count;
};
LineLengths lengths;

void sampleLineLengths(unsigned n) {
    static std::uint64_t subsets[kSampledSubsets];
    std::uint64_t state = 0x9E3779B97F4A7C15;  // any fixed seed: the same lines every run
    for (auto& subset : subsets) {
        state = state * 6364136223846793005 + 1442695040888963407;
        subset = (state >> 32) % ((std::uint64_t{1} << n) - 1) + 1;
    }
    std::sort(std::begin(subsets), std::end(subsets));
    lengths.count = 0;
    for (const std::uint64_t subset : subsets) {
        for (unsigned j = 0; j < n; ++j) {
            if ((subset >> j) % 2 == 1) {
                lengths.size[lengths.count++] =
                    static_cast<unsigned char>(lineSize(digitsOf(subset), digitsOf(j + 1)));
            }
        }
    }
    for (std::size_t k = 0; lengths.count % kBatch != 0; ++k) {
        lengths.size[lengths.count++] = lengths.size[k];
    }
}

void writeAll(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t wrote = write(STDOUT_FILENO, data, size);
        if (wrote <= 0) {
            std::perror("line_store_floor: write");
            std::exit(1);
        }
        data += wrote;
        size -= static_cast<std::size_t>(wrote);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned n = argc == 4 ? static_cast<unsigned>(std::atoi(argv[1])) : 0;
    if (n < 1 || n > kMaxElementCount) {
        std::fputs("usage: line_store_floor N BYTES BUFFER_BYTES (N from 1 to 31)\n", stderr);
        return 2;
    }
    unsigned long long left = std::strtoull(argv[2], nullptr, 10);
    const std::size_t blockSize = std::strtoull(argv[3], nullptr, 10);
    if (blockSize < kRoom) {
        std::fprintf(stderr, "line_store_floor: BUFFER_BYTES must be %zu at least\n", kRoom);
        return 2;
    }
    sampleLineLengths(n);
    // A line of each length, as the writer lays it out: text from its first
    // byte, zeros past its end to the last chunk.
    Line<2> lines[kLongestLine + 1] = {};
    for (std::size_t size = kShortestLine; size <= kLongestLine; ++size) {
        constexpr std::string_view kTail = ",1).\npowerSet(";
        char text[2 * kChunkSize] = {};
        std::memset(text, '0', size - kTail.size());
        std::memcpy(text + size - kTail.size(), kTail.data(), kTail.size());
        std::memcpy(&lines[size].text, text, sizeof text);
        lines[size].bytes = size;
    }

    auto* buffer = static_cast<char*>(std::malloc(blockSize + kRoom));
    char* out = buffer;
    const Chunk digits{};
    for (std::size_t next = 0;;) {
        const auto laid = static_cast<std::size_t>(out - buffer);
        if (laid >= left) {
            writeAll(buffer, static_cast<std::size_t>(left));
            break;
        }
        if (laid >= blockSize) {
            writeAll(buffer, blockSize);
            left -= blockSize;
            out = std::copy(buffer + blockSize, out, buffer);
        }
        for (std::size_t k = 0; k < kBatch; ++k) {
            out = putLine(out, lines[lengths.size[next + k]], digits);
        }
        next = next + kBatch == lengths.count ? 0 : next + kBatch;
    }
    std::free(buffer);
    return 0;
}
