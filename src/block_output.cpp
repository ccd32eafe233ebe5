#include "block_output.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "fallible_calls.hpp"
#include "invariant.hpp"

namespace {

// Whether standard output is a pipe or socket, read by another process as
// it is written.
bool outputIsPipe() {
    struct stat status {};
    return fstat(STDOUT_FILENO, &status) == 0 &&
           (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
}

// The most one write(2) call is given. Darwin refuses a write of more than
// INT_MAX bytes with EINVAL, where other systems take part of it; a larger
// block goes out in several calls, as a partial write would.
constexpr std::size_t kLargestWrite = INT_MAX;

// Whether a write's errno says that a non-blocking output is full. POSIX
// allows EAGAIN and EWOULDBLOCK to differ, and either to be the answer.
bool isFull(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

// Waits in the kernel, using no CPU, until standard output takes more; a
// signal that cuts the wait short does not end it. Returns 0, or the errno
// of a wait that failed, which fails the write.
int awaitRoom() {
    while (waitForOutput() != 0) {
        if (errno != EINTR) {
            return errno != 0 ? errno : EIO;
        }
    }
    return 0;
}

// The largest of `sizes`, which size() takes in turn and so must not be
// empty.
std::size_t largestOf(std::span<const std::size_t> sizes) {
    POWERFACTS_ASSERT(!sizes.empty(), "a list of block sizes holds one at least");
    return *std::max_element(sizes.begin(), sizes.end());
}

}  // namespace

BlockOutput::BlockOutput()
    : sizer_(std::in_place, kSmallestBlock, kLargestBlock,
             outputIsPipe() ? kMiddleBlock : kLargestBlock),
      largest_(kLargestBlock) {}

BlockOutput::BlockOutput(std::span<const std::size_t> sizes)
    : sizes_(sizes), largest_(largestOf(sizes)) {}

int BlockOutput::put(const char* data, std::size_t bytes) {
    while (bytes > 0) {
        const ssize_t taken = writeOutput(data, std::min(bytes, kLargestWrite));
        if (taken < 0) {
            if (errno == EINTR) {
                continue;
            }
            // A non-blocking output that is full for now: a CI log streamer,
            // a terminal left non-blocking by an earlier program, an event
            // loop's pipe. Its reader is only slower than this writer, so the
            // rest of the block waits for room rather than fail the run.
            if (isFull(errno)) {
                if (const int error = awaitRoom()) {
                    return error;
                }
                continue;
            }
            return errno != 0 ? errno : EIO;
        }
        // write(2) takes nothing of a non-empty block only where it should
        // have failed; as coreutils' full_write does, call that a full device
        // rather than try for ever.
        if (taken == 0) {
            return ENOSPC;
        }
        data += taken;
        bytes -= static_cast<std::size_t>(taken);
    }
    // Any wait for room above falls within this block's time, as a blocking
    // write's wait in the kernel does: the sizer sees what the block cost.
    if (sizer_) {
        sizer_->written(monotonicNow());
    } else {
        next_ = (next_ + 1) % sizes_.size();
    }
    return 0;
}
