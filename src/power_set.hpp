#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Writes the power set of `elements[0..n)` to standard output as ASP facts:
// "#const n = N.", "#const p = 2^N-1.", then "powerSet(I,E)." for every
// non-empty subset I (numbered by bitmask: bit j of I selects elements[j])
// and every member E of it, subsets in ascending order, members in array order.
//
// `n` must lie in 0..31, the counts whose subset numbers fit a 32-bit signed
// integer; for any other `n` nothing is written and the result is EINVAL.
// With n == 0 `elements` is not read and may be null.
//
// Returns 0 once everything is written, or the errno of the first write that
// failed, at which the writer stopped.
int printPowerSet(const std::int32_t* elements, std::int32_t n);

// The facts of subsets `first` .. `last` alone, without the #const lines,
// in blocks whose sizes are taken from `blockSizes` in turn, over and over
// (the last block shorter), from a buffer that keeps no more room past the
// largest of them than the writer needs: for tests that choose where a
// block ends, say where the longest lines fall, and when the size changes.
// Writes nothing and returns EINVAL unless 1 <= n <= 31,
// 1 <= first <= last < 2^n, and every size takes the longest subset
// (31 lines of 34 bytes) and is at most 1 GiB. Otherwise as printPowerSet.
int printSubsets(const std::int32_t* elements, std::int32_t n, std::uint32_t first,
                 std::uint32_t last, std::span<const std::size_t> blockSizes);
