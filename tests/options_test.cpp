// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"
#include "common/runstate.h"

namespace {

// The flags as {wait, help, files, version, keep going, JSON, verify, lines, recursive}.
struct OptionCase {
    std::vector<std::string> args;  // without the program name
    ArgStatus status;
    RunOptions flags;
    std::vector<std::string> afterwards;  // the arguments once parsed
};

const OptionCase OptionCases[] = {
    {{}, ArgsMissing, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {}},
    {{"/n"}, ArgsMissing, {0, 0, 0, 0, 0, 0, 0, 0, 0}, {""}},
    {{"-N"}, ArgsMissing, {0, 0, 0, 0, 0, 0, 0, 0, 0}, {""}},
    {{"a.wad"}, ArgsOk, {1, 0, 1, 0, 0, 0, 0, 0, 0}, {"a.wad"}},
    {{""}, ArgsOk, {1, 0, 1, 0, 0, 0, 0, 0, 0}, {""}},
    {{"/h"}, ArgsOk, {1, 1, 0, 0, 0, 0, 0, 0, 0}, {""}},
    {{"-?"}, ArgsOk, {1, 1, 0, 0, 0, 0, 0, 0, 0}, {""}},
    {{"/help", "-Hfoo"}, ArgsOk, {1, 1, 0, 0, 0, 0, 0, 0, 0}, {"", ""}},
    {{"/nowait", "x.tik"}, ArgsOk, {0, 0, 1, 0, 0, 0, 0, 0, 0}, {"", "x.tik"}},
    {{"/x"}, ArgsUnknown, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"/x"}},
    {{"/"}, ArgsUnknown, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"/"}},
    {{"-"}, ArgsOk, {1, 0, 1, 0, 0, 0, 0, 0, 0}, {"-"}},  // standard input
    {{"/n", "--", "-"}, ArgsOk, {0, 0, 1, 0, 0, 0, 0, 0, 0}, {"", "", "-"}},
    {{"-5"}, ArgsUnknown, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"-5"}},
    // Parsing stops at the first unknown option; earlier flags stay set.
    {{"/q", "/n"}, ArgsUnknown, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"/q", "/n"}},
    {{"/n", "/q", "a.wad"}, ArgsUnknown, {0, 0, 0, 0, 0, 0, 0, 0, 0}, {"", "/q", "a.wad"}},
    {{"a.wad", "/x"}, ArgsUnknown, {1, 0, 1, 0, 0, 0, 0, 0, 0}, {"a.wad", "/x"}},
    {{"a.wad", "/h", "b.tik"}, ArgsOk, {1, 1, 1, 0, 0, 0, 0, 0, 0}, {"a.wad", "", "b.tik"}},
    // Absolute paths hold a '/' after the first character: files, not options.
    {{"/home/a.wad"}, ArgsOk, {1, 0, 1, 0, 0, 0, 0, 0, 0}, {"/home/a.wad"}},
    {{"/n", "/tmp/a.wad"}, ArgsOk, {0, 0, 1, 0, 0, 0, 0, 0, 0}, {"", "/tmp/a.wad"}},
    {{"/dev/fd/63"}, ArgsOk, {1, 0, 1, 0, 0, 0, 0, 0, 0}, {"/dev/fd/63"}},
    {{"-n/x"}, ArgsMissing, {0, 0, 0, 0, 0, 0, 0, 0, 0}, {""}},  // only a leading '/' makes a path
    // "--" ends the options, and is blanked itself.
    {{"--", "/n", "-x"}, ArgsOk, {1, 0, 1, 0, 0, 0, 0, 0, 0}, {"", "/n", "-x"}},
    {{"/n", "--"}, ArgsMissing, {0, 0, 0, 0, 0, 0, 0, 0, 0}, {"", ""}},
    {{"--", "--"}, ArgsOk, {1, 0, 1, 0, 0, 0, 0, 0, 0}, {"", "--"}},
    // The two long options; any other is unknown.
    {{"--help"}, ArgsOk, {1, 1, 0, 0, 0, 0, 0, 0, 0}, {""}},
    {{"--version", "a.wad"}, ArgsOk, {1, 0, 1, 1, 0, 0, 0, 0, 0}, {"", "a.wad"}},
    {{"--helpme"}, ArgsUnknown, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"--helpme"}},
    {{"--nowait"}, ArgsUnknown, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"--nowait"}},
    {{"--Version"}, ArgsUnknown, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"--Version"}},
    // Keep going, and JSON, which keeps going and never waits.
    {{"/k", "a.wad"}, ArgsOk, {1, 0, 1, 0, 1, 0, 0, 0, 0}, {"", "a.wad"}},
    {{"-Keep", "a.wad"}, ArgsOk, {1, 0, 1, 0, 1, 0, 0, 0, 0}, {"", "a.wad"}},
    {{"/j", "a.wad"}, ArgsOk, {0, 0, 1, 0, 1, 1, 0, 0, 0}, {"", "a.wad"}},
    {{"-JSON"}, ArgsMissing, {0, 0, 0, 0, 1, 1, 0, 0, 0}, {""}},
    {{"/x", "/j"}, ArgsUnknown, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"/x", "/j"}},
    // Verification, and the key folder as the value of a long option.
    {{"-Verify", "a.wad"}, ArgsOk, {1, 0, 1, 0, 0, 0, 1, 0, 0}, {"", "a.wad"}},
    {{"--keys=/k", "/v"}, ArgsMissing, {1, 0, 0, 0, 0, 0, 1, 0, 0}, {"", ""}},
    {{"--keys", "a.wad"}, ArgsKeysNeedValue, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"--keys", "a.wad"}},
    {{"--jobs"}, ArgsJobsNeedValue, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"--jobs"}},
    // A word after one '-' or '/' that names a long option is that option.
    {{"/n", "/v", "-keys=K", "a.wad"}, ArgsOk, {0, 0, 1, 0, 0, 0, 1, 0, 0}, {"", "", "", "a.wad"}},
    {{"/v", "/KEYS=K"}, ArgsMissing, {1, 0, 0, 0, 0, 0, 1, 0, 0}, {"", ""}},
    {{"-JOBS=2", "/v"}, ArgsMissing, {1, 0, 0, 0, 0, 0, 1, 0, 0}, {"", ""}},
    {{"-jobs2"}, ArgsJobsNeedValue, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"-jobs2"}},
    {{"/jobs:2"}, ArgsJobsNeedValue, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"/jobs:2"}},
    {{"-keys"}, ArgsKeysNeedValue, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"-keys"}},
    {{"-version"}, ArgsOk, {1, 0, 0, 1, 0, 0, 0, 0, 0}, {""}},
    {{"/Version", "a.wad"}, ArgsOk, {1, 0, 1, 1, 0, 0, 0, 0, 0}, {"", "a.wad"}},
    {{"-HELP"}, ArgsOk, {1, 1, 0, 0, 0, 0, 0, 0, 0}, {""}},
    // Letters of options bundle when one of them acts; n, h and ? alone
    // are read by the first, as ever.
    {{"-jv", "a.wad"}, ArgsOk, {0, 0, 1, 0, 1, 1, 1, 0, 0}, {"", "a.wad"}},
    {{"-VJ", "a.wad"}, ArgsOk, {0, 0, 1, 0, 1, 1, 1, 0, 0}, {"", "a.wad"}},
    {{"-nv"}, ArgsMissing, {0, 0, 0, 0, 0, 0, 1, 0, 0}, {""}},
    {{"/nkv"}, ArgsMissing, {0, 0, 0, 0, 1, 0, 1, 0, 0}, {""}},
    {{"-kh"}, ArgsOk, {1, 1, 0, 0, 1, 0, 0, 0, 0}, {""}},
    {{"/nh"}, ArgsMissing, {0, 0, 0, 0, 0, 0, 0, 0, 0}, {""}},
    {{"-h?", "/hn"}, ArgsOk, {1, 1, 0, 0, 0, 0, 0, 0, 0}, {"", ""}},
    // A word that would drop a k, j or v after its first letter is unknown.
    {{"-nvx"}, ArgsUnknown, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"-nvx"}},
    {{"/nokeys"}, ArgsUnknown, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"/nokeys"}},
    {{"-nojson"}, ArgsUnknown, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"-nojson"}},
    {{"-nnnnnnnnnnnnnnnnv"}, ArgsUnknown, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"-nnnnnnnnnnnnnnnnv"}},
    {{"/verify", "x.tik"}, ArgsOk, {1, 0, 1, 0, 0, 0, 1, 0, 0}, {"", "x.tik"}},
    // One line a file keeps going and never waits, as JSON does; l bundles.
    {{"/l", "a.wad"}, ArgsOk, {0, 0, 1, 0, 1, 0, 0, 1, 0}, {"", "a.wad"}},
    {{"-Lv", "a.wad"}, ArgsOk, {0, 0, 1, 0, 1, 0, 1, 1, 0}, {"", "a.wad"}},
    {{"/lines"}, ArgsMissing, {0, 0, 0, 0, 1, 0, 0, 1, 0}, {""}},
    {{"-nol"}, ArgsUnknown, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"-nol"}},
    // Walking folders; a word that would drop it is unknown, not a silent /r.
    {{"-rv", "d"}, ArgsOk, {1, 0, 1, 0, 0, 0, 1, 0, 1}, {"", "d"}},
    {{"/LR", "d"}, ArgsOk, {0, 0, 1, 0, 1, 0, 0, 1, 1}, {"", "d"}},
    {{"/recursive", "d"}, ArgsUnknown, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {"/recursive", "d"}},
};

std::string describe(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& a : args)
        text += "[" + a + "]";
    return text;
}

// The first option word left as it was: where an unknown one stopped the parse.
std::size_t firstUnread(const OptionCase& c) {
    for (std::size_t i = 0; i < c.args.size(); ++i)
        if (c.afterwards[i] == c.args[i] && !c.args[i].empty() && c.args[i] != "-" && (c.args[i][0] == '/' || c.args[i][0] == '-'))
            return i;
    return c.args.size();
}

TEST(ParseArguments, Table) {
    for (const OptionCase& c : OptionCases) {
        std::vector<std::string> storage = c.args;
        std::vector<char*> argv = {const_cast<char*>("Tessarlumen")};
        for (std::string& a : storage)
            argv.push_back(a.data());
        runOptions = DefaultRunOptions;
        unknownArgument = nullptr;
        SCOPED_TRACE(describe(c.args));
        EXPECT_EQ(parseArguments(static_cast<int>(argv.size()), argv.data()), c.status);
        EXPECT_EQ(runOptions.waitForKey, c.flags.waitForKey);
        EXPECT_EQ(runOptions.helpRequested, c.flags.helpRequested);
        EXPECT_EQ(runOptions.filesGiven, c.flags.filesGiven);
        EXPECT_EQ(runOptions.versionRequested, c.flags.versionRequested);
        EXPECT_EQ(runOptions.keepGoing, c.flags.keepGoing);
        EXPECT_EQ(runOptions.jsonOutput, c.flags.jsonOutput);
        EXPECT_EQ(runOptions.verify, c.flags.verify);
        EXPECT_EQ(runOptions.lineOutput, c.flags.lineOutput);
        EXPECT_EQ(runOptions.recursive, c.flags.recursive);
        // The argument an error names is the one the parse stopped at.
        EXPECT_EQ(unknownArgument != nullptr, c.status == ArgsUnknown);
        if (unknownArgument != nullptr) {
            EXPECT_EQ(unknownArgument, argv[firstUnread(c) + 1]);
        }
        for (std::size_t i = 0; i < c.afterwards.size(); ++i)
            EXPECT_STREQ(argv[i + 1], c.afterwards[i].c_str());
    }
    runOptions = DefaultRunOptions;
}

// The Windows entry marks the names it expanded from a wildcard: files,
// even when they start with '-' or '/'.
TEST(ParseArguments, ExpandedNamesAreFiles) {
    std::string names[] = {"-n.wad", "/h", "-x.tik"};
    char* argv[] = {const_cast<char*>("Tessarlumen"), names[0].data(), names[1].data(), names[2].data()};
    const bool expanded[] = {false, true, false, true};
    runOptions = DefaultRunOptions;
    EXPECT_EQ(parseArguments(4, argv, expanded), ArgsOk);
    EXPECT_EQ(runOptions.waitForKey, 1);  // "-n.wad" did not turn the wait off
    EXPECT_EQ(runOptions.helpRequested, 1);
    EXPECT_EQ(runOptions.filesGiven, 1);
    EXPECT_STREQ(argv[1], "-n.wad");
    EXPECT_STREQ(argv[2], "");
    EXPECT_STREQ(argv[3], "-x.tik");  // not an unknown option
    runOptions = DefaultRunOptions;
}

}  // namespace
