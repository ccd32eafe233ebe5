#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <vector>

#include "block_sizer.hpp"

namespace {

constexpr std::size_t kSmallest = 4096;

// A reader that drains blocks of 4 KiB, 8 KiB, ... at the rates given (GB/s,
// that is bytes per nanosecond), each block's time off by up to `noise` of
// it; from second 1 on at the `later` rates, where there are any. With
// `drift`, every rate changes by that much per second, compounded, over the
// first second: a reader, or a machine, whose pace changes steadily.
struct ReaderCase {
    const char* name;
    std::vector<double> rates;
    std::vector<double> later;
    double noise;
    bool startSmall;
    double drift;
    // Every how many blocks the clock cannot be read; 0: never.
    unsigned failedReadings = 0;
};

void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }

const std::vector<double> kNarrowPeak = {2.0, 4.0, 1.7, 1.2, 0.6, 0.4, 0.4, 0.4};
const std::vector<double> kAllAlike(8, 1.0);

const ReaderCase kReaderCases[] = {
    {"best at the smallest", {1.8, 1.4, 1.3, 1.0, 0.5, 0.4, 0.4, 0.4}, {}, 0, true, 0},
    {"best at the smallest, from the largest",
     {1.8, 1.4, 1.3, 1.0, 0.8, 0.6, 0.5, 0.4},
     {},
     0,
     false,
     0},
    {"a narrow peak", kNarrowPeak, {}, 0, true, 0},
    {"best in the middle", {0.5, 0.8, 1.2, 2.0, 3.0, 1.5, 1.0, 0.8}, {}, 0, true, 0},
    {"best at the largest", {10, 14, 17, 19, 20, 21, 22, 23}, {}, 0, false, 0},
    {"best at the largest, from the smallest", {1, 2, 3, 4, 5, 6, 7, 8}, {}, 0, true, 0},
    {"noisy", kNarrowPeak, {}, 0.3, true, 0},
    {"a reader that changes its pace",
     kNarrowPeak,
     {0.5, 0.8, 1.2, 2.0, 3.0, 1.5, 1.0, 0.8},
     0,
     true,
     0},
    {"a slow reader", std::vector<double>(8, 0.05), {}, 0, true, 0},
    // Sizes within the margin of each other: no reason to move.
    {"sizes that drain alike", {1.0, 1.01, 1.0, 1.01, 1.0, 1.01, 1.0, 1.01}, {}, 0, true, 0},
    // All sizes alike, but the pace falls by 3 % a window: whichever size a
    // round tried first would look best, unless each size is tried as early
    // as late.
    {"a reader that slows down", kAllAlike, {}, 0, true, -4},
    {"a reader that slows down, from the largest", kAllAlike, {}, 0, false, -4},
    {"a clock that fails now and then", kNarrowPeak, {}, 0, true, 0, 5},
};

class BlockSizerTest : public testing::TestWithParam<ReaderCase> {};

// The step of a size: kSmallest << step.
std::size_t stepOf(std::size_t size) {
    std::size_t step = 0;
    while ((kSmallest << step) < size) {
        ++step;
    }
    return step;
}

// Over the last of three seconds, the writer drains nearly as fast as the
// best size would, and holds a size that drains nearly as fast as the best,
// without moving while it tries the sizes beside it: the sizer found it,
// again after the reader changed its pace, and trying other sizes now and
// then costs little.
TEST_P(BlockSizerTest, DrainsNearTheBestRate) {
    const ReaderCase& reader = GetParam();
    const std::size_t largest = kSmallest << (reader.rates.size() - 1);
    BlockSizer sizer(kSmallest, largest, reader.startSmall ? kSmallest : largest);
    constexpr double kSecond = 1e9;
    double now = 0;
    double bytesAtTheEnd = 0;
    double bestAtTheEnd = 0;  // what the best size would have drained meanwhile
    unsigned movesAtTheEnd = 0;
    std::uint32_t random = 1;
    unsigned blocks = 0;
    while (now < 3 * kSecond) {
        const std::size_t size = sizer.size();
        ASSERT_TRUE(size >= kSmallest && size <= largest) << size;
        const std::size_t step = stepOf(size);
        const auto& rates = now >= kSecond && !reader.later.empty() ? reader.later : reader.rates;
        const double pace = std::exp(reader.drift * std::min(now / kSecond, 1.0));
        random = random * 1664525 + 1013904223;
        const double off = reader.noise * (static_cast<double>(random >> 8) / (1 << 24) * 2 - 1);
        const double took = static_cast<double>(size) / (rates[step] * pace) * (1 + off);
        if (now >= 2 * kSecond) {
            bytesAtTheEnd += static_cast<double>(size);
            bestAtTheEnd += took * *std::max_element(rates.begin(), rates.end()) * pace;
        }
        now += took;
        const std::size_t held = sizer.settledSize();
        const bool failed = reader.failedReadings != 0 && ++blocks % reader.failedReadings == 0;
        sizer.written(
            failed ? std::nullopt
                   : std::optional(std::chrono::nanoseconds(static_cast<std::int64_t>(now))));
        movesAtTheEnd += now >= 2 * kSecond && sizer.settledSize() != held ? 1 : 0;
    }
    EXPECT_GE(bytesAtTheEnd / bestAtTheEnd, 0.95);
    const auto& rates = reader.later.empty() ? reader.rates : reader.later;
    EXPECT_GE(rates[stepOf(sizer.settledSize())],
              0.95 * *std::max_element(rates.begin(), rates.end()))
        << "holds " << sizer.settledSize() << " bytes";
    EXPECT_EQ(movesAtTheEnd, 0U) << "the size held still moves in the last second";
}

INSTANTIATE_TEST_SUITE_P(Readers, BlockSizerTest, testing::ValuesIn(kReaderCases));

TEST(BlockSizerTest, OneSizeStaysPut) {
    BlockSizer sizer(3000, 3000, 3000);
    for (std::int64_t ms = 0; ms < 2000; ++ms) {
        sizer.written(std::chrono::milliseconds(ms));
        ASSERT_EQ(sizer.size(), 3000U);
    }
}

}  // namespace
