// SPDX-License-Identifier: MIT
// One line a file (/l), the tally at the end of a run, and the reasons a
// text run gives on standard error, with the built tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "folders.h"
#include "signing.h"
#include "tool_run.h"

namespace {

using titlecraft::Bytes;

// Contents of 1,000 and 50 bytes (stored in 1,008 and 64), the second on
// the 64-byte boundary at 1,024 of the data, and an empty one after them.
const titlecraft::Tmd ThreeContents{.version = 3, .contents = {{0x0001, 1000}, {0x0001, 50}, {0x8001, 0}}};

Bytes wadCutAt(std::size_t fromData) {
    Bytes b = titlecraft::wadBytes(ThreeContents, {.version = 3});
    b.resize(titlecraft::wadPlaces(b).data + fromData);
    return b;
}

const std::string Wad = "wad\t0001000154534C41\tTSLA\t3\t";

// What opening a folder as a file gives: Windows refuses it outright.
const std::string AFolder = UnderWine ? "Permission denied" : "Is a directory";

TEST(Lines, EachKindAndFailure) {
    TempDir dir;
    std::filesystem::create_directory(dir.path + "/plain folder");
    const struct {
        const char* name;
        Bytes file;
        std::string line;  // without the file's name
    } cases[] = {
        {"whole.wad", titlecraft::wadBytes(ThreeContents, {.version = 3}), Wad + "ok"},
        // A content is lacking when the file ends before its last 16-byte
        // block; the padding to the next 64-byte boundary is not its own.
        {"inside-first.wad", wadCutAt(1000), Wad + "incomplete: 2 of 3 contents missing"},
        {"first-whole.wad", wadCutAt(1008), Wad + "incomplete: 1 of 3 contents missing"},
        {"inside-last-block.wad", wadCutAt(1024 + 50), Wad + "incomplete: 1 of 3 contents missing"},
        {"before-empty.wad", wadCutAt(1024 + 64), Wad + "ok"},
        {"no-data.wad", wadCutAt(0), Wad + "incomplete: 2 of 3 contents missing"},
        // A size no file holds: that content lacks, and so does every one after it.
        {"huge.wad",
         [] {
             Bytes b = titlecraft::wadBytes(ThreeContents, {.version = 3});
             titlecraft::putBe64(b, titlecraft::wadPlaces(b).tmd + 0x1E4 + 8, ~std::uint64_t{0} - 3);
             return b;
         }(),
         Wad + "incomplete: 2 of 3 contents missing"},
        {"dlc.tmd", titlecraft::tmdBytes({.high = 0x00010005, .low = 0x544C4344, .version = 2}),
         "tmd\t00010005544C4344\tTLCD\t2\tok"},
        {"ios.tmd", titlecraft::tmdBytes({.high = 1, .low = 58, .version = 6176, .ios = 0}),
         "tmd\t000000010000003A\tIOS58\t6176\tok"},
        {"menu.tik", titlecraft::ticketBytes({.high = 1, .low = 2, .version = 450}),
         "ticket\t0000000100000002\tSystem Menu\t450\tok"},
        // A ticket file too short to hold its title version has none.
        {"short.tik", [] { Bytes b = titlecraft::ticketBytes({}); b.resize(0x1E4); return b; }(),
         "ticket\t0001000154534C41\tTSLA\t-\tok"},
        {UnderWine ? "code.tmd" : "code\x01.tmd", titlecraft::tmdBytes({.low = 0x41420A43}),
         "tmd\t0001000141420A43\tAB C\t0\tok"},
        {"notes.txt", Bytes(5000, 'x'), "-\t-\t-\t-\tunknown file structure"},
        {"tiny", Bytes(10), "-\t-\t-\t-\tunknown file structure"},
    };
    std::vector<std::string> args = {"/l"};
    std::string expected;
    for (const auto& c : cases) {
        dir.write(c.name, c.file);
        args.push_back(c.name);
        // Control characters in a name show as '?', so a line stays one line.
        std::string shown = c.name;
        for (char& ch : shown)
            ch = static_cast<unsigned char>(ch) < 0x20 ? '?' : ch;
        expected += c.line + "\t" + shown + "\n";
    }
    for (const char* failing : {"missing.wad", "plain folder"}) {
        args.push_back(failing);
        expected += std::string("-\t-\t-\t-\tcannot read: ") +
                    (failing[0] == 'm' ? "No such file or directory" : AFolder) + "\t" + failing + "\n";
    }
    ToolRun run = runTool(args, dir.path);
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.exitCode, 14);  // the first failure's, as under /k
    EXPECT_EQ(run.err, "Tessarlumen: 16 files: 7 ok, 5 incomplete, 4 not read\n");
}

// A title's name through the system's own encoding of the output: a
// character beyond the first 65,536 is shown as it is where it can be.
TEST(Lines, ABannerNameAsTheTerminalShowsIt) {
    TempDir dir;
    dir.write("keys/standard.key", Bytes(titlecraft::SyntheticCommonKeys[0], titlecraft::SyntheticCommonKeys[0] + 16));
    dir.write("keys/root.key", titlecraft::rootKeyBytes());
    const titlecraft::Tmd tmd{.version = 3, .contents = {{0x0001, 2000}}};
    dir.write("n.wad", titlecraft::genuineWad(tmd, {.version = 3}, {.banner = {0x40, {{}, u"\U0001F600 Joy\nTwo"}}}));
    ToolRun run = runTool({"/l", "/v", "--keys=keys", "n.wad"}, dir.path);
    // A Windows console's code page has no such character: '?', as in a file's name.
    EXPECT_EQ(run.out, Wad + "genuine\t" + (UnderWine ? "?" : "\xf0\x9f\x98\x80") + " Joy Two\tn.wad\n");
}

// The tally: on standard error after a run of /l or /v over more than one
// file, when standard error is a terminal (never here) or a file was not
// genuine or ok; never under /j, never for one file.
TEST(Lines, Tally) {
    TempDir dir;
    dir.write("a.tik", titlecraft::ticketBytes({}));
    dir.write("cut.wad", wadCutAt(1000));
    dir.write("whole.wad", titlecraft::wadBytes(ThreeContents, {.version = 3}));
    const std::string noKeys = "--keys=" + dir.path;  // a folder without keys: contents not checked
    const struct {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        std::string err;
    } cases[] = {
        {"all ok", {"/l", "a.tik", "whole.wad"}, 0, ""},
        {"one not read", {"/l", "a.tik", "missing"}, 11, "Tessarlumen: 2 files: 1 ok, 1 not read\n"},
        {"one incomplete", {"/l", "cut.wad", "a.tik"}, 0, "Tessarlumen: 2 files: 1 ok, 1 incomplete\n"},
        {"one file", {"/l", "missing"}, 11, ""},
        {"an empty argument is no file", {"/l", "missing", ""}, 11, ""},
        {"JSON Lines", {"/j", "a.tik", "missing"}, 11, ""},
        // Without /l or /v a text run has reasons, no tally.
        {"text", {"/n", "/k", "cut.wad", "missing"}, 11, "Tessarlumen: missing: No such file or directory\n"},
        {"verified", {"/n", "/v", noKeys, "a.tik", "whole.wad"}, 16, "Tessarlumen: 2 files: 2 unproven\n"},
        {"verified, one line each", {"/l", "/v", noKeys, "a.tik", "cut.wad", "missing"}, 11,
         "Tessarlumen: 3 files: 2 unproven, 1 not read\n"},
        {"stopped by a failure", {"/n", "/v", noKeys, "a.tik", "missing", "whole.wad"}, 11,
         "Tessarlumen: missing: No such file or directory\nTessarlumen: stopped after 2 files: 1 unproven, 1 not read\n"},
        {"kept going", {"/n", "/v", "/k", noKeys, "missing", "a.tik"}, 11,
         "Tessarlumen: missing: No such file or directory\nTessarlumen: 2 files: 1 unproven, 1 not read\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ToolRun run = runTool(c.args, dir.path);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.err, c.err);
    }
}

// A collection as trees hold one: titles, a title folder, folders within
// folders, and entries a walk passes over.
void writeCollection(const TempDir& dir) {
    namespace fs = std::filesystem;
    fs::create_directories(dir.path + "/C/B/title");
    fs::create_directories(dir.path + "/C/empty");
    for (const folders::File& f : folders::files({}))
        dir.write("C/B/title/" + f.name, f.bytes);
    dir.write("C/B/x.TMD", titlecraft::tmdBytes({.high = 0x00010005, .low = 0x544C4344, .version = 2}));
    dir.write("C/B/notes.twad", Bytes(5000, 'x'));  // an ending that is not .wad
    dir.write("C/a.wad", titlecraft::wadBytes(ThreeContents, {.version = 3}));
    dir.write("C/c.tik", titlecraft::ticketBytes({.high = 1, .low = 2, .version = 450}));
    dir.write("C/a2.WAD", wadCutAt(1000));  // after a.wad: '.' comes before '2'
    // Names that share their first letters, made in the reverse of their order.
    for (char n = '5'; n >= '0'; --n)
        dir.write(std::string("C/z") + n + ".tik", titlecraft::ticketBytes({}));
    if (!UnderWine) {
        fs::create_directory_symlink("B", dir.path + "/C/link-to-B");
        fs::create_symlink("a.wad", dir.path + "/C/link.wad");
        fs::create_symlink("nowhere", dir.path + "/C/dangling.wad");
        ASSERT_EQ(mkfifo((dir.path + "/C/fifo.tmd").c_str(), 0644), 0);
    }
}

// Each folder's entries in byte order, sub-folders where they fall, a
// title folder as one title, links to files followed and to folders not,
// and the name each is shown by: the argument joined with the path below.
TEST(Walk, ATreeInByteOrder) {
    TempDir dir;
    writeCollection(dir);
    for (const std::string root : {"C", "C/"}) {
        SCOPED_TRACE(root);
        // The root as given, then the system's separator at each join.
        auto shown = [&root](const std::string& below) {
            std::string name = root.back() == '/' ? root : root + (UnderWine ? "\\" : "/");
            for (char c : below)
                name += c == '/' && UnderWine ? '\\' : c;
            return name;
        };
        std::string lines = "folder\t0001000154534C41\tTSLA\t7\tok\t" + shown("B/title") + "\n" +
                            "tmd\t00010005544C4344\tTLCD\t2\tok\t" + shown("B/x.TMD") + "\n" + Wad +
                            "ok\t" + shown("a.wad") + "\n" + Wad + "incomplete: 2 of 3 contents missing\t" +
                            shown("a2.WAD") + "\n" + "ticket\t0000000100000002\tSystem Menu\t450\tok\t" +
                            shown("c.tik") + "\n";
        if (!UnderWine)
            lines += Wad + "ok\t" + shown("link.wad") + "\n";
        for (char n = '0'; n <= '5'; ++n)
            lines += "ticket\t0001000154534C41\tTSLA\t0\tok\t" + shown(std::string("z") + n + ".tik") + "\n";
        ToolRun run = runTool({"/l", "/r", root}, dir.path);
        EXPECT_EQ(run.out, lines);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, "Tessarlumen: " + std::string(UnderWine ? "11 files: 10 ok" : "12 files: 11 ok") +
                               ", 1 incomplete, " + (UnderWine ? "1 skipped" : "4 skipped") + "\n");
    }
}

// Without /r a folder stays a file that cannot be read; a title folder or a
// file named outright is reported whatever its name; under /v a folder
// without a title proves nothing.
TEST(Walk, WhatIsWalked) {
    TempDir dir;
    writeCollection(dir);
    dir.write("C/empty/readme", Bytes(10));
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string out;
        int exitCode;
    } cases[] = {
        {"no /r", {"/l", "C"}, "-\t-\t-\t-\tcannot read: " + AFolder + "\tC\n", 11},
        {"a title folder named", {"/l", "/r", "C/B/title"}, "folder\t0001000154534C41\tTSLA\t7\tok\tC/B/title\n", 0},
        {"a file of another name", {"/l", "/r", "C/B/notes.twad"}, "-\t-\t-\t-\tunknown file structure\tC/B/notes.twad\n",
         14},
        {"no title inside", {"/l", "/r", "C/empty"}, "", 0},
        {"no title inside, under /v", {"/l", "/r", "/v", "C/empty"},
         "-\t-\t-\t-\tcannot read: no title files found\t-\tC/empty\n", 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ToolRun run = runTool(c.args, dir.path);
        EXPECT_EQ(run.out, c.out);  // each named outright: shown as given
        EXPECT_EQ(run.exitCode, c.exitCode);
    }
}

// The walk feeds the verifying threads: the same lines at any --jobs.
TEST(Walk, TheSameAtAnyJobs) {
    TempDir dir;
    writeCollection(dir);
    ToolRun one = runTool({"/l", "/r", "/v", "--jobs=1", "C"}, dir.path);
    EXPECT_EQ(one.exitCode, 16);
    EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), UnderWine ? 11 : 12);
    for (const char* jobs : {"--jobs=2", "--jobs=5"})
        EXPECT_EQ(runTool({"/l", "/r", "/v", jobs, "C"}, dir.path).out, one.out) << jobs;
}

// A folder that cannot be read is a failure with its reason; under /k the
// walk goes on past it.
TEST(Walk, AnUnreadableFolder) {
    SKIP_UNDER_WINE("POSIX permissions");
    TempDir dir;
    ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
    std::string tool = dir.path + "/Tessarlumen";
    std::filesystem::copy_file(TESSARLUMEN_EXE, tool);
    ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
    std::filesystem::create_directories(dir.path + "/C/A");
    std::filesystem::create_directories(dir.path + "/C/locked");
    dir.write("C/z.tik", titlecraft::ticketBytes({}));
    ASSERT_EQ(chmod((dir.path + "/C").c_str(), 0755), 0);
    ASSERT_EQ(chmod((dir.path + "/C/locked").c_str(), 0), 0);
    ToolRun run = runProgram(tool, {"/n", "/r", "/k", "C"}, dir.path, {}, true);
    EXPECT_EQ(run.exitCode, 11);
    EXPECT_EQ(run.out.rfind("\nError: Cannot read file 'C/locked' !\n\n\nTicket info of \"C/z.tik\" :\n", 0), 0u)
        << run.out;
    EXPECT_EQ(run.err, "Tessarlumen: C/locked: Permission denied\n");
    chmod((dir.path + "/C/locked").c_str(), 0755);
}

}  // namespace
