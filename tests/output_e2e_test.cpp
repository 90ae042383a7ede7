// SPDX-License-Identifier: MIT
// A failed write of standard output is never success: exit code 12, one
// line on standard error, and no file opened after the failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <regex>

#include "tool_run.h"

namespace {

constexpr int FileCount = 600;  // their reports fill the output buffer several times

struct Folder {
    TempDir dir;
    std::vector<std::string> args = {"/n"};
    Folder() {
        for (int i = 0; i < FileCount; ++i) {
            std::string name = "t" + std::to_string(1000 + i) + ".tik";
            dir.write(name, titlecraft::ticketBytes({.version = static_cast<std::uint16_t>(i)}));
            args.push_back(name);
        }
    }
};

// The calls made at one failure-injection point, from the run's report.
long callsAt(const std::string& report, const std::string& point) {
    std::smatch m;
    std::string text = readFileBytes(report);
    if (!std::regex_search(text, m, std::regex(" ?" + point + "=([0-9]+)")))
        return -1;
    return std::stol(m[1]);
}

struct FailureCase {
    const char* name;
    Stdout output;
    std::string reason;
};

TEST(Output, AFailedWriteEndsTheRunWithCode12) {
    SKIP_UNDER_WINE("the Wine test below covers the Windows build");
    Folder folder;
    const FailureCase cases[] = {
        {"disk full", Stdout::Full, "No space left on device"},
        {"closed descriptor", Stdout::Closed, "Bad file descriptor"},
        {"closed pipe, SIGPIPE ignored", Stdout::BrokenPipe, "Broken pipe"},
    };
    const std::string report = folder.dir.path + "/leftovers";
    const std::string clean = leftoversOfDoingNothing(folder.dir.path, report);
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.output == Stdout::Closed && underWrapper())
            continue;  // valgrind's own log takes the free descriptor 1
        for (bool keepGoing : {false, true}) {
            std::vector<std::string> args = folder.args;
            if (keepGoing)
                args.insert(args.begin(), "/k");
            ToolRun run = runProgram(TESSARLUMEN_FAULTS_EXE, args, folder.dir.path,
                                     {"TESSARLUMEN_FAULT_REPORT=" + report}, false, c.output);
            EXPECT_EQ(run.exitCode, 12);
            EXPECT_EQ(run.err, "Error: Cannot write the output! (" + c.reason + ")\n");
            EXPECT_EQ(firstLine(readFileBytes(report)), clean);
            // The first write comes when the buffer is full, long before the last file.
            long opened = callsAt(report, "open");
            EXPECT_GT(opened, 0);
            EXPECT_LT(opened, FileCount);
        }
    }
}

TEST(Output, FailedWritesOfShortRunsAndMessages) {
    struct ShortCase {
        const char* name;
        std::vector<std::string> args;
    };
    const ShortCase cases[] = {
        {"one report", {"/n", "a.tik"}},
        {"help, waiting", {"/h"}},
        {"argument error", {"/x"}},
        {"failing file", {"missing.wad"}},
        {"version", {"--version"}},
        {"JSON", {"/j", "a.tik", "missing.wad"}},
    };
    TempDir dir;
    dir.write("a.tik", titlecraft::ticketBytes({}));
    for (const ShortCase& c : cases) {
        SCOPED_TRACE(c.name);
        ToolRun run = runProgram(TESSARLUMEN_EXE, c.args, dir.path, {}, false, Stdout::Full);
        EXPECT_EQ(run.exitCode, 12);
        EXPECT_EQ(run.err, "Error: Cannot write the output! (No space left on device)\n");
    }
}

// An output left non-blocking by the parent is waited for, not failed.
TEST(Output, NonBlockingOutputIsWaitedFor) {
    SKIP_UNDER_WINE("POSIX descriptor flags");
    Folder folder;
    folder.args[0] = "/j";
    ToolRun run = runProgram(TESSARLUMEN_EXE, folder.args, folder.dir.path, {}, false, Stdout::NonBlockingPipe);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), FileCount);
}

// As filters do, the tool dies quietly of SIGPIPE when the reader is gone.
TEST(Output, ClosedPipeEndsQuietly) {
    SKIP_UNDER_WINE("Windows has no SIGPIPE");
    if (underWrapper())
        GTEST_SKIP() << "a run killed by a signal still holds its buffers, which valgrind counts as left";
    Folder folder;
    ToolRun run = runProgram(TESSARLUMEN_EXE, folder.args, folder.dir.path, {}, false, Stdout::BrokenPipeSignal);
    EXPECT_EQ(run.exitCode, 128 + SIGPIPE);
    EXPECT_EQ(run.err, "");
}

// Every write of a run that needs several can fail: what was written before
// it stands, nothing after it is written, no later file is opened, and
// nothing is left open or allocated.
TEST(Output, EveryWriteCanFail) {
    SKIP_UNDER_WINE("failure injection is built into the Linux build's OS layer");
    Folder folder;
    const std::string report = folder.dir.path + "/leftovers";
    const std::string clean = leftoversOfDoingNothing(folder.dir.path, report);
    ToolRun whole = runProgram(TESSARLUMEN_FAULTS_EXE, folder.args, folder.dir.path,
                               {"TESSARLUMEN_FAULT_REPORT=" + report}, false);
    ASSERT_EQ(whole.exitCode, 0);
    long writes = callsAt(report, "write");
    ASSERT_GE(writes, 3);
    // Where each file's report ends in the whole output.
    std::vector<std::size_t> reportEnds;
    for (std::size_t at = whole.out.find(Rule + "\n"); at != std::string::npos; at = whole.out.find(Rule + "\n", at + 1))
        reportEnds.push_back(at + Rule.size() + 1);
    ASSERT_EQ(reportEnds.size(), static_cast<std::size_t>(FileCount));
    // Every write but the last is one full buffer: the second failure shows how much.
    std::size_t chunk = runProgram(TESSARLUMEN_FAULTS_EXE, folder.args, folder.dir.path,
                                   {"TESSARLUMEN_FAULT=write:2"}, false)
                            .out.size();
    ASSERT_GT(chunk, 0u);
    for (long n = 1; n <= writes; ++n) {
        SCOPED_TRACE("write " + std::to_string(n));
        ToolRun run = runProgram(TESSARLUMEN_FAULTS_EXE, folder.args, folder.dir.path,
                                 {"TESSARLUMEN_FAULT=write:" + std::to_string(n), "TESSARLUMEN_FAULT_REPORT=" + report},
                                 false);
        EXPECT_EQ(run.exitCode, 12);
        EXPECT_EQ(run.err, "Error: Cannot write the output! (Input/output error)\n");
        EXPECT_EQ(firstLine(readFileBytes(report)), clean);
        EXPECT_EQ(callsAt(report, "write"), n);
        ASSERT_EQ(run.out, whole.out.substr(0, static_cast<std::size_t>(n - 1) * chunk));
        // The file whose report filled the buffer was the last one opened.
        long opened = callsAt(report, "open");
        if (n < writes) {
            std::size_t filled = static_cast<std::size_t>(n) * chunk;
            long expected = 0;
            while (reportEnds[static_cast<std::size_t>(expected)] < filled)
                ++expected;
            EXPECT_EQ(opened, expected + 1);
        } else {
            EXPECT_EQ(opened, FileCount);
        }
    }
}

}  // namespace
