#pragma once

#include <cstdint>
#include <optional>

#include "power_set.hpp"

// Reads the element count from command-line text the way atoi reads it:
// leading white space, one optional sign, then the longest run of decimal
// digits; anything after that is ignored and text without digits reads as 0.
// Unlike atoi it never overflows: any value outside 0..kMaxElementCount,
// however many digits it has, gives std::nullopt.
std::optional<std::int32_t> readElementCount(const char* text);
