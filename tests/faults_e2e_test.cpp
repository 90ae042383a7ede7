// SPDX-License-Identifier: MIT
// Every failure the OS can hand the loader (an allocation, an open, a length
// query or a read refused), at every call of a run over several files: the
// right message and exit code, nothing printed after the failing file, and
// no descriptor or heap block left behind.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <sstream>

#include "folders.h"
#include "tool_run.h"

namespace {

using titlecraft::Bytes;
using titlecraft::Content;

struct FileCalls {
    std::string name;
    titlecraft::Bytes bytes;
    int calls[4];  // allocations, opens, length queries, reads the file needs
};

std::vector<FileCalls> files() {
    titlecraft::Tmd two{.contents = {{0x0001, 10}, {0x8001, 20}}};
    titlecraft::Tmd three{.contents = {{0x0001, 10}, {0x0001, 20}, {0x0001, 30}}};
    return {
        {"t.tik", titlecraft::concat(titlecraft::ticketBytes({}), titlecraft::certChain(0x700)), {1, 1, 1, 1}},
        {"p.tmd", titlecraft::concat(titlecraft::tmdBytes(two), titlecraft::certChain(0x700)), {2, 1, 1, 2}},
        // A revocation list moves its TMD past the first read: one read
        // more. Its ticket, TMD header and records are kept apart.
        {"m.wad", titlecraft::wadBytes(three, {}, {.crlLength = 0x200}), {4, 1, 1, 3}},
        {"z.tmd", titlecraft::tmdBytes({}), {2, 1, 1, 1}},
    };
}

struct PointCase {
    const char* point;
    int index;
    int exitCode;
    std::string (*message)(const std::string& name);
    const char* reason;  // on standard error, after the file's name
};

const PointCase Points[] = {
    {"alloc", 0, 13, [](const std::string&) { return std::string("\nError: Not enough working memory!\n\n"); },
     "not enough memory"},
    {"open", 1, 11, [](const std::string& n) { return "\nError: Cannot read file '" + n + "' !\n\n"; },
     "No such file or directory"},
    {"length", 2, 14, [](const std::string& n) { return "\nError: Unknown file structure! (" + n + ")\n\n"; },
     "its length cannot be taken"},
    {"read", 3, 11, [](const std::string& n) { return "\nError: Cannot read file '" + n + "' !\n\n"; },
     "No such device or address"},
};

std::string reasonLine(const std::string& name, const PointCase& p) {
    return "Tessarlumen: " + name + ": " + p.reason + "\n";
}

// The run of `args` in `dir` with the `n`th call of `p`'s kind failing,
// what it leaves behind reported in `report`.
ToolRun runFailing(const std::vector<std::string>& args, const std::string& dir, const PointCase& p, long n,
                   const std::string& report) {
    return runProgram(TESSARLUMEN_FAULTS_EXE, args, dir,
                      {"TESSARLUMEN_FAULT=" + std::string(p.point) + ":" + std::to_string(n),
                       "TESSARLUMEN_FAULT_REPORT=" + report},
                      false);
}

// How many calls of `p`'s kind a run made, from its report.
long callsOf(const std::string& counts, const PointCase& p) {
    return std::atol(counts.c_str() + counts.find(std::string(p.point) + "=") + std::strlen(p.point) + 1);
}

// The tally of a verifying run on standard error: the files' exit codes
// alone (0, 15, 16), and -1 for one not read.
std::string tallyLine(const std::vector<int>& codes, bool stopped) {
    const std::pair<int, const char*> words[] = {{0, "genuine"}, {16, "unproven"}, {15, "failed"}, {-1, "not read"}};
    std::string line = stopped ? "Tessarlumen: stopped after " : "Tessarlumen: ";
    line += std::to_string(codes.size()) + " files";
    const char* between = ": ";
    for (const auto& [code, word] : words) {
        auto n = std::count(codes.begin(), codes.end(), code);
        if (n > 0)
            line += between + std::to_string(n) + " " + word;
        if (n > 0)
            between = ", ";
    }
    return codes.size() < 2 ? "" : line + "\n";
}

TEST(Faults, EveryCallCanFailCleanly) {
    SKIP_UNDER_WINE("failure injection is built into the Linux build's OS layer");
    TempDir dir;
    std::vector<FileCalls> all = files();
    std::vector<std::string> args = {"/n"};
    std::vector<std::string> reports;
    for (const FileCalls& f : all) {
        dir.write(f.name, f.bytes);
        args.push_back(f.name);
        ToolRun alone = runTool({"/n", f.name}, dir.path);
        ASSERT_EQ(alone.exitCode, 0) << f.name;
        reports.push_back(alone.out.substr(0, alone.out.size() - 1));  // without the run's final line break
    }
    const std::string report = dir.path + "/leftovers";
    const std::string clean = leftoversOfDoingNothing(dir.path, report);
    for (const PointCase& p : Points) {
        int before = 0;
        for (std::size_t file = 0; file <= all.size(); ++file) {
            int calls = file < all.size() ? all[file].calls[p.index] : 1;
            for (int n = before + 1; n <= before + calls; ++n) {
                SCOPED_TRACE(std::string(p.point) + ":" + std::to_string(n));
                ToolRun run = runFailing(args, dir.path, p, n, report);
                std::string expected;
                for (std::size_t done = 0; done < file; ++done)
                    expected += reports[done];
                bool fails = file < all.size();
                expected += fails ? p.message(all[file].name) : "\n";
                EXPECT_EQ(run.out, expected);
                EXPECT_EQ(run.exitCode, fails ? p.exitCode : 0);
                EXPECT_EQ(run.err, fails ? reasonLine(all[file].name, p) : "");
                EXPECT_EQ(firstLine(readFileBytes(report)), clean);
            }
            before += calls;
        }
    }
}

// Under /j a failing call's reason is the system's, or what could not be
// done: for a file, and for a title folder's ticket and (under /v, after
// the key file, the TMD and the ticket) a content. The exit codes are
// those of the table above.
TEST(Faults, JsonGivesTheReason) {
    SKIP_UNDER_WINE("failure injection is built into the Linux build's OS layer");
    TempDir dir;
    dir.write("m.wad", files()[2].bytes);
    std::filesystem::create_directory(dir.path + "/t");
    for (const folders::File& f : folders::files({}))
        dir.write("t/" + f.name, f.bytes);
    dir.write("standard.key", Bytes(titlecraft::SyntheticCommonKeys[0], titlecraft::SyntheticCommonKeys[0] + 16));
    const std::string unreadable = R"(,"error":"cannot-read","reason":"No such device or address","cause":"system-error"})";
    const struct {
        std::vector<std::string> args;
        const char* fault;
        std::string line;
    } cases[] = {
        {{"/j", "m.wad"}, "length:1", R"({"file":"m.wad","error":"unknown-structure","reason":"its length cannot be taken","cause":"no-length"})"},
        {{"/j", "m.wad"}, "read:1", R"({"file":"m.wad")" + unreadable},
        {{"/j", "t"}, "read:2", R"({"file":"t")" + unreadable},
        {{"/j", "/v", "--keys=.", "t"}, "read:4", R"({"file":"t")" + unreadable},
    };
    for (const auto& c : cases)
        EXPECT_EQ(runProgram(TESSARLUMEN_FAULTS_EXE, c.args, dir.path, {std::string("TESSARLUMEN_FAULT=") + c.fault}, false).out,
                  c.line + "\n")
            << c.args.back() << " " << c.fault;
}

// The same failures under /v, several files verified at once: whichever
// file's call fails, the run prints the reports of the files before it,
// then its message, and leaves nothing open or held.
TEST(Faults, EveryCallCanFailUnderParallelVerification) {
    SKIP_UNDER_WINE("failure injection is built into the Linux build's OS layer");
    TempDir dir;
    std::vector<FileCalls> all = files();
    std::vector<std::string> args = {"/n", "/v", "--keys=.", "--jobs=3"};
    std::vector<std::string> reports;
    std::vector<int> codes;
    for (const FileCalls& f : all) {
        dir.write(f.name, f.bytes);
        args.push_back(f.name);
        ToolRun alone = runTool({"/n", "/v", "--keys=.", f.name}, dir.path);
        reports.push_back(alone.out.substr(0, alone.out.size() - 1));
        codes.push_back(alone.exitCode);
    }
    const std::string report = dir.path + "/leftovers";
    const std::string clean = leftoversOfDoingNothing(dir.path, report);
    ToolRun whole = runProgram(TESSARLUMEN_FAULTS_EXE, args, dir.path, {"TESSARLUMEN_FAULT_REPORT=" + report}, false);
    std::string counts = readFileBytes(report);
    for (const PointCase& p : Points) {
        for (long n = 1; n <= callsOf(counts, p); ++n) {
            SCOPED_TRACE(std::string(p.point) + ":" + std::to_string(n));
            ToolRun run = runFailing(args, dir.path, p, n, report);
            // The first opens are of the key files, read before any title.
            bool matched = (run.out == whole.out && run.err == tallyLine(codes, false)) ||
                           (run.out.rfind("\nError: Cannot read the key file '", 0) == 0 && run.exitCode == 2 &&
                            run.err.empty()) ||
                           // Memory for the run itself, before any file.
                           (p.index == 0 && run.out == p.message("") && run.exitCode == 13 && run.err.empty());
            std::string before;
            for (std::size_t file = 0; file < all.size() && !matched; ++file) {
                std::vector<int> reported(codes.begin(), codes.begin() + static_cast<long>(file));
                reported.push_back(-1);
                matched = run.out == before + p.message(all[file].name) && run.exitCode == p.exitCode &&
                          run.err == reasonLine(all[file].name, p) + tallyLine(reported, true);
                before += reports[file];
            }
            EXPECT_TRUE(matched) << run.out << run.err;
            EXPECT_EQ(firstLine(readFileBytes(report)), clean);
        }
    }
}


// The same failures in a walk under /r, at every call: nothing left open
// or held, every line the clean run's but the failing one's, and memory
// running out is "out of memory" (13), never a folder read as a title
// folder that cannot be read. The run's own errors stay off standard
// output, which holds a line a file only. `points` are the kinds failed.
void walkUnderFaults(const std::vector<std::string>& args, int points) {
    TempDir dir;
    std::filesystem::create_directories(dir.path + "/C/B/t");
    std::filesystem::create_directories(dir.path + "/C/D");
    for (const folders::File& f : folders::files({}))
        dir.write("C/B/t/" + f.name, f.bytes);
    dir.write("C/B/x.tmd", files()[1].bytes);
    dir.write("C/D/s.wad", files()[2].bytes);
    dir.write("C/a.tik", files()[0].bytes);
    const std::string report = dir.path + "/leftovers";
    const std::string clean = leftoversOfDoingNothing(dir.path, report);
    ToolRun whole = runProgram(TESSARLUMEN_FAULTS_EXE, args, dir.path, {"TESSARLUMEN_FAULT_REPORT=" + report}, false);
    ASSERT_EQ(std::count(whole.out.begin(), whole.out.end(), '\n'), 4) << whole.out;
    std::string counts = readFileBytes(report);
    for (const PointCase& p : std::span(Points, static_cast<std::size_t>(points))) {
        for (long n = 1; n <= callsOf(counts, p); ++n) {
            SCOPED_TRACE(std::string(p.point) + ":" + std::to_string(n));
            ToolRun run = runFailing(args, dir.path, p, n, report);
            EXPECT_EQ(firstLine(readFileBytes(report)), clean);
            bool failed = run.err.rfind("Error: ", 0) == 0;
            std::istringstream lines(run.out);
            for (std::string line; std::getline(lines, line);) {
                if (whole.out.find(line + "\n") != std::string::npos)
                    continue;
                failed = true;
                if (p.index == 0) {
                    EXPECT_NE(line.find("\tout of memory\t"), std::string::npos) << line;
                }
            }
            if (p.index == 0) {
                EXPECT_EQ(run.exitCode, failed ? 13 : whole.exitCode) << run.out << run.err;
            }
            EXPECT_EQ(run.out.find("Error"), std::string::npos);
        }
    }
}

// Allocations and opens: a length query or a read fails in a walk as it
// does for a file named.
TEST(Faults, EveryCallOfAWalkCanFail) {
    SKIP_UNDER_WINE("failure injection is built into the Linux build's OS layer");
    walkUnderFaults({"/l", "/r", "C"}, 2);
}

// Verified two at a time, every allocation, the run's own among them.
// Without keys the run is unproven (16), which a failure outranks.
TEST(Faults, EveryAllocationOfAVerifiedWalkCanFail) {
    SKIP_UNDER_WINE("failure injection is built into the Linux build's OS layer");
    walkUnderFaults({"/l", "/r", "/v", "--keys=.", "--jobs=2", "C"}, 1);
}

}  // namespace
