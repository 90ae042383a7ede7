#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"
#include "common/runstate.h"

namespace {

struct OptionCase {
    std::vector<std::string> args;  // without the program name
    ArgStatus status;
    RunOptions flags;
    std::vector<std::string> afterwards;  // the arguments once parsed
};

const OptionCase OptionCases[] = {
    {{}, ArgsMissing, {1, 0, 0}, {}},
    {{"/n"}, ArgsMissing, {0, 0, 0}, {""}},
    {{"-N"}, ArgsMissing, {0, 0, 0}, {""}},
    {{"a.wad"}, ArgsOk, {1, 0, 1}, {"a.wad"}},
    {{""}, ArgsOk, {1, 0, 1}, {""}},
    {{"/h"}, ArgsOk, {1, 1, 0}, {""}},
    {{"-?"}, ArgsOk, {1, 1, 0}, {""}},
    {{"/help", "-Hfoo"}, ArgsOk, {1, 1, 0}, {"", ""}},
    {{"/nowait", "x.tik"}, ArgsOk, {0, 0, 1}, {"", "x.tik"}},
    {{"/home/a.wad"}, ArgsOk, {1, 1, 0}, {""}},
    {{"/tmp/a.wad"}, ArgsUnknown, {1, 0, 0}, {"/tmp/a.wad"}},
    {{"/x"}, ArgsUnknown, {1, 0, 0}, {"/x"}},
    {{"/"}, ArgsUnknown, {1, 0, 0}, {"/"}},
    {{"-"}, ArgsUnknown, {1, 0, 0}, {"-"}},
    {{"-5"}, ArgsUnknown, {1, 0, 0}, {"-5"}},
    // Parsing stops at the first unknown option; earlier flags stay set.
    {{"/q", "/n"}, ArgsUnknown, {1, 0, 0}, {"/q", "/n"}},
    {{"/n", "/q", "a.wad"}, ArgsUnknown, {0, 0, 0}, {"", "/q", "a.wad"}},
    {{"a.wad", "/x"}, ArgsUnknown, {1, 0, 1}, {"a.wad", "/x"}},
    {{"a.wad", "/h", "b.tik"}, ArgsOk, {1, 1, 1}, {"a.wad", "", "b.tik"}},
};

TEST(ParseArguments, Table) {
    for (const OptionCase& c : OptionCases) {
        std::vector<std::string> storage = c.args;
        std::vector<char*> argv = {const_cast<char*>("Tessarlumen")};
        for (std::string& a : storage)
            argv.push_back(a.data());
        runOptions = DefaultRunOptions;
        std::string name = c.args.empty() ? "(none)" : c.args[0];
        SCOPED_TRACE(name);
        EXPECT_EQ(parseArguments(static_cast<int>(argv.size()), argv.data()), c.status);
        EXPECT_EQ(runOptions.waitForKey, c.flags.waitForKey);
        EXPECT_EQ(runOptions.helpRequested, c.flags.helpRequested);
        EXPECT_EQ(runOptions.filesGiven, c.flags.filesGiven);
        for (std::size_t i = 0; i < c.afterwards.size(); ++i)
            EXPECT_STREQ(argv[i + 1], c.afterwards[i].c_str());
    }
    runOptions = DefaultRunOptions;
}

}  // namespace
