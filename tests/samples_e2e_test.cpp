// SPDX-License-Identifier: MIT
// The bundled samples: the generator still makes exactly the files in
// samples/, and the tool's output over them is the one the README shows.
#include <gtest/gtest.h>

#include "tool_run.h"

namespace {

const std::string Samples = std::string(SOURCE_DIR) + "/samples";

TEST(Samples, GeneratorMatchesTheBundledFiles) {
    for (const titlecraft::SampleFile& file : titlecraft::sampleFiles()) {
        SCOPED_TRACE(file.name);
        std::string bundled = readFileBytes(Samples + "/" + file.name);
        EXPECT_TRUE(bundled == std::string(file.bytes.begin(), file.bytes.end()));
    }
}

TEST(Samples, OutputIsTheOneTheReadmeShows) {
    std::vector<std::string> args = {"/n"};
    for (const std::string& name : titlecraft::sampleNames())
        args.push_back("samples/" + name);
    ToolRun run = runTool(args, SOURCE_DIR);
    EXPECT_EQ(run.exitCode, 0);
    std::string expected = readFileBytes(std::string(SOURCE_DIR) + "/tests/golden/samples.out");
    EXPECT_EQ(run.out, expected);
    std::string readme = readFileBytes(std::string(SOURCE_DIR) + "/README.md");
    EXPECT_NE(readme.find(expected), std::string::npos) << "README.md shows another output";
}

TEST(Samples, JsonIsTheOneTheReadmeShows) {
    ToolRun run = runTool({"/j", "samples/download.tik", "samples/partial.wad"}, SOURCE_DIR);
    EXPECT_EQ(run.exitCode, 0);
    std::string expected = readFileBytes(std::string(SOURCE_DIR) + "/tests/golden/samples.jsonl");
    EXPECT_EQ(run.out, expected);
    std::string readme = readFileBytes(std::string(SOURCE_DIR) + "/README.md");
    EXPECT_NE(readme.find(expected), std::string::npos) << "README.md shows another output";
}

}  // namespace
