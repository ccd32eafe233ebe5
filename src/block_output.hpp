#pragma once

#include <bit>
#include <cstddef>
#include <optional>
#include <span>

#include "block_sizer.hpp"

// Standard output as the fact writer sees it: blocks of a size this side
// chooses, each handed to the kernel whole.
//
// Blocks go out with write(2), not stdio. The sizes are chosen for the
// kernel to see, and only write(2) promises that everywhere: BSD-derived
// stdio writes an unbuffered stream BUFSIZ bytes at a time, and BUFSIZ is
// 1024 there, so on FreeBSD, OpenBSD, NetBSD and on macOS before 14 a block
// of 512 KiB would reach the kernel as 512 writes of 1 KiB (glibc and musl
// pass it through whole, so Linux never shows it).
//
// The range the sizes are chosen from, by timing (BlockSizer). At most
// 512 KiB, so that memory grows by less than 1 MiB from small counts to large
// ones, whatever size wins.
inline constexpr std::size_t kSmallestBlock = std::size_t{4} << 10;
inline constexpr std::size_t kLargestBlock = std::size_t{512} << 10;
// The middle of the range, in steps of a power of two, rounded up: 64 KiB.
inline constexpr std::size_t kMiddleBlock =
    kSmallestBlock << ((std::countr_zero(kLargestBlock) - std::countr_zero(kSmallestBlock) + 1) /
                       2);

class BlockOutput {
public:
    // Sizes from kSmallestBlock to kLargestBlock, chosen by timing. Into a
    // pipe or socket the search starts in the middle of the range: a reader
    // on a CPU of its own tends to do best with small blocks, which stay in
    // the caches, and one that shares the writer's CPU (a busy or a one-CPU
    // machine) with large ones, each of which costs it one wake-up; from the
    // middle the first search reaches either end in a few rounds, where from
    // one end a short run would end before it got to the other. Elsewhere (a
    // file, a device) it starts with the largest, where fewer writes win.
    BlockOutput();

    // The sizes in `sizes`, one block each, in turn and over again: for a
    // buffer too small for the timed range, and for tests that choose where
    // blocks end and when their size changes. `sizes` must not be empty, and
    // must outlive this.
    explicit BlockOutput(std::span<const std::size_t> sizes);

    // The size wanted for the next block.
    std::size_t size() const { return sizer_ ? sizer_->size() : sizes_[next_]; }

    // The most size() ever gives.
    std::size_t largest() const { return largest_; }

    // The size the sizer settled on (see BlockSizer::settledSize).
    std::size_t settledSize() const { return sizer_ ? sizer_->settledSize() : size(); }

    // Writes `bytes` bytes at `data`: a block of size() bytes, or the last,
    // shorter one. One write(2) call, unless the kernel takes part of it, a
    // signal interrupts it or a non-blocking output is full (then it waits
    // for room); then as many as it takes. Returns 0, or the errno of the
    // write, or the wait, that failed. The next block's size may change.
    int put(const char* data, std::size_t bytes);

private:
    // The sizer, where the sizes are timed; else the sizes given.
    std::optional<BlockSizer> sizer_;
    std::span<const std::size_t> sizes_;
    std::size_t next_ = 0;
    std::size_t largest_;
};
