#include "block_sizer.hpp"

namespace {

using std::chrono::milliseconds;

// A window lasts at least this many blocks, and, once the first search has
// settled (its windows are counted in bytes), at least this long: long
// against a clock tick and a reader's wake-up, which make single blocks
// noisy, short against a run of seconds.
constexpr std::chrono::nanoseconds kWindow = milliseconds(8);
constexpr unsigned kWindowBlocks = 4;
// A settled size is kept this many windows before the next round: of every
// 70 windows, at most 4 go to the sizes beside it, so a neighbour that drains
// half as fast costs under 3 % of the time.
constexpr unsigned kSettleWindows = 64;
// A neighbour must beat the settled size by this much to be taken, so that the
// sizer does not wander between sizes that drain alike.
constexpr double kBetter = 1.02;
// The order of a round's windows, as steps from the settled size: each size's
// windows lie, on average, at the round's middle, so that a steady drift in
// pace weighs on each size alike.
constexpr int kRound[] = {-1, 0, 1, 1, 0, -1};

}  // namespace

BlockSizer::BlockSizer(std::size_t smallest, std::size_t largest, std::size_t start)
    : smallest_(smallest) {
    while (largestStep_ < 31 && (smallest << (largestStep_ + 1)) <= largest) {
        ++largestStep_;
    }
    while (settledStep_ < largestStep_ && (smallest << (settledStep_ + 1)) <= start) {
        ++settledStep_;
    }
    step_ = settledStep_;
}

void BlockSizer::written(std::optional<std::chrono::nanoseconds> reading) {
    if (largestStep_ == 0) {
        return;
    }
    // When the first block was begun is not known; time from its end on.
    if (!started_) {
        started_ = reading.has_value();
        windowStart_ = reading.value_or(windowStart_);
        return;
    }
    windowBytes_ += size();
    ++windowBlocks_;
    // Without a time the block counts in the window under way, which the
    // next reading ends or goes on with.
    if (!reading) {
        return;
    }
    const std::chrono::nanoseconds now = *reading;
    const std::chrono::nanoseconds elapsed = now - windowStart_;
    const unsigned windows = settling_ ? settleWindows_ : 1;
    const bool ended = searching_ ? windowBytes_ >= windows * (smallest_ << largestStep_)
                                  : elapsed >= windows * kWindow;
    if (!ended || windowBlocks_ < kWindowBlocks) {
        return;
    }
    if (settling_) {
        settling_ = false;
        startRound();
    } else {
        const auto slot = static_cast<unsigned>(plan_[planAt_] + 1);
        bytes_[slot] += static_cast<double>(windowBytes_);
        nanos_[slot] += static_cast<double>(elapsed.count());
        if (++planAt_ == planSize_) {
            endRound();
        } else {
            step_ = settledStep_ + static_cast<unsigned>(plan_[planAt_]);
        }
    }
    windowStart_ = now;
    windowBytes_ = 0;
    windowBlocks_ = 0;
}

void BlockSizer::startRound() {
    planSize_ = 0;
    for (const int offset : kRound) {
        if ((offset >= 0 || settledStep_ > 0) && (offset <= 0 || settledStep_ < largestStep_)) {
            plan_[planSize_++] = offset;
        }
    }
    planAt_ = 0;
    for (unsigned slot = 0; slot < 3; ++slot) {
        bytes_[slot] = 0;
        nanos_[slot] = 0;
    }
    step_ = settledStep_ + static_cast<unsigned>(plan_[0]);
}

void BlockSizer::endRound() {
    // Rates in bytes per nanosecond; 0 where a side was not tried.
    double rates[3];
    for (unsigned slot = 0; slot < 3; ++slot) {
        rates[slot] = nanos_[slot] > 0 ? bytes_[slot] / nanos_[slot] : 0;
    }
    const int better = rates[0] > rates[2] ? 0 : 2;
    if (rates[better] > rates[1] * kBetter) {
        // Climb on: a round around the new size at once.
        settledStep_ = settledStep_ + static_cast<unsigned>(better) - 1;
        startRound();
        return;
    }
    step_ = settledStep_;
    settling_ = true;
    settleWindows_ = kSettleWindows;
    searching_ = false;
}
