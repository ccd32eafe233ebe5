#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "subset_number.hpp"

namespace {

// The digits; the writer ORs its text into the zeros after them.
std::string text(const SubsetNumber& number) {
    char stored[kChunkSize];
    const Chunk digits = number.digits();
    std::memcpy(stored, &digits, sizeof stored);
    EXPECT_EQ(std::string(stored + number.size(), stored + sizeof stored),
              std::string(sizeof stored - number.size(), '\0'));
    return {stored, number.size()};
}

// Runs of increments across every change in the number of digits, and across
// the boundary between the two words the digits are kept in (8 digits), which
// the writer only reaches for counts of 27 and more.
class SubsetNumberTest : public testing::TestWithParam<std::uint32_t> {};

TEST_P(SubsetNumberTest, CountsLikeToString) {
    std::uint32_t value = GetParam();
    SubsetNumber number(value);
    ASSERT_EQ(text(number), std::to_string(value));
    for (int step = 0; step < 2500 && value < UINT32_MAX; ++step) {
        const bool longer = number.increment();
        ++value;
        ASSERT_EQ(text(number), std::to_string(value)) << "after " << value - 1;
        ASSERT_EQ(longer, std::to_string(value).size() != std::to_string(value - 1).size());
    }
}

// Four at a time from a multiple of four, as the writer counts its groups:
// each of the four, and the number after them.
TEST_P(SubsetNumberTest, TakesFourLikeToString) {
    std::uint32_t value = std::max(12U, GetParam() & ~3U);
    SubsetNumber number(value);
    for (int step = 0; step < 700 && value < UINT32_MAX - 4; ++step, value += 4) {
        Chunk digits[4];
        const bool longer = number.takeFour(digits);
        for (std::uint32_t k = 0; k < 4; ++k) {
            char stored[kChunkSize];
            std::memcpy(stored, &digits[k], sizeof stored);
            ASSERT_EQ(std::string(stored, std::strlen(stored)), std::to_string(value + k));
        }
        ASSERT_EQ(text(number), std::to_string(value + 4));
        ASSERT_EQ(longer, std::to_string(value + 4).size() != std::to_string(value).size());
    }
}

INSTANTIATE_TEST_SUITE_P(Starts, SubsetNumberTest,
                         testing::Values(0U, 990U, 98990U, 9999000U, 99999000U, 199999000U,
                                         999999000U, 1999999000U, 2147481000U, UINT32_MAX - 1000U));

}  // namespace
