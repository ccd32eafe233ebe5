#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The fact text written straight from the definition, one line at a time and
// as slowly as need be: subset i holds the element at position j exactly when
// bit j of i is set.
inline std::string referenceFacts(const std::vector<std::int32_t>& elements) {
    const auto n = elements.size();
    const std::uint64_t subsets = std::uint64_t{1} << n;
    std::string text = "#const n = " + std::to_string(n) + ".\n";
    text += "#const p = " + std::to_string(subsets - 1) + ".\n";
    for (std::uint64_t i = 1; i < subsets; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            if ((i >> j) % 2 == 1) {
                text +=
                    "powerSet(" + std::to_string(i) + "," + std::to_string(elements[j]) + ").\n";
            }
        }
    }
    return text;
}

inline std::vector<std::int32_t> oneTo(std::int32_t n) {
    std::vector<std::int32_t> values;
    for (std::int32_t v = 1; v <= n; ++v) {
        values.push_back(v);
    }
    return values;
}
