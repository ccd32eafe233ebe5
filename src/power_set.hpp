#pragma once

#include <cstdint>

// The largest count whose subset numbers (up to 2^n - 1) fit a signed 32-bit
// integer, the width of an ASP integer.
inline constexpr std::int32_t kMaxElementCount = 31;

// Writes the power set of `elements[0..n)` to standard output as ASP facts:
// "#const n = N.", "#const p = 2^N-1.", then "powerSet(I,E)." for every
// non-empty subset I (numbered by bitmask: bit j of I selects elements[j])
// and every member E of it, subsets in ascending order, members in array order.
//
// `n` must lie in 0..kMaxElementCount; for any other `n` nothing is written and the result is
// EINVAL. With n == 0 `elements` is not read and may be null.
//
// Returns 0 once everything is written, or the errno of the first write that
// failed, at which the writer stopped.
int printPowerSet(const std::int32_t* elements, std::int32_t n);
