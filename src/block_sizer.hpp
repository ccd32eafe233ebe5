#pragma once

#include <chrono>
#include <cstddef>

// Picks the size of the writer's next block by timing the blocks already
// written, so that the size suits whatever takes the output on this host
// rather than the host it was tuned on.
//
// How fast blocks of a given size drain depends on who reads them and how:
// into a pipe the reader's own read size, how the two processes wake each
// other and what the caches hold all count, and the best size differs from
// reader to reader and from host to host by a factor of eight or more, with
// the worst ones several times slower. Into a file or /dev/null fewer, larger
// writes usually win. None of that can be asked of the system, but it can be
// measured: the time from one written block to the next is what a block of
// that size costs, making it included.
//
// The sizes are powers of two times the smallest. After a first window that
// only warms up (the reader is still starting, the caches are cold), the
// sizer climbs from one end of that range, a window of blocks at each size,
// while the rate improves, and settles on the best. Every so often it tries
// the sizes on either side of it and itself again, a window each, one right
// after the other so that a drift in the machine's load falls on all three
// alike, and climbs on where a neighbour is better: so it corrects a climb
// that noise misled and follows a reader whose pace changes. A slow reader
// makes every size drain alike, and the sizer stays where it is.
class BlockSizer {
public:
    // Sizes from `smallest` to at most `largest`, starting with the smallest
    // or the largest. With smallest == largest the size never changes.
    BlockSizer(std::size_t smallest, std::size_t largest, bool startSmall);

    // The size of the next block.
    std::size_t size() const { return smallest_ << step_; }

    // Tells the sizer that a block of size() bytes went out at `now` (any
    // steady clock's time since its epoch); size() may change.
    void written(std::chrono::nanoseconds now);

private:
    enum class Phase { WarmUp, Climb, Settle, CheckBelow, CheckHere, CheckAbove };

    // Acts on the rate, in bytes per nanosecond, of the window just ended.
    void measured(double rate);
    // After checking the neighbours: climb towards a better one, or settle.
    void decide();
    // The next step of a climb, or settling on the best size seen.
    void climbOn();

    std::size_t smallest_;
    unsigned top_ = 0;  // the step of the largest size
    unsigned step_ = 0;
    Phase phase_ = Phase::WarmUp;
    int direction_ = 1;
    unsigned best_ = 0;
    double bestRate_ = 0;
    unsigned misses_ = 0;
    double belowRate_ = 0;
    double hereRate_ = 0;
    double aboveRate_ = 0;
    bool started_ = false;
    std::chrono::nanoseconds windowStart_{0};
    std::size_t windowBytes_ = 0;
    unsigned windowBlocks_ = 0;
};
