#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "fallible_calls.hpp"

namespace {

using namespace std::chrono_literals;

// The tool's own definitions of the calls, not the test build's stand-ins.

TEST(FallibleCallsTest, AllocationsHoldWhatWasAsked) {
    // A sanitizer build sees any store past what was allocated.
    std::int32_t* const elements = allocateElements(31);
    ASSERT_NE(elements, nullptr);
    std::fill_n(elements, 31, -1);
    std::free(elements);
    char* const buffer = allocateOutputBuffer(std::size_t{1} << 20);
    ASSERT_NE(buffer, nullptr);
    std::fill_n(buffer, std::size_t{1} << 20, 'x');
    std::free(buffer);
}

// In a child: stdout holds text that only closing it writes, to descriptor
// `fd`; the child exits with the errno closeOutput left, or 0 if it succeeded.
[[noreturn]] void closeWithPendingText(int fd) {
    signal(SIGPIPE, SIG_IGN);
    std::fflush(stdout);
    dup2(fd, STDOUT_FILENO);
    // No line feed, so that even a line-buffered stdout keeps it.
    std::fputs("powerSet(1,1).", stdout);
    errno = 0;
    _exit(closeOutput() == 0 ? 0 : errno);
}

TEST(FallibleCallsTest, CloseReportsTheFailedFlush) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    EXPECT_EXIT(closeWithPendingText(ends[1]), testing::ExitedWithCode(EPIPE), "");
    close(ends[1]);
}

// Nothing to flush, so the flush succeeds; the close itself must fail and
// say why.
[[noreturn]] void closeClosedOutput() {
    std::fflush(stdout);
    close(STDOUT_FILENO);
    errno = 0;
    _exit(closeOutput() == 0 ? 0 : errno);
}

TEST(FallibleCallsTest, CloseReportsTheFailedClose) {
    EXPECT_EXIT(closeClosedOutput(), testing::ExitedWithCode(EBADF), "");
}

TEST(FallibleCallsTest, CloseSucceedsWhereTheTextGoesOut) {
    const int null = open("/dev/null", O_WRONLY);
    ASSERT_GE(null, 0);
    EXPECT_EXIT(closeWithPendingText(null), testing::ExitedWithCode(0), "");
    close(null);
}

// The sizer's windows are milliseconds long: read in the wrong unit, every
// window would end at once or never. Past a whole second, so that both
// parts of the time count.
TEST(FallibleCallsTest, ClockCountsNanoseconds) {
    const auto ourStart = monotonicNow();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(1100ms);
    const std::chrono::nanoseconds theirs = std::chrono::steady_clock::now() - start;
    const auto ourEnd = monotonicNow();
    ASSERT_TRUE(ourStart && ourEnd);
    const std::chrono::nanoseconds ours = *ourEnd - *ourStart;
    EXPECT_GT(ours, theirs / 2);
    EXPECT_LT(ours, theirs * 2);
}

}  // namespace
