#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <vector>

#include "block_sizer.hpp"

namespace {

constexpr std::size_t kSmallest = 4096;

// A reader that drains blocks of 4 KiB, 8 KiB, ... at the rates given (GB/s,
// that is bytes per nanosecond), each block's time off by up to `noise` of
// it; from second 1 on at the `later` rates, where there are any.
struct ReaderCase {
    const char* name;
    std::vector<double> rates;
    std::vector<double> later;
    double noise;
    bool startSmall;
};

void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }

const ReaderCase kReaderCases[] = {
    {"best at the smallest", {1.8, 1.4, 1.3, 1.0, 0.5, 0.4, 0.4, 0.4}, {}, 0, true},
    {"a narrow peak", {2.0, 4.0, 1.7, 1.2, 0.6, 0.4, 0.4, 0.4}, {}, 0, true},
    {"best in the middle", {0.5, 0.8, 1.2, 2.0, 3.0, 1.5, 1.0, 0.8}, {}, 0, true},
    {"best at the largest", {10, 14, 17, 19, 20, 21, 22, 23}, {}, 0, false},
    {"noisy", {2.0, 4.0, 1.7, 1.2, 0.6, 0.4, 0.4, 0.4}, {}, 0.3, true},
    {"a reader that changes its pace",
     {2.0, 4.0, 1.7, 1.2, 0.6, 0.4, 0.4, 0.4},
     {0.5, 0.8, 1.2, 2.0, 3.0, 1.5, 1.0, 0.8},
     0,
     true},
    {"a slow reader", {0.05, 0.05, 0.05, 0.05, 0.05, 0.05, 0.05, 0.05}, {}, 0, true},
};

class BlockSizerTest : public testing::TestWithParam<ReaderCase> {};

// Over the last of three seconds, the writer drains nearly as fast as the
// best size would: the sizer found it, again after the reader changed its
// pace, and trying other sizes now and then costs little.
TEST_P(BlockSizerTest, DrainsNearTheBestRate) {
    const ReaderCase& reader = GetParam();
    const std::size_t largest = kSmallest << (reader.rates.size() - 1);
    BlockSizer sizer(kSmallest, largest, reader.startSmall);
    constexpr double kSecond = 1e9;
    double now = 0;
    double bytesAtTheEnd = 0;
    std::uint32_t random = 1;
    while (now < 3 * kSecond) {
        const std::size_t size = sizer.size();
        ASSERT_TRUE(size >= kSmallest && size <= largest) << size;
        std::size_t step = 0;
        while ((kSmallest << step) < size) {
            ++step;
        }
        const auto& rates = now >= kSecond && !reader.later.empty() ? reader.later : reader.rates;
        random = random * 1664525 + 1013904223;
        const double off = reader.noise * (static_cast<double>(random >> 8) / (1 << 24) * 2 - 1);
        now += static_cast<double>(size) / rates[step] * (1 + off);
        if (now >= 2 * kSecond) {
            bytesAtTheEnd += static_cast<double>(size);
        }
        sizer.written(std::chrono::nanoseconds(static_cast<std::int64_t>(now)));
    }
    const auto& last = reader.later.empty() ? reader.rates : reader.later;
    const double best = *std::max_element(last.begin(), last.end());
    EXPECT_GE(bytesAtTheEnd / (now - 2 * kSecond) / best, 0.95);
}

INSTANTIATE_TEST_SUITE_P(Readers, BlockSizerTest, testing::ValuesIn(kReaderCases));

TEST(BlockSizerTest, OneSizeStaysPut) {
    BlockSizer sizer(3000, 3000, true);
    for (std::int64_t ms = 0; ms < 2000; ++ms) {
        sizer.written(std::chrono::milliseconds(ms));
        ASSERT_EQ(sizer.size(), 3000U);
    }
}

}  // namespace
