#include <gtest/gtest.h>

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

INSTANTIATE_TEST_SUITE_P(Starts, SubsetNumberTest,
                         testing::Values(0U, 990U, 98990U, 9999000U, 99999000U, 199999000U,
                                         999999000U, 1999999000U, 2147481000U, UINT32_MAX - 1000U));

}  // namespace
