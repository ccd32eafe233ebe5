#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "element_count.hpp"

namespace {

struct CountCase {
    const char* text;
    std::optional<std::int32_t> count;
};

void PrintTo(const CountCase& c, std::ostream* os) { *os << testing::PrintToString(c.text); }

// The atoi-style reading callers rely on, and the range check that replaces
// atoi's overflow: nothing outside 0..31 gets through, however it is written.
const CountCase kCountCases[] = {
    {"3", 3},
    {"+3", 3},
    {"03", 3},
    {"3.9", 3},
    {"3abc", 3},
    {" \t\n\v\f\r3", 3},
    {"010", 10},
    {"0x10", 0},
    {"0", 0},
    {"-0", 0},
    {"+0", 0},
    {"", 0},
    {"abc", 0},
    {"-", 0},
    {"+", 0},
    {"+-3", 0},
    {"- 3", 0},
    {"31", 31},
    {"0000000000000000000031", 31},
    {"-00000000000000000000", 0},
    {"31 32", 31},
    {"32", std::nullopt},
    {"-1", std::nullopt},
    {"-31", std::nullopt},
    {"100", std::nullopt},
    {"2147483647", std::nullopt},
    {"2147483648", std::nullopt},
    {"-2147483648", std::nullopt},
    {"4294967299", std::nullopt},
    {"18446744073709551619", std::nullopt},
    {"99999999999999999999999999999999999999", std::nullopt},
};

class ElementCountTest : public testing::TestWithParam<CountCase> {};

TEST_P(ElementCountTest, ReadsLikeAtoiWithinRange) {
    EXPECT_EQ(readElementCount(GetParam().text), GetParam().count)
        << "text: \"" << GetParam().text << "\"";
}

INSTANTIATE_TEST_SUITE_P(Texts, ElementCountTest, testing::ValuesIn(kCountCases));

}  // namespace
