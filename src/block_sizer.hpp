#pragma once

#include <chrono>
#include <cstddef>
#include <optional>

// Picks the size of the writer's next block by timing the blocks already
// written, so that the size suits whatever takes the output on this host
// rather than the host it was tuned on.
//
// How fast blocks of a given size drain depends on who reads them and how:
// into a pipe the reader's own read size, how the two processes wake each
// other and what the caches hold all count, and the best size differs from
// reader to reader and from host to host (bench/run's pipe table shows the
// best size for three readers on the host it runs on). Into a file or
// /dev/null fewer, larger writes usually win. None of that can be asked of
// the system, but it can be measured: the time from one written block to the
// next is what a block of that size costs, the making of it included.
//
// The sizes are powers of two times the smallest. The sizer compares the
// size it holds with the sizes on either side of it in rounds of short
// windows of blocks, ordered so that a steady drift in the reader's pace or
// the machine's load falls on all three alike, and repeated within the round,
// since the pace through a pipe can jump from one window to the next. Where
// a neighbour drains clearly faster, it moves there and runs another round at
// once, climbing until nothing beside it is better; then it keeps that size
// for a long stretch before the next round, so that trying sizes costs
// little and a reader whose pace changes is still followed. A slow reader
// makes every size drain alike, and the sizer stays where it is; so does a
// stretch of sizes that drain alike, even with a better size beyond it.
//
// Most runs are short: a count of 16 is written in milliseconds. So the
// first search, from where the sizer starts to where it first settles,
// measures windows by bytes alone, each as many as the largest block, and
// so takes a few of those blocks' worth of output whatever the reader's
// pace; only the later rounds, which follow a reader over a long run, wait
// for windows of a fixed time.
class BlockSizer {
public:
    // Sizes from `smallest` to at most `largest`, starting with the largest
    // of them no larger than `start`. With smallest == largest the size
    // never changes.
    BlockSizer(std::size_t smallest, std::size_t largest, std::size_t start);

    // The size of the next block: the settled size, or during a round the one
    // under trial.
    std::size_t size() const { return smallest_ << step_; }

    // The size settled on, or, during a round, the one the round compares
    // its neighbours with.
    std::size_t settledSize() const { return smallest_ << settledStep_; }

    // Tells the sizer that a block of size() bytes went out at `reading` (any
    // steady clock's time since its epoch), or, without a time, that the
    // clock could not be read: the block then joins the window under way,
    // timed from the next reading, so that a failed reading neither stops
    // the search nor counts as a time. size() may change.
    void written(std::optional<std::chrono::nanoseconds> reading);

private:
    // Plans a round of windows around the settled size.
    void startRound();
    // Moves to a neighbour that drained faster in the round, or settles.
    void endRound();

    std::size_t smallest_;
    // Sizes as steps: the size is smallest_ << step.
    unsigned largestStep_ = 0;
    unsigned settledStep_ = 0;
    unsigned step_ = 0;  // the window under way
    // The round's windows, as offsets from settledStep_, and the one under
    // way.
    int plan_[6] = {};
    unsigned planSize_ = 0;
    unsigned planAt_ = 0;
    // Bytes and nanoseconds measured in the round, at the settled step and
    // on either side of it.
    double bytes_[3] = {};
    double nanos_[3] = {};
    // Whether the window under way is a long one at the settled size, and how
    // many short windows long it is: the first one only warms up (the
    // reader is still starting, the caches are cold).
    bool settling_ = true;
    unsigned settleWindows_ = 1;
    // Whether the first search is under way, with windows of bytes.
    bool searching_ = true;
    bool started_ = false;
    std::chrono::nanoseconds windowStart_{0};
    std::size_t windowBytes_ = 0;
    unsigned windowBlocks_ = 0;
};
