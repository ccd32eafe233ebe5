#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>

#include "tool_runner.hpp"

namespace {

std::optional<std::string> findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

// The facts as a real grounder and solver read them: n * 2^(n-1) distinct
// facts over exactly p = 2^n - 1 subsets, all within range.
class AspConsumerTest : public testing::TestWithParam<int> {};

TEST_P(AspConsumerTest, ClingoCountsFactsAndSubsets) {
    const auto clingo = findOnPath("clingo");
    if (!clingo) {
        GTEST_SKIP() << "clingo is not installed (Debian package gringo)";
    }
    const int n = GetParam();
    const ToolRun tool = runTool({std::to_string(n)});
    ASSERT_EQ(tool.exitStatus, 0);

    TempFile facts;
    ASSERT_EQ(write(facts.fd(), tool.out.data(), tool.out.size()),
              static_cast<ssize_t>(tool.out.size()));
    const ToolRun solver = runProgram(*clingo, {facts.path(), ASP_CHECK_PROGRAM});

    const long long expectedFacts = n == 0 ? 0 : static_cast<long long>(n) << (n - 1);
    const long long expectedSubsets = (1LL << n) - 1;
    // clingo's status: 10 satisfiable, 20 unsatisfiable, +1 interrupted, +64 error.
    EXPECT_TRUE(solver.exitStatus == 10 || solver.exitStatus == 30) << solver.out << solver.err;
    EXPECT_NE(solver.out.find("\nSATISFIABLE"), std::string::npos) << solver.out;
    EXPECT_NE(solver.out.find("facts(" + std::to_string(expectedFacts) + ")"), std::string::npos)
        << solver.out;
    EXPECT_NE(solver.out.find("subsets(" + std::to_string(expectedSubsets) + ")"),
              std::string::npos)
        << solver.out;
}

INSTANTIATE_TEST_SUITE_P(Counts, AspConsumerTest, testing::Range(0, 11));

}  // namespace
