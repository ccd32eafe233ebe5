#pragma once

// The writer's test seam, apart from the tool's interface in power_set.hpp.

#include <cstddef>
#include <cstdint>
#include <span>

// The facts of subsets `first` .. `last` alone, without the #const lines,
// in blocks whose sizes are taken from `blockSizes` in turn, over and over
// (the last block shorter), from a buffer that keeps no more room past the
// largest of them than the writer needs: for tests that choose where a
// block ends, say where the longest lines fall, and when the size changes.
// Writes nothing and returns EINVAL unless 1 <= n <= 31,
// 1 <= first <= last < 2^n, and every size takes the longest subset
// (31 lines of 34 bytes) and is at most 1 GiB; writes nothing and returns
// ENOMEM where its buffer cannot be had. Otherwise as printPowerSet.
int printSubsets(const std::int32_t* elements, std::int32_t n, std::uint32_t first,
                 std::uint32_t last, std::span<const std::size_t> blockSizes);
