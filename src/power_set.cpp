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
// - Subsets 2k and 2k + 1 differ only in the first element, and their
//   numbers only in the last digit. Their other members, the set bits of
//   2k, are kept as a list of laid-out lines that changes by one line from
//   pair to pair (PairLines), so no subset's members are ever searched for.
// A line is then one OR of the digits into the first chunk, two 16-byte
// stores, and one addition of its precomputed length, and a pair is written
// in one walk along the list, each line loaded once and stored for both
// subsets (putPair): stores are what bounds the writer, and every
// instruction around them counts on one CPU, where the reader waits for the
// writer. The fixed-size stores write past the line's true end; the next
// line overwrites those bytes, and the buffer keeps room for them at its
// end. 16 bytes of tail cover elements of up to three characters (-99 to
// 999), the digits and tail 26 bytes at most; other elements take a
// three-chunk variant of the same lines, one subset at a time.
//
// Blocks go to BlockOutput (block_output.hpp), which writes each one whole
// and picks their size. Memory is the one fixed buffer, whatever n is; if it
// cannot be had, a small one on the stack gives the same text, only more
// slowly.

#include "power_set.hpp"

#include "block_output.hpp"
#include "fallible_calls.hpp"
#include "subset_number.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view kFactHead = "powerSet(";
constexpr std::size_t kMaxElements = 31;
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

// An element's line with the digits of the subset number left blank (zero
// bytes, for the digits to be OR'ed in), and its length.
template <std::size_t kChunks>
struct Line {
    Chunk text[kChunks];
    std::size_t size;
};

// Stores `line` with `digits` OR'ed in at `out`; returns where the next line
// goes.
template <std::size_t kChunks>
inline char* putLine(char* out, const Line<kChunks>& line, Chunk digits) {
    const Chunk head = digits | line.text[0];
    std::memcpy(out, &head, kChunkSize);
    for (std::size_t k = 1; k < kChunks; ++k) {
        std::memcpy(out + k * kChunkSize, &line.text[k], kChunkSize);
    }
    return out + line.size;
}

// The lines of the members of subsets 2k and 2k + 1 but the first element:
// the lines of the set bits of 2k, in ascending order. From one pair to the
// next, k + 1 clears the trailing ones of k and sets the bit above them, so
// the first few lines of the list go and one line comes in front: kept
// right-aligned in an array, the list changes by one line a pair, whatever
// n is, and never has to be searched for its members (an increment changes
// two bits of a binary counter on average: the carries, and one set).
template <std::size_t kChunks>
class PairLines {
public:
    // Where the list starts, and the bytes of its lines: small enough to
    // stay in registers.
    struct List {
        Line<kChunks>* begin;
        std::size_t size;
    };

    // Lays out each element's line for subset numbers of `digits` digits;
    // returns the list for the pair that starts with the even number `even`.
    template <std::size_t kTailCopy>
    List layOut(const char (&tails)[kMaxElements][kTailCopy],
                const std::size_t (&tailSizes)[kMaxElements], std::int32_t n, std::size_t digits,
                std::uint32_t even) {
        std::size_t goes = 0;  // the lines of elements 1 .. j-1
        for (std::int32_t j = 0; j < n; ++j) {
            char text[kChunks * kChunkSize] = {};
            std::memcpy(text + digits, tails[j], kTailCopy);
            std::memcpy(&elements_[j].text[0], text, sizeof text);
            elements_[j].size = digits + tailSizes[j];
            if (j >= 1) {
                gain_[j - 1] = elements_[j].size - goes;
                goes += elements_[j].size;
            }
        }
        List list{end_(), 0};
        for (std::int32_t j = n - 1; j >= 1; --j) {
            if ((even >> j) % 2 == 1) {
                *--list.begin = elements_[j];
                list.size += elements_[j].size;
            }
        }
        return list;
    }

    // The list for the pair after that of `even`, from the list for it;
    // `even` + 2 must be below 2^n.
    List next(List list, std::uint32_t even) {
        // The set bits 1 .. t of `even` go, bit t + 1 comes.
        const auto t = static_cast<unsigned>(std::countr_one(even >> 1));
        list.begin += t;
        *--list.begin = elements_[t + 1];
        return {list.begin, list.size + gain_[t]};
    }

    const Line<kChunks>& first() const { return elements_[0]; }
    const Line<kChunks>* end() const { return list_ + kMaxElements; }

private:
    Line<kChunks>* end_() { return list_ + kMaxElements; }

    Line<kChunks> elements_[kMaxElements];
    // What the list's size gains when lines 1 .. t go and t + 1 comes
    // (modulo 2^64: it mostly shrinks).
    std::size_t gain_[kMaxElements];
    Line<kChunks> list_[kMaxElements];
};

// Stores the lines of `list` at `out` with `digits` OR'ed in; returns where
// the next line goes.
template <std::size_t kChunks>
inline char* putLines(char* out, const PairLines<kChunks>& lines,
                      typename PairLines<kChunks>::List list, Chunk digits) {
    for (const Line<kChunks>* line = list.begin; line != lines.end(); ++line) {
        out = putLine(out, *line, digits);
    }
    return out;
}

// Stores subsets 2k and 2k + 1 in one walk along the list they share: each
// line's two chunks are loaded once and stored twice, with the digits of
// each number OR'ed in, so that two lines share the loads, the addition of
// the length and the loop's own work.
// The text is the list with `even` digits, the first element's line with
// `odd` digits, then the list again with `odd` digits. Only for 16-byte
// tails and two digits or more, where every line takes 16 bytes or more:
// then no line's stores reach past the first chunk of the line after it,
// which the order of the stores below relies on.
static_assert(2 + tailSize(0) >= kChunkSize,
              "with two digits, every line must take a chunk, as putPair's stores assume");
inline char* putPair(char* out, const PairLines<2>& lines, PairLines<2>::List list, Chunk even,
                     Chunk odd) {
    const Line<2>& first = lines.first();
    char* const middle = out + list.size;
    const std::size_t toOdd = list.size + first.size;
    // The first element's second chunk now, so that the odd subset's first
    // line, stored after it, overwrites what it leaves past its line.
    std::memcpy(middle + kChunkSize, &first.text[1], kChunkSize);
#pragma GCC unroll 2
    for (const Line<2>* line = list.begin; line != lines.end(); ++line) {
        assert(line->size >= kChunkSize);
        // Both chunks loaded before any store, which could alias them.
        const Chunk head = line->text[0];
        const Chunk tail = line->text[1];
        const Chunk evenHead = even | head;
        const Chunk oddHead = odd | head;
        std::memcpy(out, &evenHead, kChunkSize);
        std::memcpy(out + kChunkSize, &tail, kChunkSize);
        std::memcpy(out + toOdd, &oddHead, kChunkSize);
        std::memcpy(out + toOdd + kChunkSize, &tail, kChunkSize);
        out += line->size;
    }
    // Its first chunk last: the even subset's last line stored into it.
    const Chunk firstHead = odd | first.text[0];
    std::memcpy(middle, &firstHead, kChunkSize);
    return middle + toOdd;
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

    // Subsets go in pairs, 2k and 2k + 1, which differ only in the first
    // element, and whose numbers differ only in the last digit. The lines
    // have the digits left blank: the tails shifted past them, laid out anew
    // whenever the number of digits changes, which it does only from an odd
    // number to an even one.
    std::uint32_t even = first & ~std::uint32_t{1};
    SubsetNumber number(even);
    PairLines<kChunks> lines;
    auto list = lines.layOut(tails, tailSizes, n, number.size(), even);

    char* const begin = buffer.data();
    std::size_t block = output.size();
    assert(blocksFit(buffer.size(), block));
    char* flushAt = begin + block;
    char* out = std::copy(kFactHead.begin(), kFactHead.end(), begin + used);
    // Before each subset, or pair: once past the block's end, the block goes.
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

    // The subsets of the pair, or what of it lies in first .. subsets-1,
    // one at a time, each after a flush if one is due.
    const auto putSingles = [&] {
        if (even >= first) {
            if (const int error = flushIfDue()) {
                return error;
            }
            out = putLines(out, lines, list, number.digits());
        }
        if (even + 1 < subsets) {
            if (const int error = flushIfDue()) {
                return error;
            }
            const Chunk digits = number.nextDigits();
            out = putLine(out, lines.first(), digits);
            out = putLines(out, lines, list, digits);
        }
        return 0;
    };
    // The pairs that can be stored whole: both subsets to be written, and
    // two digits or more (numbers from 10 on); as one unsigned comparison.
    const std::uint32_t lastWhole = (subsets - 2) & ~std::uint32_t{1};
    std::uint32_t firstWhole = std::max<std::uint32_t>((first + 1) & ~std::uint32_t{1}, 10);
    std::uint32_t wholeSpan = lastWhole - firstWhole;
    if (subsets < 2 || lastWhole < firstWhole) {
        firstWhole = UINT32_MAX;  // then even - firstWhole is even + 1 > 0
        wholeSpan = 0;
    }

    while (true) {
        // A pair is stored whole only where its text ends by the block's
        // end (its last stores reach a chunk further, into the room past
        // it), so that what runs past a block is never more than a subset.
        if (kChunks == 2 && even - firstWhole <= wholeSpan &&
            out + 2 * list.size + lines.first().size <= flushAt) {
            if constexpr (kChunks == 2) {
                out = putPair(out, lines, list, number.digits(), number.nextDigits());
            }
        } else if (const int error = putSingles()) {
            return error;
        }
        if (even + 2 >= subsets) {
            break;
        }
        list = number.addTwo() ? lines.layOut(tails, tailSizes, n, number.size(), even + 2)
                               : lines.next(list, even);
        even += 2;
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
