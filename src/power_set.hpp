#pragma once

#include <cstddef>
#include <cstdint>

// Writes the power set of `elements[0..n)` to standard output as ASP facts:
// "#const n = N.", "#const p = 2^N-1.", then "powerSet(I,E)." for every
// non-empty subset I (numbered by bitmask: bit j of I selects elements[j])
// and every member E of it, subsets in ascending order, members in array order.
//
// `n` must lie in 0..31, the counts whose subset numbers fit a 32-bit signed
// integer; for any other `n` nothing is written. With n == 0 `elements` is
// not read and may be null.
//
// Output errors are reported the stdio way: at the first failed write the
// function stops and returns, leaving ferror(stdout) set and errno holding
// the reason. On success everything written has been flushed from stdout.
void printPowerSet(const std::int32_t* elements, std::int32_t n);

// The facts of subsets `first` .. `last` alone, without the #const lines,
// written in blocks of exactly `blockSize` bytes (the last one shorter) from
// a buffer that keeps no more room past a block than the writer needs: for
// tests that choose where a block ends, say where the longest lines fall.
// Writes nothing unless 1 <= n <= 31, 1 <= first <= last < 2^n and
// `blockSize` takes the longest subset (31 lines of 34 bytes). Errors as for
// printPowerSet.
void printSubsets(const std::int32_t* elements, std::int32_t n, std::uint32_t first,
                  std::uint32_t last, std::size_t blockSize);
