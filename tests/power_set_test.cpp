#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <vector>

#include "power_set.hpp"
#include "reference_facts.hpp"
#include "tool_runner.hpp"

namespace {

std::string writerOutput(const std::vector<std::int32_t>& elements) {
    return captureStdout(
        [&] { printPowerSet(elements.data(), static_cast<std::int32_t>(elements.size())); });
}

TEST(PowerSetTest, PrintsValuesNotPositions) {
    EXPECT_EQ(writerOutput({10, 20}),
              "#const n = 2.\n#const p = 3.\n"
              "powerSet(1,10).\npowerSet(2,20).\npowerSet(3,10).\npowerSet(3,20).\n");
}

TEST(PowerSetTest, ZeroElementsReadsNoArray) {
    EXPECT_EQ(captureStdout([] { printPowerSet(nullptr, 0); }), "#const n = 0.\n#const p = 0.\n");
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
    // Only the longest lines, so the room kept at the buffer's end is used to
    // the last byte; a sanitizer build catches any write past it.
    std::vector<std::int32_t>(14, INT32_MIN),
};

class ElementValuesTest : public testing::TestWithParam<std::vector<std::int32_t>> {};

TEST_P(ElementValuesTest, MatchesDefinition) {
    EXPECT_EQ(writerOutput(GetParam()), referenceFacts(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Tables, ElementValuesTest, testing::ValuesIn(kElementTables));

// A library caller can pass any count; the subset numbers of a count past 31
// would not fit an ASP integer, so such a call must not write a wrong text.
TEST(PowerSetTest, WritesNothingForCountsOutOfRange) {
    const std::vector<std::int32_t> elements(40, 1);
    for (const std::int32_t n : {-1, 32, 33, 40, INT32_MIN}) {
        EXPECT_EQ(captureStdout([&] { printPowerSet(elements.data(), n); }), "") << "n = " << n;
    }
}

}  // namespace
