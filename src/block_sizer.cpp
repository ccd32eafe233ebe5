#include "block_sizer.hpp"

#include <algorithm>

namespace {

using std::chrono::milliseconds;

// A measurement lasts at least this long and this many blocks: long against
// a clock tick and a reader's wake-up, which make single blocks noisy, short
// against a run of seconds.
constexpr std::chrono::nanoseconds kWindow = milliseconds(8);
constexpr unsigned kWindowBlocks = 4;
// A settled size is kept this many windows before its neighbours are tried,
// so trying them costs a few percent at most.
constexpr unsigned kSettleWindows = 32;
// A climb goes on past sizes no better than the best seen, this many of them,
// so that one noisy window does not end it.
constexpr unsigned kMisses = 2;
// A neighbour must beat the settled size by this much to be taken, so that
// the sizer does not wander between sizes that drain alike.
constexpr double kBetter = 1.02;

}  // namespace

BlockSizer::BlockSizer(std::size_t smallest, std::size_t largest, bool startSmall)
    : smallest_(smallest) {
    while (top_ < 31 && (smallest << (top_ + 1)) <= largest) {
        ++top_;
    }
    step_ = startSmall ? 0 : top_;
    direction_ = startSmall ? 1 : -1;
    best_ = step_;
}

void BlockSizer::written(std::chrono::nanoseconds now) {
    if (top_ == 0) {
        return;
    }
    // When the first block was begun is not known; time from its end on.
    if (!started_) {
        started_ = true;
        windowStart_ = now;
        return;
    }
    windowBytes_ += size();
    ++windowBlocks_;
    const std::chrono::nanoseconds elapsed = now - windowStart_;
    const std::chrono::nanoseconds length =
        phase_ == Phase::Settle ? kSettleWindows * kWindow : kWindow;
    if (elapsed < length || windowBlocks_ < kWindowBlocks) {
        return;
    }
    const double rate =
        static_cast<double>(windowBytes_) /
        static_cast<double>(std::max<std::chrono::nanoseconds::rep>(elapsed.count(), 1));
    windowStart_ = now;
    windowBytes_ = 0;
    windowBlocks_ = 0;
    measured(rate);
}

void BlockSizer::measured(double rate) {
    switch (phase_) {
        case Phase::WarmUp:
            phase_ = Phase::Climb;
            break;
        case Phase::Climb:
            if (rate > bestRate_) {
                best_ = step_;
                bestRate_ = rate;
                misses_ = 0;
            } else {
                ++misses_;
            }
            climbOn();
            break;
        case Phase::Settle:
            belowRate_ = 0;
            aboveRate_ = 0;
            if (step_ > 0) {
                --step_;
                phase_ = Phase::CheckBelow;
            } else {
                phase_ = Phase::CheckHere;
            }
            break;
        case Phase::CheckBelow:
            belowRate_ = rate;
            step_ = best_;
            phase_ = Phase::CheckHere;
            break;
        case Phase::CheckHere:
            hereRate_ = rate;
            if (step_ < top_) {
                ++step_;
                phase_ = Phase::CheckAbove;
            } else {
                decide();
            }
            break;
        case Phase::CheckAbove:
            aboveRate_ = rate;
            decide();
            break;
    }
}

void BlockSizer::decide() {
    const bool below = belowRate_ > hereRate_ * kBetter && belowRate_ >= aboveRate_;
    const bool above = !below && aboveRate_ > hereRate_ * kBetter;
    if (below || above) {
        direction_ = below ? -1 : 1;
        best_ = below ? best_ - 1 : best_ + 1;
        bestRate_ = below ? belowRate_ : aboveRate_;
        misses_ = 0;
        step_ = best_;
        phase_ = Phase::Climb;
        climbOn();
        return;
    }
    step_ = best_;
    phase_ = Phase::Settle;
}

void BlockSizer::climbOn() {
    const bool room = direction_ > 0 ? step_ < top_ : step_ > 0;
    if (misses_ < kMisses && room) {
        step_ = direction_ > 0 ? step_ + 1 : step_ - 1;
        return;
    }
    step_ = best_;
    phase_ = Phase::Settle;
}
