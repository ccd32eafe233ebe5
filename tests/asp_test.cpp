#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <iterator>
#include <optional>
#include <set>
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

// The value after "% KEY:" in an example's header comment.
std::string headerField(const std::string& program, const std::string& key) {
    const std::string marker = "% " + key + ":";
    const auto start = program.find(marker);
    if (start == std::string::npos) {
        return {};
    }
    const auto end = program.find('\n', start);
    std::string value = program.substr(start + marker.size(), end - start - marker.size());
    value.erase(0, value.find_first_not_of(' '));
    return value;
}

std::set<std::string> words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// The atoms of the last answer clingo printed: the optimum, when it optimises.
std::string lastAnswer(const std::string& clingoOutput) {
    const auto answer = clingoOutput.rfind("Answer:");
    if (answer == std::string::npos) {
        return {};
    }
    const auto start = clingoOutput.find('\n', answer) + 1;
    return clingoOutput.substr(start, clingoOutput.find('\n', start) - start);
}

// Each example runs as its header says and gives the answer its header
// states, the whole search done (clingo's status 30).
class ExampleTest : public testing::TestWithParam<const char*> {};

TEST_P(ExampleTest, GivesStatedAnswer) {
    const auto clingo = findOnPath("clingo");
    if (!clingo) {
        GTEST_SKIP() << "clingo is not installed (Debian package gringo)";
    }
    const std::string path = std::string(SOURCE_DIR) + "/examples/" + GetParam() + ".lp";
    const std::string program = readFile(path);
    const std::string run = headerField(program, "Run");
    const std::string expected = headerField(program, "Expected");
    const std::string prefix = "powerfacts ";
    ASSERT_EQ(run.rfind(prefix, 0), 0U) << path << ": no '% Run: powerfacts N | ...' line";
    ASSERT_FALSE(expected.empty()) << path << ": no '% Expected:' line";
    // The command exactly as written, from the project's top directory, with
    // the tool just built.
    std::string pipeline = "cd '" + std::string(SOURCE_DIR) + "' &&";
    for (const std::string& word : toolCommand()) {
        pipeline += " '" + word + "'";
    }
    pipeline += " " + run.substr(prefix.size());
    const ToolRun solver = runProgram("/bin/sh", {"-c", pipeline}, Sink::File);
    EXPECT_EQ(solver.exitStatus, 30) << solver.out << solver.err;
    EXPECT_EQ(words(lastAnswer(solver.out)), words(expected)) << solver.out;
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleTest,
                         testing::Values("hitting_set", "subset_sum", "closed_subsets"));

}  // namespace
