#include "block_output.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "fallible_calls.hpp"

namespace {

// Whether standard output is a pipe or socket, read by another process as
// it is written.
bool outputIsPipe() {
    struct stat status {};
    return fstat(STDOUT_FILENO, &status) == 0 &&
           (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
}

}  // namespace

BlockOutput::BlockOutput()
    : sizer_(kSmallestBlock, kLargestBlock, outputIsPipe() ? kMiddleBlock : kLargestBlock),
      largest_(kLargestBlock) {}

BlockOutput::BlockOutput(std::span<const std::size_t> sizes)
    : sizer_(sizes.front(), sizes.front(), sizes.front()),
      sizes_(sizes),
      largest_(*std::max_element(sizes.begin(), sizes.end())) {}

int BlockOutput::put(const char* data, std::size_t bytes) {
    while (bytes > 0) {
        const ssize_t taken = writeOutput(data, bytes);
        if (taken < 0) {
            if (errno == EINTR) {
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
    if (sizes_.empty()) {
        sizer_.written(monotonicNow());
    } else {
        next_ = (next_ + 1) % sizes_.size();
    }
    return 0;
}
