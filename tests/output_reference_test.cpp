#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "reference_facts.hpp"
#include "tool_runner.hpp"

namespace {

// Every count up to 20 runs the subset number through each change in its
// number of digits up to 1048575, and buffer boundaries through every part
// of a line.
// Into a pipe the tool writes smaller blocks than into a file, so the larger
// counts go through both.
class OutputReferenceTest : public testing::TestWithParam<std::tuple<std::int32_t, Sink>> {};

TEST_P(OutputReferenceTest, ToolOutputMatchesDefinition) {
    const auto [n, sink] = GetParam();
    const ToolRun run = runTool({std::to_string(n)}, sink);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(sameText(run.out, referenceFacts(oneTo(n))));
}

INSTANTIATE_TEST_SUITE_P(Counts, OutputReferenceTest,
                         testing::Combine(testing::Range(0, 21), testing::Values(Sink::File)));
INSTANTIATE_TEST_SUITE_P(PipedCounts, OutputReferenceTest,
                         testing::Combine(testing::Values(3, 16, 20), testing::Values(Sink::Pipe)));

}  // namespace
