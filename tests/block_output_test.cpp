#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <span>
#include <sstream>
#include <string>

#include "block_output.hpp"
#include "reference_facts.hpp"
#include "tool_runner.hpp"

namespace {

bool isBlockSize(std::size_t size) {
    for (std::size_t block = kSmallestBlock; block <= kLargestBlock; block *= 2) {
        if (size == block) {
            return true;
        }
    }
    return false;
}

// The stack buffer the tool falls back on, which holds its blocks.
constexpr std::size_t kFallbackBuffer = 4096;

struct WritesCase {
    const char* fault;
    const char* count;
    Sink sink;
    // Every block the size of the first, one that takes the longest subset
    // and fits the fallback buffer, rather than sizes of the timed range.
    bool fixed;
    // A modelled reader's rates for blocks of 4 KiB, 8 KiB, ... (see
    // injected_faults.cpp), and the size the tool must move to and hold.
    const char* drain = "";
    std::size_t holds = 0;
};

void PrintTo(const WritesCase& c, std::ostream* os) {
    PrintTo(c.sink, os);
    *os << ", n = " << c.count << (*c.fault != '\0' ? ", " : "") << c.fault;
    if (c.holds != 0) {
        *os << ", best at " << c.holds;
    }
}

// A run of writes as "size x count" pieces, the first 40, for a failure to
// show.
std::string runs(const std::vector<std::size_t>& writes) {
    std::ostringstream text;
    for (std::size_t i = 0, pieces = 0; i < writes.size(); ++pieces) {
        if (pieces == 40) {
            text << " ...";
            break;
        }
        std::size_t j = i;
        while (j < writes.size() && writes[j] == writes[i]) {
            ++j;
        }
        text << " " << writes[i] << "x" << j - i;
        i = j;
    }
    return text.str();
}

// Into a file, a pipe or a socket the blocks are sizes of the timed range.
// Without its buffer the tool writes blocks of one size: the 3086 bytes for
// n = 6 go past the first block's end within the last subset.
// With a reader whose best size lies away from where the search starts, the
// tool must get there and stay, the writer asking for each block's size and
// the output timing each block: a broken link leaves it at one size. The
// reader drains GB a second and the run is short (21 MB for n = 17, a few
// milliseconds), so the first search must take bytes, not milliseconds.
const WritesCase kWritesCases[] = {
    {"", "16", Sink::File, false},
    {"", "16", Sink::Pipe, false},
    {"", "16", Sink::Socket, false},
    {"no-buffer", "6", Sink::File, true},
    {"", "17", Sink::Pipe, false, "1200,1600,2800,2000,1600,1200,800,600", 16 << 10},
    {"", "18", Sink::File, false, "1200,1600,2000,2800,2000,1600,1200,800", 32 << 10},
    // A clock that cannot always be read: the sizes still follow the reader.
    {"clock-error", "19", Sink::File, false, "1200,1600,2000,2800,2000,1600,1200,800", 32 << 10},
};

class BlockWritesTest : public testing::TestWithParam<WritesCase> {};

// The kernel sees the sizes the sizer chose: every block in one write call,
// the last one no larger than a block.
TEST_P(BlockWritesTest, EachBlockInOneWrite) {
    const WritesCase& c = GetParam();
    const ToolRun run = runToolWithFault(c.fault, {c.count}, c.sink, c.drain);
    ASSERT_EQ(run.exitStatus, 0);
    const std::vector<std::size_t>& writes = run.writes;
    ASSERT_GE(writes.size(), 2U);
    const std::size_t first = writes.front();
    if (c.fixed) {
        EXPECT_TRUE(first >= kLongestSubset && first <= kFallbackBuffer) << first;
    }
    std::size_t total = writes.back();
    for (std::size_t i = 0; i + 1 < writes.size(); ++i) {
        ASSERT_TRUE(c.fixed ? writes[i] == first : isBlockSize(writes[i]))
            << "write " << i << " of " << writes.size() << " took " << writes[i] << " bytes";
        total += writes[i];
    }
    EXPECT_LE(writes.back(), c.fixed ? first : kLargestBlock);
    EXPECT_EQ(total, run.out.size());
    if (c.holds == 0) {
        return;
    }
    // Over the second half of the text, the size found carries most of the
    // bytes, and only the sizes beside it are tried.
    std::map<std::size_t, std::size_t> bytesAt;
    std::size_t sent = 0;
    for (std::size_t i = 0; i + 1 < writes.size(); sent += writes[i++]) {
        if (sent >= total / 2) {
            bytesAt[writes[i]] += writes[i];
            ASSERT_TRUE(writes[i] * 2 >= c.holds && writes[i] <= c.holds * 2)
                << "write " << i << " took " << writes[i] << " bytes; the writes:" << runs(writes);
        }
    }
    EXPECT_GT(bytesAt[c.holds] * 2, total / 2) << "the writes:" << runs(writes);
}

INSTANTIATE_TEST_SUITE_P(Sinks, BlockWritesTest, testing::ValuesIn(kWritesCases));

// Builds with the tests check the writer's invariants as they run: given no
// sizes to take in turn, the output stops at once rather than read past them.
TEST(BlockOutputDeathTest, InvariantsAreChecked) {
    EXPECT_DEATH(BlockOutput(std::span<const std::size_t>{}),
                 "a list of block sizes holds one at least");
}

}  // namespace
