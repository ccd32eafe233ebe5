#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

// The longest subset's text: 31 lines of 34 bytes (a ten-digit number, an
// eleven-character element), the least any block must take.
inline constexpr std::size_t kLongestSubset = std::size_t{31} * 34;

// The facts of subsets `first` .. `last` written straight from the
// definition, one line at a time and as slowly as need be: subset i holds the
// element at position j exactly when bit j of i is set.
inline std::string referenceSubsets(const std::vector<std::int32_t>& elements, std::uint64_t first,
                                    std::uint64_t last) {
    std::string text;
    for (std::uint64_t i = first; i <= last; ++i) {
        for (std::size_t j = 0; j < elements.size(); ++j) {
            if ((i >> j) % 2 == 1) {
                text +=
                    "powerSet(" + std::to_string(i) + "," + std::to_string(elements[j]) + ").\n";
            }
        }
    }
    return text;
}

inline std::string referenceConstants(const std::vector<std::int32_t>& elements) {
    return "#const n = " + std::to_string(elements.size()) +
           ".\n#const p = " + std::to_string((std::uint64_t{1} << elements.size()) - 1) + ".\n";
}

// The whole text for `elements`: the #const lines, then every subset's facts.
inline std::string referenceFacts(const std::vector<std::int32_t>& elements) {
    return referenceConstants(elements) +
           referenceSubsets(elements, 1, (std::uint64_t{1} << elements.size()) - 1);
}

// The first `bytes` bytes of that text (all of it, if it is shorter),
// however large the whole.
inline std::string referenceStart(const std::vector<std::int32_t>& elements, std::size_t bytes) {
    std::string text = referenceConstants(elements);
    for (std::uint64_t i = 1; text.size() < bytes && i < std::uint64_t{1} << elements.size(); ++i) {
        text += referenceSubsets(elements, i, i);
    }
    return text.substr(0, bytes);
}

inline std::vector<std::int32_t> oneTo(std::int32_t n) {
    std::vector<std::int32_t> values;
    for (std::int32_t v = 1; v <= n; ++v) {
        values.push_back(v);
    }
    return values;
}

// Whether two texts of up to some hundred MB are equal; where they are not,
// says where they first part, line by line, and no more.
inline testing::AssertionResult sameText(const std::string& got, const std::string& want) {
    const auto [at, wanted] = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
    if (at == got.end() && wanted == want.end()) {
        return testing::AssertionSuccess();
    }
    const auto offset = static_cast<std::size_t>(at - got.begin());
    const std::size_t lineStart = got.rfind('\n', offset == 0 ? 0 : offset - 1);
    const std::size_t from = lineStart == std::string::npos || offset == 0 ? 0 : lineStart + 1;
    const auto line = [from](const std::string& text) {
        return text.substr(from, std::min<std::size_t>(text.find('\n', from), from + 80) - from);
    };
    return testing::AssertionFailure()
           << "texts part at byte " << offset << ", line "
           << std::count(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(from), '\n') + 1
           << ": got \"" << line(got) << "\", want \"" << line(want) << "\" (" << got.size()
           << " bytes got, " << want.size() << " wanted)";
}
