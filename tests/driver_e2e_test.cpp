// SPDX-License-Identifier: MIT
// The command line as a user meets it: options, help, argument errors,
// exit codes and the key prompt (which returns at once without a terminal).
#include <gtest/gtest.h>

#include <algorithm>

#include "cli/options.h"
#include "tool_run.h"

namespace {

const std::string NotEnough = "\nError: Not enough parameter!  ('/?' for help)\n\n";
const std::string Unknown = "\nError: Unknown parameter!  ('/?' for help)\n\n";
const std::string Prompt = "\nPress a key to continue...\n";

// Stands for the help as the tool prints it, which HelpNamesEveryOption
// checks; taken when the tests run, not when they are listed.
const std::string Help = "<help>";

const std::string& helpText() {
    static const std::string text = runTool({"/h", "/n"}).out;
    return text;
}

struct DriverCase {
    const char* name;
    std::vector<std::string> args;
    std::string out;
    int exitCode;
    std::string err = "";
};

const DriverCase DriverCases[] = {
    {"no arguments", {}, NotEnough + Prompt, 1},
    {"only /n", {"/n"}, NotEnough, 1},
    {"only /N", {"/N"}, NotEnough, 1},
    {"/x", {"/x"}, Unknown + Prompt, 2, "Tessarlumen: unknown parameter '/x'\n"},
    {"lone slash", {"/"}, Unknown + Prompt, 2, "Tessarlumen: unknown parameter '/'\n"},
    {"lone dash: standard input, here empty", {"-"}, "\nError: Unknown file structure! (-)\n\n" + Prompt, 14,
     "Tessarlumen: -: shorter than any title file\n"},
    {"-5", {"-5", "missing.wad"}, Unknown + Prompt, 2, "Tessarlumen: unknown parameter '-5'\n"},
    // Windows keeps reading every argument that starts with '/' as an option.
    {"absolute path", {"/tmp/a.wad"},
     UnderWine ? Unknown + Prompt : "\nError: Cannot read file '/tmp/a.wad' !\n\n" + Prompt, UnderWine ? 2 : 11,
     UnderWine ? "Tessarlumen: unknown parameter '/tmp/a.wad'\n" : "Tessarlumen: /tmp/a.wad: No such file or directory\n"},
    {"/q stops parsing before /n", {"/q", "/n"}, Unknown + Prompt, 2, "Tessarlumen: unknown parameter '/q'\n"},
    {"/n before /q", {"/n", "/q"}, Unknown, 2, "Tessarlumen: unknown parameter '/q'\n"},
    {"unknown option after a file", {"/n", "missing.wad", "/x"}, Unknown, 2, "Tessarlumen: unknown parameter '/x'\n"},
    {"/h", {"/h"}, Help + Prompt, 0},
    {"/?", {"/?", "/n"}, Help, 0},
    {"-H with suffix", {"-Hfoo", "/nowait"}, Help, 0},
    {"/help with files", {"/help", "missing.wad", "/N"}, Help, 0},
    {"absolute path, no wait", {"/home/a.wad", "-n"},
     UnderWine ? Help : "\nError: Cannot read file '/home/a.wad' !\n\n", UnderWine ? 0 : 11,
     UnderWine ? "" : "Tessarlumen: /home/a.wad: No such file or directory\n"},
    {"empty argument", {"/n", ""}, "\n", 0},
    {"empty argument, waiting", {""}, "\n" + Prompt, 0},
    {"missing file", {"missing.wad"}, "\nError: Cannot read file 'missing.wad' !\n\n" + Prompt, 11,
     "Tessarlumen: missing.wad: No such file or directory\n"},
    // The forms a POSIX shell user expects.
    {"--help", {"--help", "/n"}, Help, 0},
    {"--version", {"--version", "missing.wad"}, "Tessarlumen " TESSARLUMEN_VERSION "\n", 0},
    {"--version after /h", {"/h", "--version"}, "Tessarlumen " TESSARLUMEN_VERSION "\n", 0},
    {"other long option", {"--nowait", "missing.wad"}, Unknown + Prompt, 2, "Tessarlumen: unknown parameter '--nowait'\n"},
    {"-- ends the options", {"/n", "--", "-x", "/h"},
     "\nError: Cannot read file '-x' !\n\n", 11, "Tessarlumen: -x: No such file or directory\n"},
    {"-- alone", {"--"}, NotEnough + Prompt, 1},
    // Under /j, standard output holds JSON Lines only, even after an error.
    {"/j and an argument error", {"/j", "/x"}, "", 2,
     "Error: Unknown parameter!  ('/?' for help)\n" "Tessarlumen: unknown parameter '/x'\n"},
    {"/j after an unknown option", {"/x", "/j"}, "", 2,
     "Error: Unknown parameter!  ('/?' for help)\n" "Tessarlumen: unknown parameter '/x'\n"},
    // So does the one-line form's; it does not go with /j.
    {"/l after an unknown option", {"/x", "/L"}, "", 2,
     "Error: Unknown parameter!  ('/?' for help)\n" "Tessarlumen: unknown parameter '/x'\n"},
    {"/l and /j", {"-lj", "missing.wad"}, "", 2, "Error: /l and /j cannot go together!  ('/?' for help)\n"},
    {"/l alone", {"/l"}, "", 1, "Error: Not enough parameter!  ('/?' for help)\n"},
    {"/j alone", {"/j"}, "", 1, "Error: Not enough parameter!  ('/?' for help)\n"},
    {"/j after --", {"--", "/j"}, "\nError: Cannot read file '/j' !\n\n" + Prompt, 11, "Tessarlumen: /j: No such file or directory\n"},
    {"/j after -- and an unknown option", {"/n", "/x", "--", "/j"}, Unknown, 2, "Tessarlumen: unknown parameter '/x'\n"},
    {"/j and help", {"/J", "/h"}, Help, 0},
    {"/n after the file", {"missing.wad", "/n"}, "\nError: Cannot read file 'missing.wad' !\n\n", 11,
     "Tessarlumen: missing.wad: No such file or directory\n"},
    // Words that would turn an option off or into another without a word.
    {"--keys without its value", {"/n", "/v", "--keys", "missing.wad"},
     "\nError: --keys needs =DIR!  ('/?' for help)\n\n", 2},
    {"-jobs without =", {"/j", "-jobs2", "missing.wad"}, "", 2, "Error: --jobs needs =N!  ('/?' for help)\n"},
    {"-keys= is --keys=", {"/n", "-keys=.", "missing.wad"}, "\nError: --keys=DIR needs /v!  ('/?' for help)\n\n", 2},
    {"-version", {"-version", "missing.wad"}, "Tessarlumen " TESSARLUMEN_VERSION "\n", 0},
    {"-nojson", {"/n", "-nojson", "missing.wad"}, Unknown, 2, "Tessarlumen: unknown parameter '-nojson'\n"},
    {"bundled letters", {"-nk", "missing.wad", "missing.tik"},
     "\nError: Cannot read file 'missing.wad' !\n\n\nError: Cannot read file 'missing.tik' !\n\n\n", 11,
     "Tessarlumen: missing.wad: No such file or directory\n" "Tessarlumen: missing.tik: No such file or directory\n"},
    {"an empty argument under /v names no file", {"-nv", "--keys=.", "", "missing.wad"},
     "\nError: Cannot read file '' !\n\n", 11, "Tessarlumen: : No such file or directory\n"},
};

TEST(Driver, OptionsMessagesAndExitCodes) {
    TempDir dir;
    for (const DriverCase& c : DriverCases) {
        SCOPED_TRACE(c.name);
        ToolRun run = runTool(c.args, dir.path);
        std::string out = c.out;
        if (out.compare(0, Help.size(), Help) == 0)
            out.replace(0, Help.size(), helpText());
        EXPECT_EQ(run.out, out);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.err, c.err);
    }
}

// The help keeps its frame (a rule above and below, every line between
// them as wide as the rules, the banner as it always was) and names every
// option the parser accepts.
TEST(Driver, HelpNamesEveryOption) {
    const std::string& help = helpText();
    const std::string banner = "  Tessarlumen " TESSARLUMEN_VERSION "  -  shows the identity of Wii title files";
    ASSERT_EQ(help.substr(0, Rule.size() + 3 + 78), "\n" + Rule + "\n\n" + banner + std::string(78 - banner.size(), ' '));
    ASSERT_EQ(help.substr(help.size() - Rule.size() - 2), "\n" + Rule + "\n");
    std::string body = help.substr(Rule.size() + 3, help.size() - 2 * Rule.size() - 5);
    std::size_t lines = 0;
    for (std::size_t at = 0, end; at < body.size(); at = end + 1, ++lines) {
        end = std::min(body.find('\n', at), body.size());
        EXPECT_TRUE(end == at || end - at == 78) << body.substr(at, end - at);
    }
    EXPECT_GE(lines, OptionCount + 4);
    for (std::size_t i = 0; i < OptionCount; ++i)
        EXPECT_NE(body.find(std::string("  ") + Options[i].name + "  --"), std::string::npos) << Options[i].name;
}

TEST(Driver, FirstFailingFileEndsTheRun) {
    TempDir dir;
    dir.write("a.tik", titlecraft::ticketBytes({.high = 1, .low = 2, .version = 0}));
    dir.write("short.tmd", titlecraft::Bytes(483));
    ToolRun run = runTool({"/n", "a.tik", "a.tik", "missing", "short.tmd", "a.tik"}, dir.path);
    std::string report = "\nTicket info of \"a.tik\" :\n\nPath: '00000001\\00000002'\nType: System Title\n"
                         "TitleID: System Menu\n" + Rule + "\n";
    EXPECT_EQ(run.out, report + report + "\nError: Cannot read file 'missing' !\n\n");
    EXPECT_EQ(run.exitCode, 11);
}

}  // namespace
