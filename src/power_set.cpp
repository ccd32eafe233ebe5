// How the writer is fast.
//
// The text is nothing but lines "powerSet(I,E).\n", regular enough to be
// copied rather than formatted:
// - Seen from the digits of I, a line is I followed by ",E).\npowerSet(":
//   the element's tail with the next line's head already attached. Each
//   element's tail is formatted once, up front (at most 31 of them), and the
//   text in the buffer always ends in the next line's "powerSet(", which the
//   next line takes over and which the last write leaves out.
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
// line overwrites those bytes, and the overflow area past a block takes
// those of the last line. 16 bytes of tail cover elements of up to three
// characters (-99 to 999), the digits and tail 26 bytes at most; other
// elements take a three-chunk variant of the same lines, one subset at a
// time, as do the subsets of a range's first and last groups where those are
// not complete, and the groups that would not end by a block's end.
//
// Blocks go to BlockOutput (block_output.hpp), which writes each one whole
// and picks their size. Memory is the one fixed buffer, whatever n is; if it
// cannot be had, a small one on the stack gives the same text, only more
// slowly.

#include "power_set.hpp"
#include "print_subsets.hpp"

#include "block_output.hpp"
#include "fallible_calls.hpp"
#include "invariant.hpp"
#include "subset_lines.hpp"
#include "subset_number.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
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

// The bytes of ",E).\npowerSet(", E included.
constexpr std::size_t tailBytes(std::int32_t element) {
    // The magnitude in 32 unsigned bits, INT32_MIN's included.
    const auto magnitude = element < 0 ? 0U - static_cast<std::uint32_t>(element)
                                       : static_cast<std::uint32_t>(element);
    return (element < 0 ? std::size_t{1} : std::size_t{0}) + decimalDigits(magnitude) + 4 +
           kFactHead.size();
}
static_assert(tailBytes(INT32_MIN) == 24 && tailBytes(-99) == 16 && tailBytes(0) == 14,
              "a tail is the comma, the sign and digits, \").\\n\" and the next head");
static_assert(tailBytes(kShortTailMin) <= 16 && tailBytes(kShortTailMax) <= 16,
              "the short tails must fit the 16-byte copy");
static_assert(tailBytes(INT32_MIN) <= 32 && tailBytes(INT32_MAX) <= 32,
              "every tail must fit the 32-byte copy");

// The chunks a line is stored in when tails are copied `tailCopy` bytes at a
// time: the one the digits are OR'ed into, and the rest of the tail.
constexpr std::size_t chunksFor(std::size_t tailCopy) { return 1 + tailCopy / kChunkSize; }
static_assert(kMaxDigits + 16 <= chunksFor(16) * kChunkSize &&
                  kMaxDigits + 32 <= chunksFor(32) * kChunkSize,
              "a line's stores must hold its digits and its whole tail copy");

// The longest subset's text: all 31 elements, the longest number and tail.
constexpr std::size_t kMaxLineBytes = kMaxDigits + tailBytes(INT32_MIN);
constexpr std::size_t kMaxSubsetBytes = kMaxElementCount * kMaxLineBytes;
// Past each block the buffer keeps an overflow area for one subset that
// starts just before the block's end, so that a subset is never split: all
// its lines but the last, and the last one's stores whole. A flush moves the
// text in the overflow area to the front, to start the next block.
constexpr std::size_t kOverflowBytes =
    kMaxSubsetBytes - kMaxLineBytes + chunksFor(32) * kChunkSize - 1;

// How far past its first byte the stores of a subset of 31 lines of
// `lineSize` bytes reach, each line stored as `chunks` whole chunks: the
// writer's loop, walked line by line.
constexpr std::size_t storesReach(std::size_t lineSize, std::size_t chunks) {
    std::size_t start = 0;
    std::size_t reach = 0;
    for (std::size_t line = 0; line < kMaxElementCount; ++line) {
        reach = std::max(reach, start + chunks * kChunkSize);
        start += lineSize;
    }
    return reach;
}
constexpr std::size_t kShortTailsReach = storesReach(
    kMaxDigits + std::max(tailBytes(kShortTailMin), tailBytes(kShortTailMax)), chunksFor(16));
constexpr std::size_t kLongTailsReach =
    storesReach(kMaxDigits + std::max(tailBytes(INT32_MIN), tailBytes(INT32_MAX)), chunksFor(32));
// A subset starts at most one byte before a block's end.
static_assert(kShortTailsReach - 1 <= kOverflowBytes,
              "the overflow area must take the longest subset of short tails");
static_assert(kLongTailsReach - 1 <= kOverflowBytes,
              "the overflow area must take the longest subset of long tails");

// Whether blocks of `blockSize` bytes can be written from a buffer of
// `bufferSize`: a block must be longer than the most a subset writes past it,
// so that after a flush the next subset starts before the block's end again
// (the first block also holds the #const lines), and the buffer must take
// what the longest subset of either kind of tail stores past the block.
// Stated without a sum that could wrap, so that it holds for any size asked.
constexpr bool blocksFit(std::size_t bufferSize, std::size_t blockSize) {
    return blockSize >= kMaxSubsetBytes && blockSize <= bufferSize &&
           bufferSize - blockSize >= std::max(kShortTailsReach, kLongTailsReach) - 1;
}
static_assert(!blocksFit(4096, SIZE_MAX) && !blocksFit(SIZE_MAX, SIZE_MAX),
              "no block size may wrap the fit check");

constexpr std::size_t kBufferSize = kLargestBlock + kOverflowBytes;
constexpr std::size_t kFallbackWriteSize = kFallbackBufferSize - kOverflowBytes;
static_assert(blocksFit(kBufferSize, kSmallestBlock) && blocksFit(kBufferSize, kLargestBlock),
              "the output buffer must take its blocks and the overflow area");
static_assert(blocksFit(kFallbackBufferSize, kFallbackWriteSize),
              "the fallback buffer must take its blocks and the overflow area");
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
// 16-byte tails with numbers of two digits or more, as the static_assert
// checks. A group from 12 on has those (10^k is a multiple of four for
// k >= 2, so its four numbers have as many digits as 4m), and putGroup
// checks that it is one, and that the lines are laid out for its numbers.
constexpr std::uint32_t kFirstGroupWalk = 12;
static_assert(decimalDigits(kFirstGroupWalk) == 2 && 2 + tailBytes(0) >= kChunkSize,
              "with two digits, every line must take a chunk, as putGroup's stores assume");
inline char* putGroup(char* out, const GroupLines<2>& lines, GroupLines<2>::List list,
                      const Chunk (&digits)[4], std::uint32_t base) {
    POWERFACTS_ASSERT(base % 4 == 0 && base >= kFirstGroupWalk,
                      "a group goes in one walk from 12 on, its four numbers of one width");
    POWERFACTS_ASSERT(lines.digits() == decimalDigits(base),
                      "a group's lines are laid out for its numbers' width");
    const Line<2>& first = lines.element(0);
    const Line<2>& second = lines.element(1);
    // Where the lines between the copies of the list go: the lines of the
    // first two elements in subsets 4m + 1 .. 4m + 3, each just before its
    // copy of the list.
    char* const low1 = out + list.bytes;
    char* const low2 = low1 + first.bytes + list.bytes;
    char* const low3 = low2 + second.bytes + list.bytes;
    // How far the copies of the list for 4m + 1 .. 4m + 3 lie from the first.
    const std::size_t offset1 = list.bytes + first.bytes;
    const std::size_t offset2 = offset1 + list.bytes + second.bytes;
    const std::size_t offset3 = offset2 + list.bytes + first.bytes + second.bytes;
    std::memcpy(low1 + kChunkSize, &first.text[1], kChunkSize);
    std::memcpy(low2 + kChunkSize, &second.text[1], kChunkSize);
    std::memcpy(low3 + kChunkSize, &first.text[1], kChunkSize);
    std::memcpy(low3 + first.bytes + kChunkSize, &second.text[1], kChunkSize);
#pragma GCC unroll 2
    for (const Line<2>* line = list.begin; line != lines.end(); ++line) {
        // Both chunks loaded before any store, which could alias them.
        const Chunk head = line->text[0];
        const Chunk tail = line->text[1];
        const Chunk heads[4] = {digits[0] | head, digits[1] | head, digits[2] | head,
                                digits[3] | head};
        std::memcpy(out, &heads[0], kChunkSize);
        std::memcpy(out + kChunkSize, &tail, kChunkSize);
        std::memcpy(out + offset1, &heads[1], kChunkSize);
        std::memcpy(out + offset1 + kChunkSize, &tail, kChunkSize);
        std::memcpy(out + offset2, &heads[2], kChunkSize);
        std::memcpy(out + offset2 + kChunkSize, &tail, kChunkSize);
        std::memcpy(out + offset3, &heads[3], kChunkSize);
        std::memcpy(out + offset3 + kChunkSize, &tail, kChunkSize);
        out += line->bytes;
    }
    const Chunk heads[4] = {digits[1] | first.text[0], digits[2] | second.text[0],
                            digits[3] | first.text[0], digits[3] | second.text[0]};
    std::memcpy(low1, &heads[0], kChunkSize);
    std::memcpy(low2, &heads[1], kChunkSize);
    std::memcpy(low3, &heads[2], kChunkSize);
    std::memcpy(low3 + first.bytes, &heads[3], kChunkSize);
    return out + offset3;
}

// Each element's tail ",E).\npowerSet(", formatted once, with zeros after
// it to kTailCopy bytes: those bytes are copied and OR'ed with the rest, and
// only ever overwritten or left past the text's end.
template <std::size_t kTailCopy>
struct ElementTails {
    ElementTails(const std::int32_t* elements, std::int32_t n) {
        for (std::int32_t j = 0; j < n; ++j) {
            char* end = text[j];
            *end++ = ',';
            end = std::to_chars(end, text[j] + kTailCopy, elements[j]).ptr;
            end = std::copy_n(").\n", 3, end);
            end = std::copy(kFactHead.begin(), kFactHead.end(), end);
            bytes[j] = static_cast<std::size_t>(end - text[j]);
        }
    }

    char text[kMaxElementCount][kTailCopy] = {};
    std::size_t bytes[kMaxElementCount] = {};
};

// The block being filled in the output buffer: where the text has reached,
// where the block ends, and its size. A subset starts before the block's
// end and may run past it into the overflow area; the block is flushed once
// the text has passed its end, and the text in the overflow area moves to
// the front to start the next block. Every block size is checked against
// the buffer as it is taken, in every build: a size that the buffer and its
// overflow area cannot hold is refused, never written past.
class Block {
public:
    Block(std::span<char> buffer, BlockOutput& output) : buffer_(buffer), output_(output) {}

    // Where the next line goes.
    char* text = nullptr;

    // Starts the first block, after the `used` bytes already in the buffer
    // and with the first line's head; 0, or EINVAL for a block size that
    // does not fit the buffer.
    int start(std::size_t used) {
        if (!takeSize() || used + kFactHead.size() > size_) {
            return EINVAL;
        }
        text = std::copy(kFactHead.begin(), kFactHead.end(), buffer_.data() + used);
        return 0;
    }

    // Whether `bytes` more bytes of text end by the block's end. Compares
    // byte counts, never a pointer formed past the buffer.
    bool fits(std::size_t bytes) const {
        // Negative once the text has passed the block's end.
        return end_ - text >= static_cast<std::ptrdiff_t>(bytes);
    }

    // Flushes the block once the text has passed its end; 0, or the errno of
    // the failed write, or EINVAL for a next size that does not fit.
    int flushIfPassed() {
        if (text < end_) {
            return 0;
        }
        if (const int error = output_.put(buffer_.data(), size_)) {
            return error;
        }
        // The overflow area's text, the next line's head with it.
        text = std::copy(end_, text, buffer_.data());
        return takeSize() ? 0 : EINVAL;
    }

    // Writes the rest of the text, the next line's head left out. If the
    // last subset ran past the block's end, the block still goes out at its
    // own size, then the overflow area's text.
    int finish() {
        // The text ends in a head: start() put one there and every subset
        // ends in one. A flush moves the head to the front with the overflow
        // area's text, except where the text ended exactly at the block's end
        // and the head went out with the block; a subset always follows a
        // flush, so that never happens just before this.
        POWERFACTS_ASSERT(text - buffer_.data() >= static_cast<std::ptrdiff_t>(kFactHead.size()),
                          "the text ends in the next line's head, inside the buffer");
        const char* const textEnd = text - kFactHead.size();
        if (textEnd > end_) {
            if (const int error = output_.put(buffer_.data(), size_)) {
                return error;
            }
            return output_.put(end_, static_cast<std::size_t>(textEnd - end_));
        }
        return output_.put(buffer_.data(), static_cast<std::size_t>(textEnd - buffer_.data()));
    }

private:
    bool takeSize() {
        size_ = output_.size();
        if (!blocksFit(buffer_.size(), size_)) {
            return false;
        }
        end_ = buffer_.data() + size_;
        return true;
    }

    std::span<char> buffer_;
    BlockOutput& output_;
    std::size_t size_ = 0;
    char* end_ = nullptr;
};

// Where the next subset is laid out from: the list of lines that its group
// of four shares, and its number, with the elements' lines and tails they
// come from. Only scalars of its own, the tables held by reference, so that
// a compiler keeps it in registers, which the stores of the text cannot
// alias.
template <std::size_t kTailCopy>
class SubsetCursor {
public:
    static constexpr std::size_t kChunks = chunksFor(kTailCopy);

    SubsetCursor(GroupLines<kChunks>& lines, const ElementTails<kTailCopy>& tails, std::int32_t n,
                 std::uint32_t first)
        : lines_(lines), tails_(tails), n_(n), number_(first) {
        layOut(first & ~std::uint32_t{3});
    }

    // Stores subset `i`, the cursor's, at `out` and moves the cursor on to
    // i + 1; returns where the next line goes.
    char* putSingle(char* out, std::uint32_t i) {
        out = putSubset(out, lines_, list_, i % 4, number_.digits());
        const bool longer = number_.increment();
        // Within a group the lines change only where the number gains a
        // digit, which happens in the one from 8 alone (10^k is a multiple of
        // four for k >= 2).
        if ((i + 1) % 4 == 0) {
            nextGroup(i - 3, longer);
        } else if (longer) {
            layOut(i & ~std::uint32_t{3});
        }
        return out;
    }

    // The digits of the cursor's group, from a multiple of four: the
    // number moves on by four. Returns whether the next group's numbers
    // are longer.
    bool takeGroupDigits(Chunk (&digits)[4]) { return number_.takeFour(digits); }

    // The bytes of the cursor's group of four.
    std::size_t groupBytes() const { return 4 * list_.bytes + lines_.firstTwoLinesBytes(); }

    // Stores the cursor's group of four, from `base`, in one walk at `out`,
    // with `digits`.
    char* putGroupAt(char* out, const Chunk (&digits)[4], std::uint32_t base) const {
        return putGroup(out, lines_, list_, digits, base);
    }

    // Stores subset 4m + `low` of the cursor's group at `out`, with its
    // digits.
    char* putOfGroup(char* out, unsigned low, Chunk digits) const {
        return putSubset(out, lines_, list_, low, digits);
    }

    // Moves on from the group of `base` to the next, whose numbers are
    // `longer` than this one's.
    void nextGroup(std::uint32_t base, bool longer) {
        if (longer) {
            layOut(base + 4);
        } else {
            list_ = lines_.next(list_, base);
        }
    }

private:
    void layOut(std::uint32_t base) {
        list_ = lines_.layOut(tails_.text, tails_.bytes, n_, number_.size(), base);
    }

    GroupLines<kChunks>& lines_;
    const ElementTails<kTailCopy>& tails_;
    std::int32_t n_;
    SubsetNumber number_;
    typename GroupLines<kChunks>::List list_{};
};

// Stores subsets `from` .. `to` - 1, the cursor's first, one at a time,
// each after the block's flush if one is due. Returns 0, or the error of the
// flush that failed.
template <std::size_t kTailCopy>
inline int putSingles(Block& block, SubsetCursor<kTailCopy>& cursor, std::uint32_t from,
                      std::uint32_t to) {
    for (std::uint32_t i = from; i < to; ++i) {
        if (const int error = block.flushIfPassed()) {
            return error;
        }
        block.text = cursor.putSingle(block.text, i);
    }
    return 0;
}

// Writes the facts of subsets `first` .. `end` - 1 after the `used` bytes
// already in `buffer`, in blocks as `output` sizes them; returns 0, or the
// errno of the first failed write (EINVAL for a block size that the buffer
// cannot hold).
//
// In the order the text is made: the subsets before the first group of four
// written in one walk, one at a time; those groups; the subsets after the
// last. A group goes in one walk where all four of its subsets are to be
// written, its lines take two chunks, and its numbers have two digits or
// more (from 12 on).
template <std::size_t kTailCopy>
int writeFacts(const std::int32_t* elements, std::int32_t n, std::uint32_t first, std::uint32_t end,
               std::span<char> buffer, BlockOutput& output, std::size_t used) {
    Block block(buffer, output);
    if (const int error = block.start(used)) {
        return error;
    }
    const ElementTails<kTailCopy> tails(elements, n);
    GroupLines<SubsetCursor<kTailCopy>::kChunks> lines;
    SubsetCursor<kTailCopy> cursor(lines, tails, n, first);

    constexpr bool kGroupWalks = SubsetCursor<kTailCopy>::kChunks == 2;
    std::uint32_t groupsBegin = std::max((first + 3) & ~std::uint32_t{3}, kFirstGroupWalk);
    std::uint32_t groupsEnd = end & ~std::uint32_t{3};
    if (!kGroupWalks || groupsBegin >= groupsEnd) {
        groupsBegin = end;
        groupsEnd = end;
    }

    if (const int error = putSingles(block, cursor, first, groupsBegin)) {
        return error;
    }
    if constexpr (kGroupWalks) {
        // A group goes in one walk only where its text ends by the block's
        // end (its last stores reach a chunk further, into the overflow
        // area), so that no more than a subset ever runs past a block.
        for (std::uint32_t base = groupsBegin; base < groupsEnd; base += 4) {
            Chunk digits[4];
            const bool longer = cursor.takeGroupDigits(digits);
            if (block.fits(cursor.groupBytes())) {
                block.text = cursor.putGroupAt(block.text, digits, base);
            } else {
                for (unsigned low = 0; low < 4; ++low) {
                    if (const int error = block.flushIfPassed()) {
                        return error;
                    }
                    block.text = cursor.putOfGroup(block.text, low, digits[low]);
                }
            }
            cursor.nextGroup(base, longer);
        }
    }
    if (const int error = putSingles(block, cursor, groupsEnd, end)) {
        return error;
    }
    return block.finish();
}

// writeFacts with the copy that the elements' tails fit.
int writeFactsOf(const std::int32_t* elements, std::int32_t n, std::uint32_t first,
                 std::uint32_t end, std::span<char> buffer, BlockOutput& output, std::size_t used) {
    // ",E).\npowerSet(" fits 16 bytes while E has at most three characters.
    const bool shortTails = std::all_of(elements, elements + n, [](std::int32_t e) {
        return e >= kShortTailMin && e <= kShortTailMax;
    });
    return shortTails ? writeFacts<16>(elements, n, first, end, buffer, output, used)
                      : writeFacts<32>(elements, n, first, end, buffer, output, used);
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
    if (n < 0 || n > kMaxElementCount) {
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
    std::fprintf(stderr, "%zu\n", output.settledSize());
#endif
    return error;
}

int printSubsets(const std::int32_t* elements, std::int32_t n, std::uint32_t first,
                 std::uint32_t last, std::span<const std::size_t> blockSizes) {
    const bool sizesFit =
        !blockSizes.empty() && std::all_of(blockSizes.begin(), blockSizes.end(), [](auto size) {
            return size <= kLargestChosenBlock && blocksFit(size + kOverflowBytes, size);
        });
    if (n < 1 || n > kMaxElementCount || first < 1 || first > last ||
        last > (std::uint32_t{1} << n) - 1 || !sizesFit) {
        return EINVAL;
    }
    BlockOutput output(blockSizes);
    const std::size_t bufferSize = output.largest() + kOverflowBytes;
    char* const allocated = allocateOutputBuffer(bufferSize);
    if (allocated == nullptr) {
        return ENOMEM;
    }
    const int error =
        writeFactsOf(elements, n, first, last + 1, {allocated, bufferSize}, output, 0);
    std::free(allocated);
    return error;
}
