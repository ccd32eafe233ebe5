#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "block_output.hpp"
#include "reference_facts.hpp"
#include "tool_runner.hpp"

namespace {

using namespace std::chrono_literals;

constexpr const char* kNoArgument = "One argument expected: number of elements.\n";
constexpr const char* kTooMany =
    "Too many arguments supplied. Only one argument expected: number of elements.\n";
constexpr const char* kOutOfRange = "Number of elements must be between 0 and 31.\n";

struct UsageCase {
    std::vector<std::string> args;
    const char* message;
};

// Usage problems are answered on standard output with status 255, which
// scripts may depend on; nothing else is written.
void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.args.size() << " arguments"; }

const UsageCase kUsageCases[] = {
    {{}, kNoArgument},
    {{"3", "4"}, kTooMany},
    {{"3", ""}, kTooMany},
    {{"a", "b", "c"}, kTooMany},
};

class UsageTest : public testing::TestWithParam<UsageCase> {};

TEST_P(UsageTest, MessageOnStdoutStatus255) {
    const ToolRun run = runTool(GetParam().args);
    EXPECT_EQ(run.exitStatus, 255);
    EXPECT_EQ(run.out, GetParam().message);
    EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(ArgumentCounts, UsageTest, testing::ValuesIn(kUsageCases));

struct CountCase {
    const char* arg;
    const char* firstLines;
};

void PrintTo(const CountCase& c, std::ostream* os) { *os << testing::PrintToString(c.arg); }

// The count as the front end reads it, seen in the output's first lines.
const CountCase kCountCases[] = {
    {"0", "#const n = 0.\n#const p = 0.\n"},
    {"-0", "#const n = 0.\n#const p = 0.\n"},
    {"abc", "#const n = 0.\n#const p = 0.\n"},
    {"", "#const n = 0.\n#const p = 0.\n"},
    {"1", "#const n = 1.\n#const p = 1.\npowerSet(1,1).\n"},
    {" \t+3xyz", "#const n = 3.\n#const p = 7.\n"},
    {"010", "#const n = 10.\n#const p = 1023.\n"},
    {"0000000000000000000003", "#const n = 3.\n#const p = 7.\n"},
};

class CountTest : public testing::TestWithParam<CountCase> {};

TEST_P(CountTest, ReadsCount) {
    const ToolRun run = runTool({GetParam().arg});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out.substr(0, std::string(GetParam().firstLines).size()), GetParam().firstLines);
    EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(Texts, CountTest, testing::ValuesIn(kCountCases));

// Counts that do not fit: an error on standard error, nothing on standard
// output, status 1, never a truncated or wrapped count.
class RangeTest : public testing::TestWithParam<const char*> {};

TEST_P(RangeTest, RejectedWithoutOutput) {
    const ToolRun run = runTool({GetParam()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kOutOfRange);
}

INSTANTIATE_TEST_SUITE_P(Counts, RangeTest,
                         testing::Values("-1", "32", "33", "-2147483648", "2147483647",
                                         "4294967299", "4294967296", "99999999999999999999"));

struct FaultCase {
    Sink sink;
    const char* count;
    const char* error;
};

// A failed write ends the run at once with the system's reason and status 1,
// so a truncated fact file never looks whole. n = 31 shows that nothing keeps
// generating after the first failure: it would take hours.
void PrintTo(const FaultCase& c, std::ostream* os) {
    PrintTo(c.sink, os);
    *os << ", n = " << c.count;
}

const FaultCase kFaultCases[] = {
    {Sink::DevFull, "3", "Error writing output: No space left on device\n"},
    {Sink::DevFull, "0", "Error writing output: No space left on device\n"},
    {Sink::DevFull, "31", "Error writing output: No space left on device\n"},
    {Sink::Closed, "3", "Error writing output: Bad file descriptor\n"},
    {Sink::Closed, "31", "Error writing output: Bad file descriptor\n"},
    {Sink::PipeNoReader, "3", "Error writing output: Broken pipe\n"},
    {Sink::PipeNoReader, "31", "Error writing output: Broken pipe\n"},
    {Sink::SizeLimit, "10", "Error writing output: File too large\n"},
    {Sink::SizeLimit, "31", "Error writing output: File too large\n"},
};

class WriteFaultTest : public testing::TestWithParam<FaultCase> {};

TEST_P(WriteFaultTest, ReportedWithStatus1) {
    if (const char* missing = missingSink(GetParam().sink)) {
        GTEST_SKIP() << missing;
    }
    const ToolRun run = runTool({GetParam().count}, GetParam().sink, 60s);
    ASSERT_FALSE(run.timedOut) << "kept generating after a failed write";
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, GetParam().error);
    // What did go out before the failure is the text's start, to the limit.
    if (GetParam().sink == Sink::SizeLimit) {
        EXPECT_EQ(run.out.size(), kSizeLimit);
        EXPECT_TRUE(
            sameText(run.out, referenceStart(oneTo(std::atoi(GetParam().count)), kSizeLimit)));
    }
}

INSTANTIATE_TEST_SUITE_P(Sinks, WriteFaultTest, testing::ValuesIn(kFaultCases));

constexpr std::size_t kWhole = SIZE_MAX;

struct InjectedCase {
    const char* fault;
    const char* count;
    int exitStatus;
    const char* error;
    std::size_t written;  // how much of the text reaches the output
};

void PrintTo(const InjectedCase& c, std::ostream* os) { *os << c.fault << ", n = " << c.count; }

// Failures no machine gives on demand, made by the tool's test build. Without
// its output buffer the tool writes the same text from a small one, refilled
// thousands of times at n = 16. Writes the kernel takes in part, or that a
// signal interrupts, are finished; a write that fails mid-run leaves the
// blocks before it (two of 512 KiB, into a file) and nothing more. A full
// non-blocking output is waited on, and the wait resumed where a signal cuts
// it short; a wait that fails is a failed write.
const InjectedCase kInjectedCases[] = {
    {"no-buffer", "16", 0, "", kWhole},
    {"no-buffer", "0", 0, "", kWhole},
    {"malloc-0-null", "0", 0, "", kWhole},
    {"no-memory", "3", 1, "Out of memory.\n", 0},
    {"close", "3", 1, "Error writing output: No space left on device\n", kWhole},
    {"short-writes", "16", 0, "", kWhole},
    {"eintr", "16", 0, "", kWhole},
    {"write-error@3", "16", 1, "Error writing output: Input/output error\n", 2 * kLargestBlock},
    {"full@3,wait-eintr", "16", 0, "", kWhole},
    {"full@3,wait-error", "16", 1, "Error writing output: Cannot allocate memory\n",
     2 * kLargestBlock},
};

class InjectedFaultTest : public testing::TestWithParam<InjectedCase> {};

TEST_P(InjectedFaultTest, OutputAndStatus) {
    const ToolRun run = runToolWithFault(GetParam().fault, {GetParam().count});
    EXPECT_EQ(run.exitStatus, GetParam().exitStatus);
    EXPECT_EQ(run.err, GetParam().error);
    EXPECT_TRUE(
        sameText(run.out, referenceStart(oneTo(std::atoi(GetParam().count)), GetParam().written)));
}

INSTANTIATE_TEST_SUITE_P(Faults, InjectedFaultTest, testing::ValuesIn(kInjectedCases));

// Each write of a run failed in turn, from the first to the last, runs of
// blocks of one size from the stack buffer: n = 9 in many blocks, n = 6 in a
// block and the end of its last subset, which ran past it. A failed write,
// or one that takes nothing, must end the run with its reason and leave the
// blocks before it, no more; one the kernel takes in part, or that finds a
// non-blocking output full, must be finished.
TEST(WriteFault, EveryWriteInTurn) {
    struct Kind {
        const char* fault;
        const char* error;
    };
    const Kind kKinds[] = {
        {"write-error", "Error writing output: Input/output error\n"},
        {"write-nothing", "Error writing output: No space left on device\n"},
        {"short-write", ""},
        {"full", ""},
    };
    for (const char* count : {"6", "9"}) {
        const std::string text = referenceFacts(oneTo(std::atoi(count)));
        const ToolRun clean = runToolWithFault("no-buffer", {count});
        ASSERT_EQ(clean.exitStatus, 0);
        ASSERT_GE(clean.writes.size(), 2U);
        std::size_t before = 0;
        for (std::size_t k = 1; k <= clean.writes.size(); before += clean.writes[k++ - 1]) {
            for (const Kind& kind : kKinds) {
                const std::string fault =
                    "no-buffer," + std::string(kind.fault) + "@" + std::to_string(k);
                const ToolRun run = runToolWithFault(fault, {count});
                const bool fails = *kind.error != '\0';
                ASSERT_EQ(run.exitStatus, fails ? 1 : 0) << "n = " << count << ", " << fault;
                ASSERT_EQ(run.err, kind.error) << "n = " << count << ", " << fault;
                ASSERT_TRUE(sameText(run.out, fails ? text.substr(0, before) : text))
                    << "n = " << count << ", " << fault;
            }
        }
    }
}

// Standard output may come non-blocking: from a CI service that streams
// logs, a terminal an earlier program left so, an event loop's pipe. Read
// more slowly than it is written, it is often full; the whole text must
// still arrive, with status 0 and no message, and the tool must wait for it
// in the kernel, not spin. Standard input is closed, or a pipe nothing is
// written to, so that a wait on the wrong descriptor shows: it fails, or
// never ends (where standard input is a terminal or /dev/null, such a wait
// returns at once and only the CPU time tells).
class NonBlockingTest : public testing::TestWithParam<std::tuple<Sink, Input>> {};

TEST_P(NonBlockingTest, OutputWaitedOn) {
    const auto [sink, input] = GetParam();
    if (const char* missing = missingSink(sink)) {
        GTEST_SKIP() << missing;
    }
    const ToolRun run = runTool({"14"}, sink, 30s, input);
    ASSERT_FALSE(run.timedOut) << "still running after 30 s: waiting on the wrong descriptor?";
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(sameText(run.out, referenceFacts(oneTo(14))));
    // The reader sleeps a millisecond a read, most of the run: a tool that
    // spins on a full output spends about all of that wait on the CPU. The
    // same run into a file takes out what is not the wait: start-up, and
    // under an emulator or a sanitizer, theirs.
    const ToolRun plain = runTool({"14"}, Sink::File, 30s, input);
    const auto extraCpu = run.cpuTime - plain.cpuTime;
    const auto wait = run.wallTime - plain.wallTime;
    EXPECT_LT(extraCpu, wait / 2) << "CPU " << run.cpuTime.count() << " us in "
                                  << run.wallTime.count() << " us; into a file, "
                                  << plain.cpuTime.count() << " us in " << plain.wallTime.count()
                                  << " us";
}

INSTANTIATE_TEST_SUITE_P(Sinks, NonBlockingTest,
                         testing::Combine(testing::Values(Sink::NonBlockingPipe,
                                                          Sink::NonBlockingSocket,
                                                          Sink::NonBlockingTerminal),
                                          testing::Values(Input::Closed, Input::SilentPipe)));

// Under a shell, `powerfacts 31 | head` must end as filters do: quietly, by
// SIGPIPE, without a message, and what head saw is the start of the text.
TEST(WriteFault, HeadEndsItQuietly) {
    const ToolRun run = runTool({"31"}, Sink::PipeHead, 60s);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.signal, SIGPIPE);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.size(), kHeadBytes);
    EXPECT_TRUE(run.out.starts_with(
        "#const n = 31.\n#const p = 2147483647.\npowerSet(1,1).\npowerSet(2,2).\n"))
        << run.out.substr(0, 80);
}

// The bytes of the text for n, counted from the definition: the #const
// lines, then for each subset i and member j, "powerSet(" i "," j ").\n".
std::uint64_t definedBytes(std::uint64_t n) {
    const std::uint64_t end = std::uint64_t{1} << n;  // subsets 0 .. end-1
    // The set bits in all of 0 .. x-1.
    const auto ones = [](std::uint64_t x) {
        std::uint64_t count = 0;
        for (std::uint64_t bit = 1; bit <= x; bit *= 2) {
            count += x / (2 * bit) * bit + (x % (2 * bit) > bit ? x % (2 * bit) - bit : 0);
        }
        return count;
    };
    std::uint64_t bytes = referenceConstants(oneTo(static_cast<std::int32_t>(n))).size();
    for (std::uint64_t digits = 1, low = 1; low < end; ++digits, low *= 10) {
        bytes += (13 + digits) * (ones(std::min(low * 10, end)) - ones(low));
    }
    for (std::uint64_t j = 1; j <= n; ++j) {
        bytes += end / 2 * std::to_string(j).size();
    }
    return bytes;
}

// The man page's table of lines and bytes, which users size their disks
// and progress bars by: every row as the definition counts it, and the
// tool's own output for the counts a test can afford.
TEST(ManPage, SizeTableHolds) {
    std::ifstream page(POWERFACTS_MAN_PAGE);
    ASSERT_TRUE(page) << POWERFACTS_MAN_PAGE;
    std::string line;
    while (std::getline(page, line) && line.find("lines             bytes") == std::string::npos) {
    }
    int rows = 0;
    for (; std::getline(page, line) && line != ".fi"; ++rows) {
        std::uint64_t n = 0;
        std::uint64_t lines = 0;
        std::uint64_t bytes = 0;
        ASSERT_TRUE(std::istringstream(line) >> n >> lines >> bytes) << line;
        EXPECT_EQ(lines, 2 + n * (std::uint64_t{1} << n) / 2) << line;
        EXPECT_EQ(bytes, definedBytes(n)) << line;
        if (n <= 16) {
            const ToolRun run = runTool({std::to_string(n)});
            EXPECT_EQ(run.out.size(), bytes) << line;
            EXPECT_EQ(static_cast<std::uint64_t>(std::count(run.out.begin(), run.out.end(), '\n')),
                      lines)
                << line;
        }
    }
    EXPECT_GE(rows, 8);
}

}  // namespace
