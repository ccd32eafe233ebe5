#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "block_output.hpp"
#include "tool_runner.hpp"

namespace {

using namespace std::chrono_literals;

// The sizer's windows are milliseconds long: read in the wrong unit, every
// window would end at once or never. Past a whole second, so that both
// parts of the time count.
TEST(BlockOutputTest, ClockCountsNanoseconds) {
    const auto ourStart = monotonicNow();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(1100ms);
    const std::chrono::nanoseconds theirs = std::chrono::steady_clock::now() - start;
    const std::chrono::nanoseconds ours = monotonicNow() - ourStart;
    EXPECT_GT(ours, theirs / 2);
    EXPECT_LT(ours, theirs * 2);
}

bool isBlockSize(std::size_t size) {
    for (std::size_t block = kSmallestBlock; block <= kLargestBlock; block *= 2) {
        if (size == block) {
            return true;
        }
    }
    return false;
}

struct WritesCase {
    const char* fault;
    const char* count;
    Sink sink;
    std::size_t firstBlock;  // 0: every block of one size, whatever it is
};

void PrintTo(const WritesCase& c, std::ostream* os) {
    PrintTo(c.sink, os);
    *os << ", n = " << c.count << (*c.fault != '\0' ? ", " : "") << c.fault;
}

// Where the sizer starts looking: small blocks into a pipe, large ones
// elsewhere. Without its buffer the tool writes blocks of one size from a
// small one on the stack, a little under 4 KiB: the 3086 bytes for n = 6 go
// past the first block's end within the last subset.
const WritesCase kWritesCases[] = {
    {"", "16", Sink::File, kLargestBlock},
    {"", "16", Sink::Pipe, kSmallestBlock},
    {"no-buffer", "6", Sink::File, 0},
};

class BlockWritesTest : public testing::TestWithParam<WritesCase> {};

// The kernel sees the sizes the sizer chose: every block in one write call,
// the last one no larger than a block.
TEST_P(BlockWritesTest, EachBlockInOneWrite) {
    const WritesCase& c = GetParam();
    const ToolRun run = runToolWithFault(c.fault, {c.count}, c.sink);
    ASSERT_EQ(run.exitStatus, 0);
    ASSERT_GE(run.writes.size(), 2U);
    const std::size_t first = run.writes.front();
    if (c.firstBlock != 0) {
        EXPECT_EQ(first, c.firstBlock);
    }
    const auto isBlock = [&](std::size_t size) {
        return c.firstBlock == 0 ? size == first : isBlockSize(size);
    };
    std::size_t total = run.writes.back();
    for (std::size_t i = 0; i + 1 < run.writes.size(); ++i) {
        ASSERT_TRUE(isBlock(run.writes[i])) << "write " << i << " of " << run.writes.size()
                                            << " took " << run.writes[i] << " bytes";
        total += run.writes[i];
    }
    EXPECT_LE(run.writes.back(), c.firstBlock == 0 ? first : kLargestBlock);
    EXPECT_EQ(total, run.out.size());
}

INSTANTIATE_TEST_SUITE_P(Sinks, BlockWritesTest, testing::ValuesIn(kWritesCases));

}  // namespace
