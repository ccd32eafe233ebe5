#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "block_output.hpp"
#include "injected_faults.hpp"
#include "power_set.hpp"
#include "print_subsets.hpp"
#include "reference_facts.hpp"
#include "tool_runner.hpp"

namespace {

std::string writerOutput(const std::vector<std::int32_t>& elements) {
    return captureStdout([&] {
        EXPECT_EQ(printPowerSet(elements.data(), static_cast<std::int32_t>(elements.size())), 0);
    });
}

TEST(PowerSetTest, PrintsValuesNotPositions) {
    EXPECT_EQ(writerOutput({10, 20}),
              "#const n = 2.\n#const p = 3.\n"
              "powerSet(1,10).\npowerSet(2,20).\npowerSet(3,10).\npowerSet(3,20).\n");
}

TEST(PowerSetTest, ZeroElementsReadsNoArray) {
    EXPECT_EQ(captureStdout([] { EXPECT_EQ(printPowerSet(nullptr, 0), 0); }),
              "#const n = 0.\n#const p = 0.\n");
}

// Any element values, in any order, with repeats: each is printed as given.
const std::vector<std::int32_t> kElementTables[] = {
    {-1},
    {-5, 0, 5},
    {INT32_MIN, INT32_MAX},
    {INT32_MAX, INT32_MIN, -1, 0},
    {7, 7, 7},
    {3, 2, 1},
    {-9, -10, -99, -100, -999999999, -1000000000, INT32_MIN + 1},
    {9, 10, 99, 100, 99999, 100000, 999999999, 1000000000},
    // Every length and sign of element in one run long enough for the
    // output to fill and flush its buffer many times.
    {INT32_MIN, -1000000000, -99999, -10, -1, 0, 1, 9, 10, 999, 100000, 999999999, 1000000000,
     INT32_MAX},
    // The longest tails that still take the 16-byte copy, and the shortest
    // that take the 32-byte one.
    std::vector<std::int32_t>(14, -99),
    std::vector<std::int32_t>(14, 999),
    {999, -99, -100, 1000},
    // Four characters only, each end of the range alone, so that no longer
    // element forces the 32-byte copy.
    {-100, -999},
    {1000, 9999},
    // Only the longest tails, across many blocks.
    std::vector<std::int32_t>(14, INT32_MIN),
    // First and second elements of different widths, then more: in a group
    // of four written whole (from 12 on), each subset must follow the line
    // of its own low members, not the other's. The same with a long tail,
    // where subsets go one at a time.
    {7, 100, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11},
    {-5, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
    {-5, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1000000},
};

class ElementValuesTest : public testing::TestWithParam<std::vector<std::int32_t>> {};

TEST_P(ElementValuesTest, MatchesDefinition) {
    EXPECT_TRUE(sameText(writerOutput(GetParam()), referenceFacts(GetParam())));
}

INSTANTIATE_TEST_SUITE_P(Tables, ElementValuesTest, testing::ValuesIn(kElementTables));

struct BlockCase {
    std::vector<std::int32_t> elements;  // 31 of them, but for one row
    std::uint32_t first;                 // the subsets written, first to last
    std::uint32_t last;
    // The blocks' sizes, in turn; empty: one block that ends `pastLast`
    // bytes after the point where the number of subset `at` (0: the last)
    // goes.
    std::vector<std::size_t> blockSizes;
    std::size_t pastLast = 1;
    std::uint32_t at = 0;
};

void PrintTo(const BlockCase& c, std::ostream* os) {
    *os << c.elements.size() << " elements from " << c.elements.front() << ", subsets from "
        << c.first << " to " << c.last << ", blocks of";
    for (const std::size_t size : c.blockSizes) {
        *os << " " << size;
    }
    if (c.blockSizes.empty()) {
        *os << " the start of subset " << (c.at != 0 ? c.at : c.last) << " + " << c.pastLast;
    }
}

const std::uint32_t kLast = INT32_MAX;
// The most a block may be, 1 GiB (the least is kLongestSubset).
constexpr std::size_t kLargestTaken = std::size_t{1} << 30;
// The room the writer keeps past a block, for a subset that starts a byte
// before its end: all but the last of the longest subset's lines, and that
// line's stores, three chunks of 16 bytes.
constexpr std::size_t kRoomPastBlock = kLongestSubset - 34 + std::size_t{3} * 16 - 1;
// The group from kLast - 3 with 31 elements of -99: its list of 29 lines
// four times, the first two elements' lines twice, 26 bytes each; the last
// line's two 16-byte stores reach 6 bytes past its end.
constexpr std::size_t kLongGroup = std::size_t{4 * 29 + 4} * 26;
constexpr std::size_t kLongGroupReach = kLongGroup + std::size_t{2} * 16 - 26;

const std::vector<std::int32_t> kMixedElements = {
    INT32_MIN, -1000000000, 1000000000, INT32_MAX, -999999999, 999999999, -1, 0, 1, -99, 999,
    INT32_MIN, -1000000000, 1000000000, INT32_MAX, -999999999, 999999999, -1, 0, 1, -99, 999,
    INT32_MIN, -1000000000, 1000000000, INT32_MAX, -999999999, 999999999, -1, 0, 1};

// The longest lines there are, where a block ends. The last subset holds
// every element, so with a block ending one byte after its start, its stores
// fill the room kept past the block to the last byte, and a sanitizer build
// sees any store past it; with the block ending right where it starts, it
// must go to the next block, or it would store a byte past the room. Ten-
// and eleven-character elements with ten-digit subset numbers make lines of
// 33 and 34 bytes, past two 16-byte stores.
// Where the size changes from block to block, the text in the overflow area
// of a large block starts a small one, and every build checks at each
// change that the buffer takes the new block and the room past it.
const BlockCase kBlockCases[] = {
    {std::vector<std::int32_t>(31, INT32_MIN), kLast - 2, kLast, {}},
    {std::vector<std::int32_t>(31, INT32_MIN), kLast - 2, kLast, {}, 0},
    {std::vector<std::int32_t>(31, INT32_MAX), kLast - 2, kLast, {}},
    {std::vector<std::int32_t>(31, -1000000000), kLast - 2, kLast, {}},
    // The longest lines that take the 16-byte tail copy.
    {std::vector<std::int32_t>(31, -99), kLast - 2, kLast, {}},
    {std::vector<std::int32_t>(31, -99), kLast - 2, kLast, {}, 0},
    // Subsets 4m to 4m + 3 go out together where they fit the block: here
    // the group from kLast - 3 (120 lines of 26 bytes) starts one byte, one
    // line and five lines before the block's end, and must go one subset at
    // a time, or run past the room.
    {std::vector<std::int32_t>(31, -99), kLast - 7, kLast, {}, 1, kLast - 3},
    {std::vector<std::int32_t>(31, -99), kLast - 7, kLast, {}, 26, kLast - 3},
    {std::vector<std::int32_t>(31, -99), kLast - 7, kLast, {}, std::size_t{5} * 26, kLast - 3},
    // The same group where it just ends by the block's end, and one byte
    // short of it; and where, taken whole, its stores would end one byte
    // past the buffer, the block being the largest the buffer holds, so
    // that the sanitizers catch any fit check loose enough to take it.
    {std::vector<std::int32_t>(31, -99), kLast - 7, kLast, {}, kLongGroup, kLast - 3},
    {std::vector<std::int32_t>(31, -99), kLast - 7, kLast, {}, kLongGroup - 1, kLast - 3},
    {std::vector<std::int32_t>(31, -99),
     kLast - 7,
     kLast,
     {},
     kLongGroupReach - kRoomPastBlock - 1,
     kLast - 3},
    // Ranges that end one and two subsets short of a group's end, with room
    // for the group: the subsets after the range must not go out with it.
    {std::vector<std::int32_t>(31, -99), kLast - 13, kLast - 5, {kLargestBlock}},
    {std::vector<std::int32_t>(31, -99), kLast - 13, kLast - 6, {kLargestBlock}},
    // One subset alone, exactly a block long; and the largest block taken.
    {std::vector<std::int32_t>(31, INT32_MIN), kLast, kLast, {kLongestSubset}},
    {std::vector<std::int32_t>(31, INT32_MIN), kLast - 30, kLast, {kLargestTaken}},
    // Blocks of the least size where subsets go one at a time: the three
    // before the range's first group of four and the three after its last,
    // and between them the two groups, too long for a block to take whole.
    {std::vector<std::int32_t>(31, -99), kLast - 14, kLast - 1, {kLongestSubset}},
    // Many blocks of long lines, each block's overshoot moved to the front.
    {kMixedElements, kLast - 700, kLast, {4096}},
    // Nine digits to ten on the way, with every line over 32 bytes after it.
    {std::vector<std::int32_t>(30, INT32_MIN), 999999900, 1000000100, {2048}},
    // The sizer's smallest and largest sizes in turn, every block a change.
    {kMixedElements, kLast - 6000, kLast, {kSmallestBlock, kLargestBlock}},
    {std::vector<std::int32_t>(31, -99), kLast - 6000, kLast, {kLargestBlock, kSmallestBlock}},
    // The least a block may be, right after the largest: the text past the
    // large block fills the small one at once.
    {std::vector<std::int32_t>(31, INT32_MIN),
     kLast - 3000,
     kLast,
     {kLargestBlock, kLongestSubset, kLongestSubset + 1}},
};

class BlockEndTest : public testing::TestWithParam<BlockCase> {};

// The case's block sizes, in turn.
std::vector<std::size_t> blockSizes(const BlockCase& c) {
    if (!c.blockSizes.empty()) {
        return c.blockSizes;
    }
    // The buffer starts with a line's head; the number of subset `at` goes
    // after it and after the lines before it.
    const std::uint32_t at = c.at != 0 ? c.at : c.last;
    return {std::string("powerSet(").size() + referenceSubsets(c.elements, c.first, at - 1).size() +
            c.pastLast};
}

// The text as defined, in blocks of the sizes given in turn: every write
// but the last a whole block, the last no longer.
TEST_P(BlockEndTest, MatchesDefinition) {
    const BlockCase& c = GetParam();
    const auto n = static_cast<std::int32_t>(c.elements.size());
    const std::vector<std::size_t> sizes = blockSizes(c);
    const WriteLog log;
    const std::string text = captureStdout(
        [&] { EXPECT_EQ(printSubsets(c.elements.data(), n, c.first, c.last, sizes), 0); });
    EXPECT_TRUE(sameText(text, referenceSubsets(c.elements, c.first, c.last)));
    const std::vector<std::size_t> writes = log.sizes();
    ASSERT_FALSE(writes.empty());
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const std::size_t size = sizes[i % sizes.size()];
        ASSERT_TRUE(i + 1 < writes.size() ? writes[i] == size : writes[i] <= size)
            << "write " << i << " of " << writes.size() << " took " << writes[i]
            << " bytes, the block " << size;
    }
}

// Each write of the same text failed in turn, wherever it falls: after a
// subset taken alone (elements of long tails, a range's ends, a group too
// long for what is left of a block) or a group of four written in one walk.
// The writer must stop at once with the error and leave the blocks before
// it, no more.
TEST_P(BlockEndTest, StopsAtEachFailedWrite) {
    const BlockCase& c = GetParam();
    const auto n = static_cast<std::int32_t>(c.elements.size());
    const std::vector<std::size_t> sizes = blockSizes(c);
    const std::string text = referenceSubsets(c.elements, c.first, c.last);
    std::size_t before = 0;
    for (std::size_t k = 1; before < text.size(); before += sizes[(k++ - 1) % sizes.size()]) {
        const InjectedFaults fault("write-error@" + std::to_string(k));
        const std::string written = captureStdout([&] {
            EXPECT_EQ(printSubsets(c.elements.data(), n, c.first, c.last, sizes), EIO)
                << "write " << k;
        });
        ASSERT_TRUE(sameText(written, text.substr(0, before))) << "write " << k << " failed";
    }
}

INSTANTIATE_TEST_SUITE_P(Tables, BlockEndTest, testing::ValuesIn(kBlockCases));

// A library caller can pass anything; what does not describe a text the
// writer can write (a count below 1, where the shift by it is undefined, or
// past 31; subset numbers past the count's subsets; blocks that cannot take a
// subset, or whose buffer would not fit the address space) must write nothing
// and say so, as must a buffer that cannot be had.
TEST(PowerSetTest, RefusesWhatItCannotWrite) {
    const std::vector<std::int32_t> elements(40, 1);
    for (const std::int32_t n : {-1, 32, 33, 40, INT32_MIN}) {
        EXPECT_EQ(captureStdout([&] { EXPECT_EQ(printPowerSet(elements.data(), n), EINVAL); }), "")
            << "n = " << n;
    }
    struct Call {
        std::int32_t n;
        std::uint32_t first;
        std::uint32_t last;
        std::size_t blockSize;
        const char* fault = "";
        int error = EINVAL;
    };
    for (const Call& call :
         {Call{3, 1, 8, 4096}, Call{3, 0, 7, 4096}, Call{3, 5, 4, 4096}, Call{0, 1, 1, 4096},
          Call{-1, 1, 1, 4096}, Call{INT32_MIN, 1, 1, 4096}, Call{32, 1, 1, 4096},
          Call{3, 1, 7, kLongestSubset - 1}, Call{3, 1, 7, kLargestTaken + 1},
          Call{3, 1, 7, SIZE_MAX}, Call{3, 1, 7, SIZE_MAX - 100},
          Call{3, 1, 7, 4096, "no-buffer", ENOMEM}}) {
        const std::size_t sizes[] = {call.blockSize};
        const InjectedFaults fault(call.fault);
        EXPECT_EQ(captureStdout([&] {
                      EXPECT_EQ(printSubsets(elements.data(), call.n, call.first, call.last, sizes),
                                call.error);
                  }),
                  "")
            << "n = " << call.n << ", subsets " << call.first << " to " << call.last
            << ", blocks of " << call.blockSize << (*call.fault != '\0' ? ", " : "") << call.fault;
    }
    EXPECT_EQ(printSubsets(elements.data(), 3, 1, 7, {}), EINVAL);
}

}  // namespace
