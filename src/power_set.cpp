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
// - Each element's tail is kept shifted past the digits, as 16-byte Chunks
//   with zeros where the digits go, and laid out anew only when the number
//   of digits changes (nine times in all).
// - Subsets 4m to 4m + 3 differ only in the first two elements, and their
//   numbers, from 12 on, have as many digits (10^k is a multiple of four
//   for k >= 2). Their other members, the set bits of 4m from bit 2 up, are
//   kept as a list of laid-out lines that changes by one line from group to
//   group (GroupLines, subset_lines.hpp), so no subset's members are ever
//   searched for, and the list's update, the block check and the digit
//   steps are paid once for four subsets.
// A line is then one OR of the digits into the first chunk, two 16-byte
// stores, and one addition of its precomputed length, and a group is
// written in one walk along the list, each line loaded once and stored for
// all four subsets (putGroup): stores are what bounds the writer, and every
// instruction around them counts on one CPU, where the reader waits for the
// writer. The fixed-size stores write past the line's true end; the next
// line overwrites those bytes, and the buffer keeps room for them at its
// end. 16 bytes of tail cover elements of up to three characters (-99 to
// 999), the digits and tail 26 bytes at most; other elements take a
// three-chunk variant of the same lines, one subset at a time, as do the
// groups at a range's ends and those that would not end by a block's end.
//
// Blocks go to BlockOutput (block_output.hpp), which writes each one whole
// and picks their size. Memory is the one fixed buffer, whatever n is; if it
// cannot be had, a small one on the stack gives the same text, only more
// slowly.

#include "power_set.hpp"
#include "print_subsets.hpp"

#include "block_output.hpp"
#include "fallible_calls.hpp"
#include "subset_lines.hpp"
#include "subset_number.hpp"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// Digits of the largest subset number, 2^31 - 1.
constexpr std::size_t kMaxDigits = 10;
constexpr std::size_t kFallbackBufferSize = 4096;
// The largest block printSubsets takes: far more than any test needs, and
// far from where the buffer's size would wrap.
constexpr std::size_t kLargestChosenBlock = std::size_t{1} << 30;

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

// The chunks a line is stored in when tails are copied `tailCopy` bytes at a
// time: the one the digits are OR'ed into, and the rest of the tail.
constexpr std::size_t chunksFor(std::size_t tailCopy) { return 1 + tailCopy / kChunkSize; }
static_assert(kMaxDigits + 16 <= chunksFor(16) * kChunkSize &&
                  kMaxDigits + 32 <= chunksFor(32) * kChunkSize,
              "a line's stores must hold its digits and its whole tail copy");

// The longest subset's text: all 31 elements, the longest number and tail.
constexpr std::size_t kMaxLineSize = kMaxDigits + tailSize(INT32_MIN);
constexpr std::size_t kMaxSubsetSize = kMaxElements * kMaxLineSize;
// Past each block a buffer keeps room for one subset that starts just before
// the block's end, so that a subset is never split: all its lines but the
// last, and the last one's stores whole. A flush moves what went past to the
// front.
constexpr std::size_t kSubsetRoom = kMaxSubsetSize - kMaxLineSize + chunksFor(32) * kChunkSize - 1;

// How far past its first byte the stores of a subset of 31 lines of
// `lineSize` bytes reach, each line stored as `chunks` whole chunks: the
// writer's loop, walked line by line.
constexpr std::size_t storesReach(std::size_t lineSize, std::size_t chunks) {
    std::size_t start = 0;
    std::size_t reach = 0;
    for (std::size_t line = 0; line < kMaxElements; ++line) {
        reach = std::max(reach, start + chunks * kChunkSize);
        start += lineSize;
    }
    return reach;
}
constexpr std::size_t kShortTailsReach = storesReach(
    kMaxDigits + std::max(tailSize(kShortTailMin), tailSize(kShortTailMax)), chunksFor(16));
constexpr std::size_t kLongTailsReach =
    storesReach(kMaxDigits + std::max(tailSize(INT32_MIN), tailSize(INT32_MAX)), chunksFor(32));
// A subset starts at most one byte before a block's end.
static_assert(kShortTailsReach - 1 <= kSubsetRoom,
              "the room past a block must take the longest subset of short tails");
static_assert(kLongTailsReach - 1 <= kSubsetRoom,
              "the room past a block must take the longest subset of long tails");

// Whether blocks of `blockSize` bytes can be written from a buffer of
// `bufferSize`: a block must be longer than the most a subset writes past it,
// so that after a flush the next subset starts before the block's end again
// (the first block also holds the #const lines), and the buffer must take
// what the longest subset of either kind of tail stores past the block.
constexpr bool blocksFit(std::size_t bufferSize, std::size_t blockSize) {
    return blockSize >= kMaxSubsetSize &&
           blockSize + std::max(kShortTailsReach, kLongTailsReach) - 1 <= bufferSize;
}

constexpr std::size_t kBufferSize = kLargestBlock + kSubsetRoom;
constexpr std::size_t kFallbackWriteSize = kFallbackBufferSize - kSubsetRoom;
static_assert(blocksFit(kBufferSize, kSmallestBlock) && blocksFit(kBufferSize, kLargestBlock),
              "the output buffer must take its blocks and the room past them");
static_assert(blocksFit(kFallbackBufferSize, kFallbackWriteSize),
              "the fallback buffer must take its blocks and the room past them");
constexpr std::size_t kFallbackSizes[] = {kFallbackWriteSize};

// Writes "#const NAME = VALUE.\n" at `out`; returns the end.
char* putConstant(char* out, char name, long long value) {
    constexpr std::string_view kConst = "#const ";
    out = std::copy(kConst.begin(), kConst.end(), out);
    *out++ = name;
    out = std::copy_n(" = ", 3, out);
    out = std::to_chars(out, out + 20, value).ptr;
    return std::copy_n(".\n", 2, out);
}

// Stores subsets 4m to 4m + 3 in one walk along the list of lines they
// share: each line's two chunks are loaded once and stored four times, with
// the digits of each number OR'ed in, so that four lines share the loads,
// the addition of the length and the loop's own work.
//
// The text is the list with digits[0]; the first element's line and the
// list with digits[1]; the second element's line and the list with
// digits[2]; both elements' lines and the list with digits[3]. Each line's
// stores reach up to a chunk past its end, for the line after it to
// overwrite. Within a copy of the list the walk stores the lines in order,
// so each does. The lines between the copies are stored around the walk:
// their second chunks before it, so that the walk (and the second element's
// line after the first) overwrites what those reach past; their first
// chunks after it, over what the last line of the copy before reached past
// its end. That takes every line to be a chunk long at least, so that no
// line's stores reach past the first chunk of the line after it: true of
// 16-byte tails with numbers of two digits or more (from 12 on here), and
// what the static_assert and the debug assert below check.
static_assert(2 + tailSize(0) >= kChunkSize,
              "with two digits, every line must take a chunk, as putGroup's stores assume");
inline char* putGroup(char* out, const GroupLines<2>& lines, GroupLines<2>::List list,
                      const Chunk (&digits)[4]) {
    const Line<2>& first = lines.element(0);
    const Line<2>& second = lines.element(1);
    assert(first.size >= kChunkSize && second.size >= kChunkSize);
    // Where subsets 4m + 1 .. 4m + 3 start, and how far each copy of the
    // list lies from the first.
    char* const at1 = out + list.size;
    char* const at2 = at1 + first.size + list.size;
    char* const at3 = at2 + second.size + list.size;
    const std::size_t to1 = list.size + first.size;
    const std::size_t to2 = to1 + list.size + second.size;
    const std::size_t to3 = to2 + list.size + first.size + second.size;
    std::memcpy(at1 + kChunkSize, &first.text[1], kChunkSize);
    std::memcpy(at2 + kChunkSize, &second.text[1], kChunkSize);
    std::memcpy(at3 + kChunkSize, &first.text[1], kChunkSize);
    std::memcpy(at3 + first.size + kChunkSize, &second.text[1], kChunkSize);
#pragma GCC unroll 2
    for (const Line<2>* line = list.begin; line != lines.end(); ++line) {
        assert(line->size >= kChunkSize);
        // Both chunks loaded before any store, which could alias them.
        const Chunk head = line->text[0];
        const Chunk tail = line->text[1];
        const Chunk heads[4] = {digits[0] | head, digits[1] | head, digits[2] | head,
                                digits[3] | head};
        std::memcpy(out, &heads[0], kChunkSize);
        std::memcpy(out + kChunkSize, &tail, kChunkSize);
        std::memcpy(out + to1, &heads[1], kChunkSize);
        std::memcpy(out + to1 + kChunkSize, &tail, kChunkSize);
        std::memcpy(out + to2, &heads[2], kChunkSize);
        std::memcpy(out + to2 + kChunkSize, &tail, kChunkSize);
        std::memcpy(out + to3, &heads[3], kChunkSize);
        std::memcpy(out + to3 + kChunkSize, &tail, kChunkSize);
        out += line->size;
    }
    const Chunk heads[4] = {digits[1] | first.text[0], digits[2] | second.text[0],
                            digits[3] | first.text[0], digits[3] | second.text[0]};
    std::memcpy(at1, &heads[0], kChunkSize);
    std::memcpy(at2, &heads[1], kChunkSize);
    std::memcpy(at3, &heads[2], kChunkSize);
    std::memcpy(at3 + first.size, &heads[3], kChunkSize);
    return out + to3;
}

// Writes the facts of subsets first .. subsets-1 after the `used` bytes
// already in `buffer`, in blocks as `output` sizes them; returns 0, or the
// errno of the first failed write.
template <std::size_t kTailCopy>
int writeFacts(const std::int32_t* elements, std::int32_t n, std::uint32_t first,
               std::uint32_t subsets, std::span<char> buffer, BlockOutput& output,
               std::size_t used) {
    constexpr std::size_t kChunks = chunksFor(kTailCopy);
    // Zeroed past each tail too: those bytes are copied and OR'ed with the
    // rest, and only ever overwritten or left past the text's end.
    char tails[kMaxElements][kTailCopy] = {};
    std::size_t tailSizes[kMaxElements];
    for (std::int32_t j = 0; j < n; ++j) {
        char* end = tails[j];
        *end++ = ',';
        end = std::to_chars(end, tails[j] + kTailCopy, elements[j]).ptr;
        end = std::copy_n(").\n", 3, end);
        end = std::copy(kFactHead.begin(), kFactHead.end(), end);
        tailSizes[j] = static_cast<std::size_t>(end - tails[j]);
    }

    // Subsets go in groups of four, 4m to 4m + 3, which differ only in the
    // first two elements. The lines have the digits left blank: the tails
    // shifted past them, laid out anew whenever the number of digits
    // changes, which from 12 on it does only from one group to the next
    // (10^k is a multiple of four for k >= 2).
    std::uint32_t base = first & ~std::uint32_t{3};
    SubsetNumber number(base);
    GroupLines<kChunks> lines;
    auto list = lines.layOut(tails, tailSizes, n, number.size(), base);

    char* const begin = buffer.data();
    std::size_t block = output.size();
    assert(blocksFit(buffer.size(), block));
    char* flushAt = begin + block;
    char* out = std::copy(kFactHead.begin(), kFactHead.end(), begin + used);
    // Before each subset, or group: once past the block's end, the block
    // goes.
    const auto flushIfDue = [&] {
        if (out < flushAt) {
            return 0;
        }
        if (const int error = output.put(begin, block)) {
            return error;
        }
        // What went past, the spare head with it, starts the next block.
        out = std::copy(flushAt, out, begin);
        block = output.size();
        // The stores below run past the block by up to a subset: safe only
        // while the buffer takes the new size and that room.
        assert(blocksFit(buffer.size(), block));
        flushAt = begin + block;
        return 0;
    };

    // The subsets of the group, or what of it lies in first .. subsets-1,
    // one at a time, each after a flush if one is due. Only in the group
    // from 8 do the numbers gain a digit (10^k is a multiple of four for
    // k >= 2): there the lines are laid out for 8 and 9, then for 10 and 11.
    const auto putSingles = [&](const Chunk(&digits)[4]) {
        for (unsigned low = 0; low < 4 && base + low < subsets; ++low) {
            if (base == 8 && low % 2 == 0) {
                list = lines.layOut(tails, tailSizes, n, low < 2 ? 1 : 2, base);
            }
            if (base + low >= first) {
                if (const int error = flushIfDue()) {
                    return error;
                }
                out = putSubset(out, lines, list, low, digits[low]);
            }
        }
        return 0;
    };
    // The groups that can be stored whole: all four subsets to be written,
    // and numbers of two digits or more (from 12 on); as one unsigned
    // comparison.
    const std::uint32_t lastWhole = (subsets - 4) & ~std::uint32_t{3};
    std::uint32_t firstWhole = std::max<std::uint32_t>((first + 3) & ~std::uint32_t{3}, 12);
    std::uint32_t wholeSpan = lastWhole - firstWhole;
    if (subsets < 4 || lastWhole < firstWhole) {
        firstWhole = UINT32_MAX;  // then base - firstWhole is base + 1 > 0
        wholeSpan = 0;
    }

    while (true) {
        Chunk digits[4];
        const bool longer = number.takeFour(digits);
        // A group is stored whole only where its text ends by the block's
        // end (its last stores reach a chunk further, into the room past
        // it), so that what runs past a block is never more than a subset.
        if (kChunks == 2 && base - firstWhole <= wholeSpan &&
            out + 4 * list.size + lines.lowSize() <= flushAt) {
            if constexpr (kChunks == 2) {
                out = putGroup(out, lines, list, digits);
            }
        } else if (const int error = putSingles(digits)) {
            return error;
        }
        if (base + 4 >= subsets) {
            break;
        }
        list = longer ? lines.layOut(tails, tailSizes, n, number.size(), base + 4)
                      : lines.next(list, base);
        base += 4;
    }
    // The last subset may have run past the block's end: the block goes out
    // at its own size all the same, and what went past after it.
    char* const end = out - kFactHead.size();
    if (end > flushAt) {
        if (const int error = output.put(begin, block)) {
            return error;
        }
        return output.put(flushAt, static_cast<std::size_t>(end - flushAt));
    }
    return output.put(begin, static_cast<std::size_t>(end - begin));
}

// writeFacts with the copy that the elements' tails fit.
int writeFactsOf(const std::int32_t* elements, std::int32_t n, std::uint32_t first,
                 std::uint32_t subsets, std::span<char> buffer, BlockOutput& output,
                 std::size_t used) {
    // ",E).\npowerSet(" fits 16 bytes while E has at most three characters.
    const bool shortTails = std::all_of(elements, elements + n, [](std::int32_t e) {
        return e >= kShortTailMin && e <= kShortTailMax;
    });
    return shortTails ? writeFacts<16>(elements, n, first, subsets, buffer, output, used)
                      : writeFacts<32>(elements, n, first, subsets, buffer, output, used);
}

// The whole text: the #const lines, then every subset's facts.
int writeAll(const std::int32_t* elements, std::int32_t n, std::span<char> buffer,
             BlockOutput& output) {
    const std::uint32_t subsets = std::uint32_t{1} << n;
    char* out = putConstant(buffer.data(), 'n', n);
    out = putConstant(out, 'p', subsets - 1);
    const auto used = static_cast<std::size_t>(out - buffer.data());
    return writeFactsOf(elements, n, 1, subsets, buffer, output, used);
}

}  // namespace

int printPowerSet(const std::int32_t* elements, std::int32_t n) {
    if (n < 0 || n > static_cast<std::int32_t>(kMaxElements)) {
        return EINVAL;
    }
    char* const allocated = allocateOutputBuffer(kBufferSize);
    if (allocated == nullptr) {
        char fallback[kFallbackBufferSize];
        BlockOutput output(kFallbackSizes);
        return writeAll(elements, n, fallback, output);
    }
    BlockOutput output;
    const int error = writeAll(elements, n, {allocated, kBufferSize}, output);
    std::free(allocated);
#ifdef POWERFACTS_REPORT_BLOCK_SIZE
    // bench/run's build of the tool says which block size it ended with.
    std::fprintf(stderr, "%zu\n", output.held());
#endif
    return error;
}

int printSubsets(const std::int32_t* elements, std::int32_t n, std::uint32_t first,
                 std::uint32_t last, std::span<const std::size_t> blockSizes) {
    const bool sizesFit =
        !blockSizes.empty() && std::all_of(blockSizes.begin(), blockSizes.end(), [](auto size) {
            return size <= kLargestChosenBlock && blocksFit(size + kSubsetRoom, size);
        });
    if (n < 1 || n > static_cast<std::int32_t>(kMaxElements) || first < 1 || first > last ||
        last > (std::uint32_t{1} << n) - 1 || !sizesFit) {
        return EINVAL;
    }
    BlockOutput output(blockSizes);
    const std::size_t bufferSize = output.largest() + kSubsetRoom;
    char* const allocated = allocateOutputBuffer(bufferSize);
    if (allocated == nullptr) {
        return ENOMEM;
    }
    const int error =
        writeFactsOf(elements, n, first, last + 1, {allocated, bufferSize}, output, 0);
    std::free(allocated);
    return error;
}
